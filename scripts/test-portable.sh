#!/usr/bin/env bash
# Builds the portable variant (no SSE2/AVX2 paths: plain C++ converters and
# span writers) and runs the unit tests of everything those paths feed.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh
cmake -S . -B build-portable -DCMAKE_BUILD_TYPE=Release -DVORBO_SIMD=OFF -DVORBO_BENCH=OFF
cmake --build build-portable -j"$(nproc)"
cd build-portable
ctest --output-on-failure -j"$(nproc)" -L unit --timeout 300
