#!/usr/bin/env bash
# Reproducible bytes: Vantrel.exe built again from a copy of these sources in another
# folder, later and in another time zone, is the same file as this build's; the release
# zip and the installer made from it are the same whatever the dates, modes and time
# zone of the files they are made from.
set -u
source "$(dirname "$0")/../../scripts/lib/common.sh"
source "$VT_ROOT/scripts/lib/e2e.sh"
source "$VT_ROOT/scripts/lib/package.sh"

version=$(vt_release_version "$VT_CMAKE_BUILD")
epoch=$(vt_source_date_epoch)
work="$VT_BUILD/repro"
other="$work/another/place"
rm -rf "$work"
mkdir -p "$other/src"

# This work tree's files as they stand, committed or not, without what git ignores.
(cd "$VT_ROOT" && git ls-files -z -c -o --exclude-standard |
    tar --null --ignore-failed-read -T - -cf - 2>/dev/null) | tar -x -C "$other/src"
vt_release_add_sqlite "$other/src"
vt_say "reproducible: building Vantrel again in $other"
TZ=Asia/Shanghai cmake -S "$other/src" -B "$other/build" \
    -DCMAKE_TOOLCHAIN_FILE="$other/src/cmake/mingw-w64-posix.cmake" -DCMAKE_BUILD_TYPE=Release \
    -DVANTREL_BUILD_NUMBER="${version##*.}" >"$work/configure.log" 2>&1 &&
TZ=Asia/Shanghai cmake --build "$other/build" --target Vantrel -j "$(nproc)" >"$work/build.log" 2>&1
e2e_check "second build of Vantrel.exe" [ $? = 0 ]
second="$other/build/app/Vantrel.exe"
difference=$(cmp "$(VT_EXE)" "$second" 2>&1 | head -n 1)
e2e_check "Vantrel.exe is byte-identical when built elsewhere${difference:+ ($difference)}" [ -z "$difference" ]

# Two releases of the two executables. The installer keeps its files' dates, which the
# staging sets to the commit's; the zip must not depend on dates or modes at all.
vt_release_stage "$(VT_EXE)" "$version" "$work/stage-a" "$epoch"
vt_release_stage "$second" "$version" "$work/stage-b" "$epoch"
vt_release_installer "$work/stage-a" "$version" "$work/a"
TZ=America/New_York vt_release_installer "$work/stage-b" "$version" "$work/b"
setup_name=$(vt_release_setup_name "$version")
e2e_check "the installer is byte-identical" cmp -s "$work/a/$setup_name" "$work/b/$setup_name"

touch -d '2031-05-06 07:08:09' "$work/stage-b"/*
chmod 600 "$work/stage-b"/*
vt_release_zip "$work/stage-a" "$version" "$work/a" "$epoch"
TZ=America/New_York vt_release_zip "$work/stage-b" "$version" "$work/b" "$epoch"
zip_name=$(vt_release_zip_name "$version")
e2e_check "the zip is byte-identical" cmp -s "$work/a/$zip_name" "$work/b/$zip_name"
# Names in this order, each dated like the commit (zip keeps even seconds).
content=$(python3 - "$work/a/$zip_name" "$epoch" <<'PY'
import sys, time, zipfile
want = time.gmtime(int(sys.argv[2]))[:6]
want = want[:5] + (want[5] // 2 * 2,)
for info in zipfile.ZipFile(sys.argv[1]).infolist():
    print(info.filename, "dated-like-the-commit" if info.date_time == want else info.date_time)
PY
)
e2e_check "the zip holds Vantrel.exe, README.txt and LICENSE.txt, dated like the commit" [ "$content" = \
"Vantrel.exe dated-like-the-commit
README.txt dated-like-the-commit
LICENSE.txt dated-like-the-commit" ]

[ "$E2E_FAILURES" -eq 0 ]
