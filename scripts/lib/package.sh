# Release packaging, shared by scripts/package and the release tests: the staged
# files, the zip, the NSIS installer and the checksums. Source after common.sh.

VT_RELEASE_PY="$VT_ROOT/scripts/lib/release.py"
# The source tree whose packaging files go into the release (scripts/package sets its export of HEAD).
VT_RELEASE_SRC=${VT_RELEASE_SRC:-$VT_ROOT}

# The version the build was configured with (a.b.c.d), from CMake's build folder $1.
vt_release_version() { tr -d '\r\n' <"$1/generated/VantrelVersion.txt"; }

# The version in the version resource of the executable $1.
vt_exe_version() { python3 "$VT_RELEASE_PY" exe-version "$1"; }

# Puts the fetched SQLite amalgamation into the copied source tree $1 at the place below
# the sources where every build keeps it, so that the paths compiled in agree.
vt_release_add_sqlite() {
    vt_fetch_sqlite && mkdir -p "$1/build/third_party" && cp -r "$VT_SQLITE_DIR" "$1/build/third_party/"
}

# The commit time of HEAD: what "built at" means for reproducible bytes.
vt_source_date_epoch() { git -C "$VT_ROOT" log -1 --format=%ct HEAD 2>/dev/null || echo 315532800; }

# Puts Vantrel.exe $1, README.txt and LICENSE.txt for version $2 into the folder $3,
# all dated $4 (seconds since 1970), and refuses an exe of another version.
vt_release_stage() {
    local exe=$1 version=$2 stage=$3 epoch=$4 got
    got=$(vt_exe_version "$exe") || return 1
    if [ "$got" != "$version" ]; then
        vt_say "$exe carries version $got, the build says $version"; return 1
    fi
    rm -rf "$stage"; mkdir -p "$stage"
    cp "$exe" "$stage/Vantrel.exe"
    python3 "$VT_RELEASE_PY" text "$VT_RELEASE_SRC/packaging/README.txt" "$stage/README.txt" "$version" || return 1
    python3 "$VT_RELEASE_PY" text "$VT_RELEASE_SRC/LICENSE.txt" "$stage/LICENSE.txt" "$version" || return 1
    touch -d "@$epoch" "$stage"/*
}

vt_release_zip_name() { printf 'Vantrel-%s-win64.zip' "$1"; }
vt_release_setup_name() { printf 'Vantrel-%s-setup.exe' "$1"; }

# Writes the zip of stage $1 (version $2) into folder $3, dated $4.
vt_release_zip() {
    local stage=$1 version=$2 out=$3 epoch=$4
    mkdir -p "$out"
    python3 "$VT_RELEASE_PY" zip "$out/$(vt_release_zip_name "$version")" "$epoch" \
        "Vantrel.exe=$stage/Vantrel.exe" "README.txt=$stage/README.txt" "LICENSE.txt=$stage/LICENSE.txt"
}

# Writes the installer of stage $1 (version $2) into folder $3.
vt_release_installer() {
    local stage=$1 version=$2 out=$3 log
    mkdir -p "$out"
    log="$out/makensis.log"
    makensis -V2 -INPUTCHARSET UTF8 -DVERSION="$version" -DSTAGE="$stage" -DICON="$VT_RELEASE_SRC/app/Vantrel.ico" \
        -DOUTFILE="$out/$(vt_release_setup_name "$version")" "$VT_RELEASE_SRC/packaging/Vantrel.nsi" >"$log" 2>&1 || {
        tail -n 30 "$log" >&2; return 1; }
    rm -f "$log"
}
