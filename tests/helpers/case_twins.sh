#!/usr/bin/env bash
# Deletion never reaches a file's case twin. Linux folders can hold names that
# differ only in letter case, and Wine opens the twin when the exact name is
# gone, so acting on a name after its file was deleted removes the twin. This
# script makes the twins (Windows code cannot), lets the unit test
# ActionModel.NeverDeletesACaseTwin clean one of each pair, and checks from
# the Unix side that the twins stayed.
# Usage: case_twins.sh <vantrel_unit_tests.exe>; needs the sandbox's environment.
set -u
exe=$1
build=$(cd "$(dirname "$0")/../.." && pwd)/build
case "${WINEPREFIX:-}" in
    "$build"/wine-*) ;;
    *) echo "WINEPREFIX is not a sandbox under $build: refusing to run"; exit 1 ;;
esac

name="vt-case-twins-$$"
base="$WINEPREFIX/drive_c/$name"
rm -rf "$base"
mkdir -p "$base"
echo old >"$base/ro.bak"
echo young >"$base/RO.BAK"; chmod 0444 "$base/RO.BAK"   # read-only twin
echo old >"$base/dup.tmp"
echo young >"$base/DUP.TMP"                             # twin of a file two actions take

VT_CASE_TWINS="C:\\$name" wine "$exe" --gtest_filter=ActionModel.NeverDeletesACaseTwin
rc=$?

for kept in RO.BAK DUP.TMP; do
    [ "$(cat "$base/$kept" 2>/dev/null)" = young ] || { echo "FAIL: the twin $kept was deleted"; rc=1; }
done
for gone in ro.bak dup.tmp; do
    [ -e "$base/$gone" ] && { echo "FAIL: $gone was not deleted"; rc=1; }
done
rm -rf "$base"
exit "$rc"
