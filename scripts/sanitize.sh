#!/usr/bin/env bash
# Builds every test a second time with AddressSanitizer and UndefinedBehaviorSanitizer in
# build-asan/ and runs them; any sanitizer report fails the run.
#
#   scripts/sanitize.sh                 configure, build, run
#   SANITIZE_JOBS=1 scripts/sanitize.sh fewer parallel jobs
#   extra arguments go to ctest (e.g. -R fuzz_replay)
set -euo pipefail
cd "$(dirname "$0")/.."

build=build-asan
jobs="${SANITIZE_JOBS:-$(nproc)}"
sanitizers="-fsanitize=address,undefined,float-cast-overflow -fno-sanitize-recover=all"
flags="$sanitizers -fno-omit-frame-pointer"

cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_C_FLAGS_RELWITHDEBINFO="-O1 -g" -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O1 -g" \
  -DCMAKE_C_FLAGS="$flags" -DCMAKE_CXX_FLAGS="$flags" \
  -DCMAKE_EXE_LINKER_FLAGS="$sanitizers" -DCMAKE_SHARED_LINKER_FLAGS="$sanitizers" \
  -DVORBO_BENCH=OFF
cmake --build "$build" -j"$jobs"

# Left out of this run, each for a reason:
#  - driver_switches, e2e_show: whole one-minute shows, already run by the
#    ordinary suite; under the sanitizers they only add minutes.
#  - LoaderDeath.HeaderTooBigToAllocateIsRefused: limits the address space
#    (RLIMIT_AS) to 256 MiB, far less than AddressSanitizer's shadow memory
#    reserves; the same refusal is checked in the fault tests without it.
#  - fullscreen_ModeSwitchTest, fullscreen_PrivilegeTest: run the full-screen
#    show under strace (to make setuid fail), with its privilege half given
#    up, or installed setuid root; LeakSanitizer cannot work under ptrace nor
#    in a process that may not be traced. They are run on their own below
#    with the other checks and without the leak check.
#  - package_install: builds the Debian package of this build and installs
#    it on the machine; the ordinary suite checks the package.
exclude='^(driver_switches|e2e_show|LoaderDeath\.HeaderTooBigToAllocateIsRefused|fullscreen_(ModeSwitch|Privilege)Test|package_install)$'

# Leaks that are no fault of ours:
#  - loadimage: a picture's pixels live until the process ends, by design
#    (the show loads each picture once and never frees it; so do its tests);
#  - libdbus: a buffer D-Bus keeps for the process, allocated when SDL's
#    audio start-up asks the session bus about the sound server.
suppressions="$PWD/$build/lsan.supp"
cat >"$suppressions" <<'SUPP'
leak:demo::loadimage
leak:libdbus-1.so
SUPP

# AddressSanitizer's reports go to files, so that none can hide in a test
# that ignores standard error; UndefinedBehaviorSanitizer (whose runtime in
# g++ ignores log_path) prints on standard error, and the ctest log is
# searched for it. A process that meets either ends with status 86.
reports="$PWD/$build/sanitizer-reports"
rm -rf "$reports"
mkdir -p "$reports"
common="log_path=$reports/report:exitcode=86:print_stacktrace=1"
export ASAN_OPTIONS="$common:detect_leaks=1:strict_string_checks=1:detect_stack_use_after_return=1:verify_asan_link_order=0"
export UBSAN_OPTIONS="$common:halt_on_error=1"
export LSAN_OPTIONS="$common:suppressions=$suppressions:print_suppressions=0"

log="$PWD/$build/ctest-sanitize.log"
set +e
(
  cd "$build"
  rc=0
  ctest --output-on-failure -j"$jobs" --timeout 600 -E "$exclude" "$@" || rc=1
  if [ $# -eq 0 ]; then
    ASAN_OPTIONS="$ASAN_OPTIONS:detect_leaks=0" ctest --output-on-failure --timeout 600 \
      -R '^fullscreen_(ModeSwitch|Privilege)Test$' || rc=1
  fi
  exit $rc
) 2>&1 | tee "$log"
status=$? # pipefail: ctest's failure
set -e

found=$(grep -l -E "ERROR|SUMMARY" "$reports"/report* 2>/dev/null || true)
if [ -n "$found" ]; then
  echo "sanitizer reports:"
  for f in $found; do
    echo "== $f"
    cat "$f"
  done
  status=1
fi
if grep -E "runtime error:|ERROR: (Address|Leak|UndefinedBehavior)Sanitizer" "$log"; then
  echo "sanitizer reports in the test output (above)"
  status=1
fi
exit "$status"
