#!/usr/bin/env bash
# Builds the portable variant (no SSE2/AVX2 paths: plain C++ converters and
# span writers) and runs the unit tests of everything those paths feed.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh
cmake -S . -B build-portable -DCMAKE_BUILD_TYPE=Release -DVORBO_SIMD=OFF -DVORBO_BENCH=OFF
cmake --build build-portable -j"$(nproc)" --target test_convert test_2d test_3d test_timeline vorbo_data
cd build-portable
ctest --output-on-failure -j"$(nproc)" -R '^(Convert|Interpolator|Spans|SpanTwins|Polygons|Lines|Triangles|Flat|Gouraud|Random2d|Wireframe|Matrix|Vector|Transform|Visibility|Sort|Project|Draw|Line3d|ShowMeshes|Loader|Timeline)' --timeout 300
