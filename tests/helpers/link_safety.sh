#!/usr/bin/env bash
# Tree deletion must never reach through a link. Wine reports Unix symlinks as
# reparse points but opens their targets, and Windows code cannot make such a
# link under Wine, so this script makes them inside the sandbox, lets the unit
# test SystemRoutinesDirectoryTree.NeverReachesThroughUnixLinks delete the tree
# that holds them, and checks the targets from the Unix side as well.
# Usage: link_safety.sh <vantrel_unit_tests.exe>; needs the sandbox's environment.
set -u
exe=$1
case "${WINEPREFIX:-}" in
    */build/wine-*) ;;
    *) echo "WINEPREFIX is not a sandbox under build/: refusing to run"; exit 1 ;;
esac

name="vt-link-safety-$$"
base="$WINEPREFIX/drive_c/$name"
rm -rf "$base"
mkdir -p "$base/target/inner" "$base/emptytarget" "$base/root/sub"
echo keep >"$base/target/precious.txt"
echo keep >"$base/target/inner/deep.txt"
echo gone >"$base/root/sub/plain.txt"
ln -s ../target "$base/root/dirlink"
ln -s ../target/precious.txt "$base/root/filelink"
ln -s ../emptytarget "$base/root/emptylink"
ln -s "$base/target/inner" "$base/root/sub/absolutelink"

# Links named like junk where the walk found files, and links where it found
# emptied folders (a Windows Update temporary folder among them).
mkdir -p "$base/found" "$base/wutarget"
echo gone >"$base/found/plain.bak"
ln -s ../target/precious.txt "$base/found/filelink.bak"
ln -s ../target "$base/found/dirlink.bak"
ln -s ../emptytarget "$base/found/emptylink"
ln -s ../wutarget "$base/found/WUTemp"

VT_LINK_TREE="C:\\$name" wine "$exe" \
    --gtest_filter='SystemRoutinesDirectoryTree.NeverReachesThroughUnixLinks:DeleteFoundFile.NeverDeletesThroughUnixLinks'

rc=$?

for kept in target/precious.txt target/inner/deep.txt; do
    if [ "$(cat "$base/$kept" 2>/dev/null)" != keep ]; then echo "FAIL: $kept was reached through a link"; rc=1; fi
done
[ -d "$base/emptytarget" ] || { echo "FAIL: emptytarget was removed through a link"; rc=1; }
[ -d "$base/wutarget" ] || { echo "FAIL: a Windows Update folder link's target was removed"; rc=1; }
[ -e "$base/found/plain.bak" ] && { echo "FAIL: a plain found file beside the links stayed"; rc=1; }
[ -e "$base/root/sub/plain.txt" ] && { echo "FAIL: a plain file beside the links stayed"; rc=1; }

rm -rf "$base"  # rm never follows the links it removes
exit "$rc"
