# Shared set-up for scripts/run, scripts/test and scripts/bench: packages and the build.
# Source it; it defines functions only.

VT_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
VT_BUILD="$VT_ROOT/build"
# VT_BUILD_NAME lets several work trees of one checkout build side by side.
VT_CMAKE_BUILD="$VT_BUILD/cmake${VT_BUILD_NAME:+-$VT_BUILD_NAME}"

vt_say() { printf '[vantrel] %s\n' "$*" >&2; }

# Debian packages the build, the tests and the run need (apt names).
VT_PACKAGES="locales python3 wine wine64 mingw-w64 g++-mingw-w64-x86-64-posix cmake make xvfb xauth xdotool imagemagick fonts-wqy-microhei fonts-wine googletest nsis"

vt_missing_packages() {
    local p missing=""
    for p in $VT_PACKAGES; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing="$missing $p"
    done
    printf '%s' "$missing"
}

# Installs what is missing; does nothing (and needs no network) when all is there.
vt_install_packages() {
    local missing; missing=$(vt_missing_packages)
    [ -z "$missing" ] && return 0
    vt_say "installing:$missing"
    local sudo=""
    [ "$(id -u)" -ne 0 ] && sudo="sudo"
    $sudo env DEBIAN_FRONTEND=noninteractive apt-get update -qq
    # shellcheck disable=SC2086
    $sudo env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends $missing >/dev/null
}

# Vantrel's users run a Simplified Chinese system (code page 936); Wine takes its
# code page and display language from the Unix locale, so zh_CN.UTF-8 must exist,
# and en_US.UTF-8 for runs in English.
vt_install_locale() {
    local sudo="" name
    [ "$(id -u)" -ne 0 ] && sudo="sudo"
    for name in zh_CN en_US; do
        locale -a 2>/dev/null | grep -qi "^$name\.utf-\?8\$" && continue
        vt_say "generating the $name.UTF-8 locale"
        $sudo localedef -i "$name" -f UTF-8 "$name.UTF-8" || {
            $sudo sed -i "s/^# *$name.UTF-8/$name.UTF-8/" /etc/locale.gen && $sudo locale-gen >/dev/null
        }
    done
}

# SQLite: the official amalgamation, as the npm package better-sqlite3 ships it
# under deps/sqlite3/. Fetched once with npm (pinned version, checked by hash)
# into build/third_party/sqlite, never committed; CMake compiles it as C.
VT_SQLITE_PACKAGE="better-sqlite3@12.11.1"
VT_SQLITE_SHA256="ebf0ed75a7a59dbcb3b24bbd014ef49d9f15bc328e4adcbf516f2a8fadfa2835"
VT_SQLITE_DIR="$VT_BUILD/third_party/sqlite"

vt_fetch_sqlite() {
    [ -f "$VT_SQLITE_DIR/sqlite3.c" ] && [ -f "$VT_SQLITE_DIR/sqlite3.h" ] && \
        [ "$(cat "$VT_SQLITE_DIR/.source" 2>/dev/null)" = "$VT_SQLITE_PACKAGE $VT_SQLITE_SHA256" ] && return 0
    # npm may come with a Node.js installed another way, so it is asked for only when the command is missing.
    if ! command -v npm >/dev/null 2>&1; then
        vt_say "installing npm (to fetch the SQLite amalgamation)"
        local sudo=""
        [ "$(id -u)" -ne 0 ] && sudo="sudo"
        $sudo env DEBIAN_FRONTEND=noninteractive apt-get update -qq
        $sudo env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends npm >/dev/null || return 1
    fi
    vt_say "fetching the SQLite amalgamation ($VT_SQLITE_PACKAGE)"
    local work; work=$(mktemp -d "$VT_BUILD/sqlite-fetch.XXXXXX") || return 1
    local tarball
    tarball=$(cd "$work" && npm pack --silent "$VT_SQLITE_PACKAGE" 2>/dev/null | tail -n 1)
    if [ -z "$tarball" ] || [ ! -f "$work/$tarball" ]; then
        vt_say "npm pack $VT_SQLITE_PACKAGE failed"; rm -rf "$work"; return 1
    fi
    local sum; sum=$(sha256sum "$work/$tarball" | cut -d' ' -f1)
    if [ "$sum" != "$VT_SQLITE_SHA256" ]; then
        vt_say "$tarball: sha256 $sum, expected $VT_SQLITE_SHA256"; rm -rf "$work"; return 1
    fi
    tar -xzf "$work/$tarball" -C "$work" package/deps/sqlite3/sqlite3.c package/deps/sqlite3/sqlite3.h || {
        rm -rf "$work"; return 1; }
    rm -rf "$VT_SQLITE_DIR"; mkdir -p "$VT_SQLITE_DIR"
    mv "$work/package/deps/sqlite3/sqlite3.c" "$work/package/deps/sqlite3/sqlite3.h" "$VT_SQLITE_DIR/"
    printf '%s %s\n' "$VT_SQLITE_PACKAGE" "$VT_SQLITE_SHA256" >"$VT_SQLITE_DIR/.source"
    rm -rf "$work"
}

# Configures and builds everything (Vantrel.exe, the test executables and
# helpers), or only the targets given as arguments.
vt_build() {
    local jobs; jobs=$(nproc 2>/dev/null || echo 2)
    mkdir -p "$VT_CMAKE_BUILD"
    vt_fetch_sqlite || { vt_say "could not fetch SQLite"; return 1; }
    cmake -S "$VT_ROOT" -B "$VT_CMAKE_BUILD" \
        -DCMAKE_TOOLCHAIN_FILE="$VT_ROOT/cmake/mingw-w64-posix.cmake" \
        -DVANTREL_SQLITE_DIR="$VT_SQLITE_DIR" \
        -DCMAKE_BUILD_TYPE=Release >"$VT_CMAKE_BUILD/configure.log" 2>&1 || {
        tail -n 30 "$VT_CMAKE_BUILD/configure.log" >&2; return 1; }
    local targets=()
    [ $# -gt 0 ] && targets=(--target "$@")
    cmake --build "$VT_CMAKE_BUILD" -j "$jobs" "${targets[@]}" -- --no-print-directory >"$VT_CMAKE_BUILD/build.log" 2>&1 || {
        grep -E 'error|Error' "$VT_CMAKE_BUILD/build.log" | head -n 40 >&2
        return 1
    }
}

VT_EXE() { printf '%s' "$VT_CMAKE_BUILD/app/Vantrel.exe"; }

# The community's real winapp2.ini (test data, never part of the project):
# VT_WINAPP2_INI, else shared/winapp2/Winapp2.ini beside the checkout or beside
# the folder of work trees. Prints nothing when there is none.
vt_winapp2_ini() {
    local f
    for f in "${VT_WINAPP2_INI:-}" "$VT_ROOT/../shared/winapp2/Winapp2.ini" "$VT_ROOT/../../shared/winapp2/Winapp2.ini"; do
        [ -n "$f" ] && [ -f "$f" ] && { realpath "$f"; return 0; }
    done
    return 1
}
