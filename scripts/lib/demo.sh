# Seeds the demo sandbox with the kind of junk Vantrel cleans, so a run shows
# something. Only ever writes inside the sandbox's own drives.

vt_demo_seed() {
    local dir; dir=$(vt_sandbox_dir "$1")
    local c="$dir/drive_c" d="$dir/drive_d"
    local user_temp
    user_temp=$(realpath "$(vt_sandbox_folder TEMP)" 2>/dev/null)
    [ -n "$user_temp" ] || user_temp="$c/windows/temp"
    mkdir -p "$user_temp/setup-123" "$c/windows/temp" "$d/Projects/report" "$d/Photos/2024"
    head -c 40000 /dev/zero >"$user_temp/~DF1234.tmp"
    head -c 120000 /dev/zero >"$user_temp/setup-123/install.tmp"
    head -c 8000 /dev/zero >"$c/windows/temp/update.log"
    head -c 5000 /dev/zero >"$d/Projects/report/report.doc.bak"
    head -c 3000 /dev/zero >"$d/Projects/report/old-notes.txt.old"
    head -c 2000 /dev/zero >"$d/Photos/2024/Thumbs.db"
    printf 'keep me\n' >"$d/Projects/report/report.doc"
    # Junk nobody has touched for a month, so every protection mode lets it go.
    find "$user_temp" "$c/windows/temp" "$d/Projects" "$d/Photos" -type f -newer "$dir/.booted" \
        -exec touch -a -m -d '30 days ago' {} + 2>/dev/null || true
}
