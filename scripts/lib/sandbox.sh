# The Wine sandbox. Vantrel deletes files, and Wine maps Z: to / and keeps the
# recycle bin in the Linux user's trash, so every prefix made here:
#  - lives under build/ (build/wine-<purpose>) with its own HOME and XDG dirs,
#  - loses dosdevices/z: (and every drive but c: and the sandbox's own extras),
#  - runs with LANG=zh_CN.UTF-8, WINEDEBUG=-all and no menu builder, Mono or Gecko.
# Source it after common.sh. Functions take the purpose name ("test", "demo", ...).

vt_sandbox_dir() { printf '%s' "$VT_BUILD/wine-$1"; }

# Exports the environment of sandbox $1 into the current shell.
vt_sandbox_env() {
    local dir; dir=$(vt_sandbox_dir "$1")
    export WINEPREFIX="$dir"
    export WINEARCH=win64
    export HOME="$dir/home"
    export XDG_DATA_HOME="$dir/home/.local/share"
    export XDG_CONFIG_HOME="$dir/home/.config"
    export XDG_CACHE_HOME="$dir/home/.cache"
    export XDG_RUNTIME_DIR="$dir/home/.run"
    export WINEDEBUG=-all
    export WINEDLLOVERRIDES="winemenubuilder.exe=d;mscoree=d;mshtml=d"
    export LANG="${VT_LANG:-zh_CN.UTF-8}"
    export LC_ALL="$LANG"
    mkdir -p "$HOME" "$XDG_DATA_HOME" "$XDG_CONFIG_HOME" "$XDG_CACHE_HOME" "$XDG_RUNTIME_DIR"
    chmod 700 "$XDG_RUNTIME_DIR"
}

