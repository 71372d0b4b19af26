# The campaign's shared driver for tests/e2e/campaign.sh and scripts/campaign.
# Source after common.sh, sandbox.sh and e2e.sh; then call campaign_run <seeds> <first seed> [extra args].
# The sandbox has drives C: and D: only, both inside build/wine-<name>-campaign.

campaign_run() {
    local seeds=$1 first=$2; shift 2
    e2e_setup campaign --drive d
    case "$WINEPREFIX" in
        "$VT_BUILD"/wine-*) ;;
        *) e2e_fail "sandbox $WINEPREFIX is not under $VT_BUILD"; return 1 ;;
    esac
    local helper="$VT_CMAKE_BUILD/tests/campaign-helper.exe"
    [ -f "$helper" ] || vt_build campaign_helper || { e2e_fail "campaign-helper.exe not built"; return 1; }
    python3 -B "$VT_ROOT/tests/e2e/campaign/campaign.py" --exe "$(VT_EXE)" --helper "$helper" \
        --seeds "$seeds" --first "$first" "$@"
}
