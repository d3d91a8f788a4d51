#!/usr/bin/env bash
# Installs the dependencies, builds the demo and plays it in a window.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/build.sh
cd build
exec ./vorbo-window "$@"