# Removes every drive letter that could reach outside the sandbox. Only c: and
# letters that point at folders inside the sandbox stay.
vt_sandbox_seal() {
    local dir; dir=$(vt_sandbox_dir "$1")
    local link target
    for link in "$dir"/dosdevices/?:*; do
        [ -e "$link" ] || [ -L "$link" ] || continue
        case "$(basename "$link")" in
            c:) continue ;;
        esac
        target=$(readlink -f "$link" 2>/dev/null || true)
        case "$target" in
            "$dir"/*) ;;                      # a drive of our own
            *) rm -f "$link" ;;               # z: -> / and anything else
        esac
    done
}

# Creates (once) and boots sandbox $1. Options: --drive <letter> (an extra fixed
# drive, a folder inside the prefix, linked as "../drive_<letter>"),
# --linked-drive <letter>=<folder> (a drive made as a Linux user makes one: an
# absolute link to <sandbox>/<folder>, beside the prefix's own folders),
# --winver <winxp|win7|win10|...>.
# The prefix is reused when it already exists; drives and version are applied each time.
vt_sandbox_create() {
    local name=$1; shift
    local drives=() linked=() winver=""
    while [ $# -gt 0 ]; do
        case "$1" in
            --drive) drives+=("$2"); shift 2 ;;
            --linked-drive) linked+=("$2"); shift 2 ;;
            --winver) winver=$2; shift 2 ;;
            *) vt_say "vt_sandbox_create: unknown option $1"; return 2 ;;
        esac
    done
    vt_sandbox_env "$name"
    local dir="$WINEPREFIX"
    if [ ! -f "$dir/.booted" ]; then
        vt_say "booting Wine prefix $dir (once)"
        rm -rf "$dir"; mkdir -p "$dir"
        vt_sandbox_env "$name"
        wineboot -i >/dev/null 2>&1 || true
        wineserver -w
        [ -f "$dir/system.reg" ] || { vt_say "wineboot failed for $dir"; return 1; }
        # No window manager runs under Xvfb: let Wine draw captions and borders itself.
        wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
        wine reg add 'HKCU\Software\Wine\X11 Driver' /v Decorated /d N /f >/dev/null 2>&1
        wineserver -w
        touch "$dir/.booted"
    fi
    local d
    for d in "${drives[@]}"; do
        mkdir -p "$dir/drive_$d"
        ln -sfn "../drive_$d" "$dir/dosdevices/$d:"
    done
    for d in "${linked[@]}"; do
        case "${d#*=}" in ''|/*|*..*) vt_say "vt_sandbox_create: $d must name a folder inside the sandbox"; return 2 ;; esac
        mkdir -p "$dir/${d#*=}"
        ln -sfn "$dir/${d#*=}" "$dir/dosdevices/${d%%=*}:"
    done
    vt_sandbox_seal "$name"
    if [ -n "$winver" ]; then
        wine reg add 'HKCU\Software\Wine' /v Version /d "$winver" /f >/dev/null 2>&1
        # The server that call started must be gone before vt_sandbox_start makes a persistent one.
        wineserver -w
    fi
    vt_sandbox_check "$name"
}

# Refuses to go on if any drive of sandbox $1 reaches outside it.
vt_sandbox_check() {
    local dir; dir=$(vt_sandbox_dir "$1")
    local link target
    # Drive letters ("d:") and their raw devices ("d::"); com and lpt ports are not drives.
    for link in "$dir"/dosdevices/?:*; do
        [ -e "$link" ] || [ -L "$link" ] || continue
        target=$(readlink -f "$link" 2>/dev/null || true)
        case "$target" in
            "$dir"/*) ;;
            *) vt_say "UNSAFE: $link -> $target leaves the sandbox"; return 1 ;;
        esac
    done
}

# Starts a persistent wineserver for sandbox $1 and warms it up, so each later
# process start costs tens of milliseconds instead of seconds.
vt_sandbox_start() {
    vt_sandbox_env "$1"
    vt_sandbox_check "$1" || return 1
    wineserver -p
    wine cmd /c exit >/dev/null 2>&1 || true
}

# Stops every process of sandbox $1.
vt_sandbox_stop() {
    ( vt_sandbox_env "$1"; wineserver -k >/dev/null 2>&1; wineserver -w >/dev/null 2>&1 ) || true
}

# Deletes sandbox $1 entirely.
vt_sandbox_remove() {
    vt_sandbox_stop "$1"
    rm -rf "$(vt_sandbox_dir "$1")"
}

# Starts Xvfb on a free display unless one is given; sets DISPLAY and VT_XVFB_PID.
vt_xvfb_start() {
    local n
    for n in $(seq 90 140); do
        [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ] && continue
        Xvfb ":$n" -screen 0 "${VT_XVFB_SCREEN:-1280x1024x24}" -nolisten tcp >/dev/null 2>&1 &
        VT_XVFB_PID=$!
        export DISPLAY=":$n"
        local i
        for i in $(seq 1 50); do
            [ -e "/tmp/.X11-unix/X$n" ] && return 0
            sleep 0.1
        done
        kill "$VT_XVFB_PID" 2>/dev/null
    done
    vt_say "could not start Xvfb"; return 1
}

vt_xvfb_stop() { [ -n "${VT_XVFB_PID:-}" ] && kill "$VT_XVFB_PID" 2>/dev/null; VT_XVFB_PID=""; }

# "WxH+X+Y" of X window $1, with a small margin, for cropping screenshots.
vt_window_geometry() {
    local X Y WIDTH HEIGHT
    eval "$(xdotool getwindowgeometry --shell "$1")"
    printf '%dx%d+%d+%d' "$((WIDTH + 8))" "$((HEIGHT + 8))" "$((X > 4 ? X - 4 : 0))" "$((Y > 4 ? Y - 4 : 0))"
}

# The Unix path of a folder of the current sandbox named by a Windows
# environment variable (TEMP, APPDATA, ...), as the sandbox's Wine sees it.
vt_sandbox_folder() {
    local win
    win=$(cd "$WINEPREFIX/drive_c" && wine cmd /c "echo %$1%" 2>/dev/null | tr -d '\r')
    [ -n "$win" ] || return 1
    winepath -u "$win" 2>/dev/null | sed 's:/$::'
}

# Puts Wine's Marlett into the Fonts folder of sandbox $1. The sandbox's Wine loads none
# of its own fonts from /usr/share/wine/fonts (the sandbox has no drive that maps "/"),
# and without Marlett the caption buttons show the letters "0 1 r" in a text font where
# the minimise, maximise and close glyphs belong. Windows keeps Marlett in Windows\Fonts.
vt_sandbox_caption_font() {
    local fonts; fonts="$(vt_sandbox_dir "$1")/drive_c/windows/Fonts"
    local marlett=/usr/share/wine/fonts/marlett.ttf  # fonts-wine
    [ -f "$marlett" ] || { vt_say "no $marlett: the caption buttons will show letters"; return 0; }
    mkdir -p "$fonts"
    [ -f "$fonts/marlett.ttf" ] || cp "$marlett" "$fonts/marlett.ttf"
}
