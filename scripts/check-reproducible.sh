#!/usr/bin/env bash
# Checks that the Debian packages build reproducibly: two builds from copies of the tree at two
# different paths, the second a day later (faketime), in another time zone, locale and umask,
# give byte-identical .deb files (the programs, their debug symbols, and the media: pictures,
# module, icons, man pages).
#
#   scripts/check-reproducible.sh [FIRST]
#
# FIRST is a directory of packages already built from this same tree by scripts/build-packages.sh
# (CI passes the ones the package test built, build/packages); without it, both builds are made.
set -euo pipefail
given=""
if [ "$#" -ge 1 ] && compgen -G "$1/*.deb" >/dev/null; then given=$(cd "$1" && pwd); fi
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

first=$work/first
if [ -n "$given" ]; then
  first=$given
  echo "First build: the packages in $first"
else
  echo "First build: in $work/a/vorbo-returns"
  bash scripts/build-packages.sh "$first" "$work/a/vorbo-returns" >"$work/first.log" 2>&1 ||
    { tail -40 "$work/first.log"; exit 1; }
fi

echo "Second build: in $work/second-build/at/another/path/vorbo-returns-1, a day later"
(
  umask 0002
  export TZ=Pacific/Kiritimati LC_ALL=C LANG=C
  # Shifted forward only, so that what the build writes is never newer than its clock.
  faketime -f '+1d' bash scripts/build-packages.sh "$work/second" \
    "$work/second-build/at/another/path/vorbo-returns-1"
) >"$work/second.log" 2>&1 || { tail -40 "$work/second.log"; exit 1; }
built=$(date -d "$(sed -n 's/^Build-Date: //p' "$work/second/"*.buildinfo)" +%s)
if [ $((built - $(date +%s))) -lt 80000 ]; then
  echo "the second build did not run a day later (faketime)" >&2
  exit 1
fi

status=0
count=0
for deb in "$first"/*.deb; do
  name=$(basename "$deb")
  count=$((count + 1))
  if [ ! -e "$work/second/$name" ]; then
    echo "DIFFERS: $name was not made by the second build"
    status=1
  elif cmp -s "$deb" "$work/second/$name"; then
    echo "identical: $name"
  else
    echo "DIFFERS: $name; its files that differ:"
    mkdir -p "$work/x1/$name" "$work/x2/$name"
    dpkg-deb -R "$deb" "$work/x1/$name"
    dpkg-deb -R "$work/second/$name" "$work/x2/$name"
    diff -rq "$work/x1/$name" "$work/x2/$name" | sed 's/^/  /' || true
    diff <(dpkg-deb -c "$deb") <(dpkg-deb -c "$work/second/$name") | sed 's/^/  /' || true
    status=1
  fi
done
if [ "$(find "$work/second" -name '*.deb' | wc -l)" -ne "$count" ]; then
  echo "DIFFERS: the two builds made different sets of packages"
  status=1
fi
if [ "$count" -eq 0 ]; then
  echo "no packages were built" >&2
  exit 1
fi
if [ "$status" -eq 0 ]; then
  echo "reproducible: $count packages byte-identical"
fi
exit "$status"
