#!/usr/bin/env bash
# Instruction counts per frame of each scene under callgrind: regressions show whatever the machine's load.
#
#   bench/callgrind.sh [BUILD_DIR] [FRAMES]
#
# BUILD_DIR defaults to ./build and must hold vorbo-frame-driver and data/
# (cmake --build BUILD_DIR --target vorbo-frame-driver). FRAMES (default 64)
# frames of each scene are drawn at moments spread evenly over its second and
# only those are collected, so Ir / FRAMES is one frame's instructions,
# identical from run to run on the same build. Environment:
#   SCENES="3 38"  only these seconds (default: one second of every scene)
#   TOP=N          also list the N functions with the most instructions of
#                  their own in each scene (default 0)
#   KEEP=DIR       keep the callgrind.out.<second> files there for
#                  callgrind_annotate (default: a temporary directory, removed)
# Prints a Markdown table.
set -euo pipefail

build=${1:-build}
frames=${2:-64}
top=${TOP:-0}
driver=$build/vorbo-frame-driver

if [ ! -x "$driver" ]; then
  echo "no $driver: build the vorbo-frame-driver target first" >&2
  exit 1
fi
command -v valgrind >/dev/null || { echo "valgrind is not installed" >&2; exit 1; }

if [ -n "${KEEP:-}" ]; then
  out=$KEEP
  mkdir -p "$out"
else
  out=$(mktemp -d)
  trap 'rm -rf "$out"' EXIT
fi

# The scenes as the frame benchmarks know them: a second of each and its name.
declare -A names=()
all=""
while read -r second name _; do
  names[$second]=$name
  all="$all $second"
done < <("$driver" --scenes)
scenes=${SCENES:-$all}

# Ir of one function, callees included, per frame (0 when it never ran).
inclusive() {
  callgrind_annotate --inclusive=yes --threshold=100 "$1" 2>/dev/null |
    awk -v pat="$2" -v f="$frames" 'index($0, pat) && $1 ~ /^[0-9,]+$/ {
      ir = $1; gsub(",", "", ir); printf "%d", int(ir / f + 0.5); found = 1; exit
    } END { if (!found) printf "0" }'
}

echo "| second | scene | Ir per frame | clear | drawimage | draw_func (mesh) |"
echo "|---:|---|---:|---:|---:|---:|"
for s in $scenes; do
  file=$out/callgrind.out.$s
  VORBO_BINARY_DIR=$(cd "$build" && pwd) valgrind --tool=callgrind --collect-atstart=no \
    --callgrind-out-file="$file" "$driver" "$s" "$frames" >/dev/null 2>"$out/valgrind.$s.log" || {
    echo "callgrind run of second $s failed; see below" >&2
    cat "$out/valgrind.$s.log" >&2
    exit 1
  }
  total=$(awk '/^(summary|totals):/ {print $2; exit}' "$file")
  echo "| $s | ${names[$s]:-} | $(( (total + frames / 2) / frames )) |" \
    "$(inclusive "$file" "demo::clear(")" \
    "| $(inclusive "$file" "demo::drawimage(")" \
    "| $(inclusive "$file" "demo::obj3d_c::draw_func(") |"
done

if [ "$top" -gt 0 ]; then
  for s in $scenes; do
    echo
    echo "Second $s (${names[$s]:-}): the $top functions with most instructions of their own, Ir per frame"
    echo
    callgrind_annotate --inclusive=no --threshold=100 "$out/callgrind.out.$s" 2>/dev/null |
      awk -v n="$top" -v f="$frames" '
        /^-+$/ { rule++; next }
        rule >= 3 && NF >= 2 && $1 ~ /^[0-9,]+$/ && !/PROGRAM TOTALS/ && shown < n {
          ir = $1; gsub(",", "", ir)
          name = $0; sub(/^ *[0-9,]+ +(\([^)]*\) +)?/, "", name)
          printf "    %12d  %s\n", int(ir / f + 0.5), name
          shown++
        }'
  done
fi
