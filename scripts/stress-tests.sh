#!/usr/bin/env bash
# Runs every end-to-end test (the ctest tests not labelled unit) N times with one core kept busy,
# and prints how often each passed.
set -euo pipefail

usage() {
    cat <<'EOF'
usage: scripts/stress-tests.sh [-n COUNT] [-R REGEX] [-E REGEX] [-B BUILD_DIR]

Runs each end-to-end test of an existing build COUNT times (default 10), one
test at a time, while a shell loop keeps one core busy, and prints each test's
passes ("fullscreen_ModeSwitchTest 10/10"). Exits 1 if any run failed; the
output of every failed run is kept in BUILD_DIR/stress/.

  -n COUNT   runs of each test (default 10)
  -R REGEX   only the end-to-end tests whose names match (as ctest -R)
  -E REGEX   leave out the tests whose names match (as ctest -E)
  -B DIR     the build directory (default: build)
EOF
}

cd "$(dirname "$0")/.."
count=10
build=build
include=
exclude=
while getopts "n:R:E:B:h" option; do
    case $option in
        n) count=$OPTARG ;;
        R) include=$OPTARG ;;
        E) exclude=$OPTARG ;;
        B) build=$OPTARG ;;
        h) usage; exit 0 ;;
        *) usage >&2; exit 2 ;;
    esac
done
if ! [[ $count =~ ^[1-9][0-9]*$ ]] || [ ! -f "$build/CTestTestfile.cmake" ]; then
    usage >&2
    [ -f "$build/CTestTestfile.cmake" ] || echo "no build in $build: run scripts/build.sh first" >&2
    exit 2
fi

select=(-LE unit)
[ -n "$include" ] && select+=(-R "$include")
[ -n "$exclude" ] && select+=(-E "$exclude")
mapfile -t tests < <(ctest --test-dir "$build" -N "${select[@]}" |
    sed -n 's/^ *Test *#[0-9]*: \(.*\)$/\1/p')
if [ ${#tests[@]} -eq 0 ]; then
    echo "no end-to-end test matches" >&2
    exit 2
fi

logs=$build/stress
rm -rf "$logs"
mkdir -p "$logs"

# One core kept busy for the whole run.
( while :; do :; done ) &
busy=$!
trap 'kill "$busy" 2>/dev/null || true' EXIT

declare -A passed skipped
for test in "${tests[@]}"; do
    passed[$test]=0
    skipped[$test]=
done
started=$SECONDS
for ((run = 1; run <= count; run++)); do
    for test in "${tests[@]}"; do
        log=$logs/$test.$run.log
        if ctest --test-dir "$build" -R "^${test}\$" --output-on-failure --timeout 900 >"$log" 2>&1; then
            passed[$test]=$((passed[$test] + 1))
            grep -q '\*\*\*Skipped' "$log" && skipped[$test]=" (skipped)"
            rm -f "$log"
        else
            echo "run $run: $test failed (output in $log)"
        fi
    done
done

failed=0
for test in "${tests[@]}"; do
    echo "$test ${passed[$test]}/$count${skipped[$test]}"
    [ "${passed[$test]}" -eq "$count" ] || failed=1
done
echo "${#tests[@]} end-to-end tests, $count runs each, one core busy: $(((SECONDS - started) / 60)) min"
exit $failed
