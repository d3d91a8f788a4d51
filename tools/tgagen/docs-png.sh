#!/bin/sh
# Refreshes docs/pictures/*.png from the pictures a build drew: docs-png.sh BUILD-DIRECTORY
set -e
build=${1:?usage: docs-png.sh BUILD-DIRECTORY}
docs=$(dirname "$0")/../../docs/pictures
mkdir -p "$docs"
for name in silence vorbo iknow blah hand greet; do
    convert "$build/data/$name.tga" -alpha off -strip -define png:exclude-chunks=date,time \
        "$docs/$name.png"
done
