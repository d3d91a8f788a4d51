#!/usr/bin/env bash
# Builds the Debian packages with dpkg-buildpackage from a copy of this tree (so the tree stays
# clean) and leaves the .deb files, with the .buildinfo and .changes, in OUT.
#
#   scripts/build-packages.sh OUT [COPY]
#
# COPY is where the tree is copied to and built (default: a temporary directory, removed after);
# its path and the environment are the build's own, so the reproducibility check varies them.
# The files are the ones git knows (committed or not), less what .gitignore leaves out.
set -euo pipefail

if [ "$#" -lt 1 ] || [ "$#" -gt 2 ]; then
  echo "usage: $0 OUT [COPY]" >&2
  exit 2
fi
top=$(cd "$(dirname "$0")/.." && pwd)
mkdir -p "$1"
out=$(cd "$1" && pwd)

if [ "$#" -eq 2 ]; then
  mkdir -p "$2"
  copy=$(cd "$2" && pwd)
else
  scratch=$(mktemp -d)
  trap 'rm -rf "$scratch"' EXIT
  copy=$scratch/vorbo-returns
fi
if [ -e "$copy/debian" ]; then
  echo "$0: $copy already holds a tree" >&2
  exit 2
fi
mkdir -p "$copy"

# The tree as git sees it: tracked files that still exist, and untracked ones not ignored.
(cd "$top" && git ls-files -z --cached --others --exclude-standard |
  while IFS= read -r -d '' file; do
    if [ -e "$file" ] || [ -L "$file" ]; then printf '%s\0' "$file"; fi
  done | tar --null -T - -cf -) | tar -xf - -C "$copy"

# dpkg-buildpackage (one job per processor unless DEB_BUILD_OPTIONS says otherwise) writes the
# packages beside the tree, in its parent directory.
(cd "$copy" && dpkg-buildpackage -us -uc -b)
version=$(cd "$copy" && dpkg-parsechangelog -S Version)
for file in "$copy"/../*_"$version"_*.deb "$copy"/../*_"$version"_*.buildinfo \
  "$copy"/../*_"$version"_*.changes; do
  mv "$file" "$out"/
done
