#!/usr/bin/env bash
# Installs the dependencies, builds the demo and plays it in a window.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release
cmake --build build -j"$(nproc)"
cd build
exec ./vorbo-window "$@"
