#!/usr/bin/env bash
# Builds the 32-bit x86 variant on an x86-64 Debian host in build-i386/ and runs its unit tests
# and one whole show without display or sound.
#
#   scripts/test-i386.sh         install, build, unit tests and fuzz replays, a -nogfx -nosound
#                                show, and the converter tests on an emulated MMX-only CPU
#   scripts/test-i386.sh --all   the same build with everything, and every test of it (the
#                                end-to-end ones start their own X servers)
#
# The compiler is the host's g++ with -m32 (cmake/i386-linux-gnu.cmake) against Debian's :i386
# multiarch libraries (scripts/install-deps.sh i386). The show's media are made by the host's
# own build of the generators, so data/ holds the same bytes as an x86-64 build's. On a native
# i386 machine none of this is needed: the ordinary commands of the README build it.
set -euo pipefail
cd "$(dirname "$0")/.."

all=0
case "${1:-}" in
  "") ;;
  --all) all=1 ;;
  *) echo "usage: $0 [--all]" >&2; exit 2 ;;
esac

bash scripts/install-deps.sh i386
build=build-i386
cmake -S . -B "$build" --toolchain cmake/i386-linux-gnu.cmake -DCMAKE_BUILD_TYPE=Release
if [ "$all" -eq 1 ]; then
  cmake --build "$build" -j"$(nproc)"
else
  cmake --build "$build" -j"$(nproc)" --target vorbo-window vorbo_data \
    test_convert test_2d test_3d test_image test_timeline test_driver \
    fuzz_obj fuzz_tga fuzz_convert fuzz_raster fuzz_song
fi

# A 64-bit program here would mean the toolchain was not used: ELF class byte 1 is 32-bit.
if [ "$(od -An -tu1 -j4 -N1 "$build/vorbo-window" | tr -d ' ')" != 1 ]; then
  echo "$build/vorbo-window is not a 32-bit program" >&2
  exit 1
fi

# The whole show, ten times faster (libfaketime preloaded directly: the faketime wrapper's
# semaphore is laid out for 64-bit programs, and a 32-bit one waits on it forever).
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp -r "$build/data" "$work/"
status=0
# (timeout stays outside the preload: with a faked clock of its own it never lets the show end.)
(cd "$work" && timeout 120 env LD_PRELOAD='/usr/$LIB/faketime/libfaketime.so.1' FAKETIME='+0 x10' \
  "$OLDPWD/$build/vorbo-window" -nogfx -nosound) >"$work/out.txt" 2>&1 || status=$?
cat "$work/out.txt"
if [ "$status" -ne 0 ] || ! grep -q '^Set up, starting demo$' "$work/out.txt"; then
  echo "i386 whole show (-nogfx -nosound): FAILED, status $status" >&2
  exit 1
fi
echo "i386 whole show (-nogfx -nosound): status 0"

# The converters on an MMX CPU without SSE2, a Pentium II emulated by qemu: CPUID offers only
# MMX, so the MMX kernels are the active ones, run as real MMX instructions, and every kernel
# set must still match the scalar one bit for bit.
qemu-i386 -cpu pentium2 "$build/tests/convert/test_convert"

cd "$build"
if [ "$all" -eq 1 ]; then
  ctest --output-on-failure -j"$(nproc)" --timeout 600
else
  # The unit tests and fuzz replays; the programs' end-to-end tests need --all.
  ctest --output-on-failure -j"$(nproc)" --timeout 300 \
    -E '^(window_|desktop_|wayland_|sound_|fullscreen_|faults_|e2e_|driver_|bench_|capture_|package_)'
fi
