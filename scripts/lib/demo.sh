# Seeds the demo sandbox with the kind of junk Vantrel cleans, so a run shows
# something: temporary files old and new, backups, Thumbs.db, Word lock files,
# memory dumps, log files, Windows Update folders, recent-document shortcuts and
# history lists in the sandbox's registry. Writes only inside the sandbox; seeding again
# puts back what a cleanup took.
# Source after sandbox.sh and modern_profile.sh; call with the sandbox's environment active.

vt_demo_seed() {
    local dir; dir=$(vt_sandbox_dir "$1")
    local c="$dir/drive_c" d="$dir/drive_d"
    local temp appdata recent windows="$c/windows"
    temp=$(realpath "$(vt_sandbox_folder TEMP)" 2>/dev/null) || temp="$windows/temp"
    appdata=$(realpath "$(vt_sandbox_folder APPDATA)" 2>/dev/null) || appdata="$c/users/Public"
    recent="$appdata/Microsoft/Windows/Recent"

    junk() {  # junk <path> <bytes> <days since last use>
        mkdir -p "$(dirname "$1")"
        head -c "$2" /dev/urandom >"$1"
        touch -d "$3 days ago" "$1"
    }
    junk "$temp/~DF1234.tmp" 40000 30
    junk "$temp/setup-123/install.tmp" 120000 30
    junk "$temp/setup-123/cab/data1.cab" 300000 30
    junk "$temp/today.tmp" 1000 0
    junk "$windows/temp/update.log" 8000 20
    junk "$windows/temp/msi4f2.tmp" 64000 20
    junk "$windows/Minidump/Mini120126-01.dmp" 250000 60
    junk "$windows/memory.dmp" 900000 60
    junk "$windows/KB947864.log" 4000 90
    junk "$windows/\$NtUninstallKB947864\$/spuninst.exe" 50000 90
    junk "$c/msdownld.tmp/AS012.tmp" 30000 15
    junk "$c/FILE0001.CHK" 16000 200
    junk "$c/SCANDISK.LOG" 2000 200
    junk "$recent/report.lnk" 500 40
    junk "$d/Projects/report/report.doc.bak" 5000 30
    junk "$d/Projects/report/old-notes.txt.old" 3000 30
    junk "$d/Projects/report/~\$report.doc" 162 30
    junk "$d/Projects/report/fresh.bak" 5000 0
    junk "$d/Photos/2024/Thumbs.db" 24000 30
    junk "$d/Downloads/setup.tmp" 70000 12
    printf 'keep me\n' >"$d/Projects/report/report.doc"
    printf 'keep me too\n' >"$d/Photos/2024/IMG_0001.jpg"

    # History lists that the registry actions clear.
    local reg='HKCU\Software\Microsoft\Windows\CurrentVersion\Explorer\RunMRU'
    wine reg add "$reg" /v a /d 'notepad\1' /f >/dev/null 2>&1
    wine reg add "$reg" /v b /d 'regedit\1' /f >/dev/null 2>&1
    wine reg add "$reg" /v MRUList /d 'ab' /f >/dev/null 2>&1
    wine reg add 'HKCU\Software\Microsoft\Internet Explorer\TypedURLs' /v url1 /d 'https://www.example.com/' /f >/dev/null 2>&1
    wine reg add 'HKCU\Software\Microsoft\Windows\CurrentVersion\Applets\Paint\Recent File List' /v 'File1' /d 'C:\pic.bmp' /f >/dev/null 2>&1
    wine reg add 'HKCU\Software\WinRAR\ArcHistory' /v 0 /d 'D:\Downloads\archive.rar' /f >/dev/null 2>&1

    vt_demo_seed_winapp2 "$appdata"
    vt_demo_seed_synced "$d"

    # Today's Windows and browsers: update downloads, thumbnail and shader caches,
    # error reports, crash dumps, Chrome, Edge and Firefox profiles.
    vt_modern_seed "$dir/demo-modern-junk.txt" "$dir/demo-modern-keep.txt" "$dir/demo-modern-unticked.txt"

    vt_demo_seed_volume_caches "$c"
}

# Disk cleanup handlers, as Windows registers its own: the stand-in handler
# (tests/helpers/VolumeCacheStandIn.cpp) under a few of Windows' key names, each
# counting and purging only a folder of its own below C:\StandIns, so the row
# "清理 Windows 系统文件 (磁盘清理项目)" and its window have something to show.
# Skipped when the stand-in is not built. Call with the sandbox's environment active.
vt_demo_seed_volume_caches() {
    local c=$1 dll="$VT_CMAKE_BUILD/tests/volumecache-standin.dll"
    [ -f "$dll" ] || return 0
    mkdir -p "$c/StandIns"
    cp "$dll" "$c/StandIns/"
    local clsid key caches='HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\Explorer\VolumeCaches'
    for clsid in 1001 1002 1003 1004; do
        key="HKLM\\Software\\Classes\\CLSID\\{6A3F1C20-5B1E-4C8B-9A51-7D2E0B6C$clsid}\\InprocServer32"
        wine reg add "$key" /ve /d 'C:\StandIns\volumecache-standin.dll' /f /reg:64 >/dev/null 2>&1
        wine reg add "$key" /v ThreadingModel /d Apartment /f /reg:64 >/dev/null 2>&1
    done
    # demo_handler <key> <display> <description> <flags> <priority> <mode> <bytes>
    demo_handler() {
        local k="$caches\\$1" folder="$c/StandIns/$1"
        mkdir -p "$folder"
        [ "$7" -gt 0 ] && head -c "$7" /dev/urandom >"$folder/data.bin"
        wine reg add "$k" /ve /d '{6A3F1C20-5B1E-4C8B-9A51-7D2E0B6C1001}' /f /reg:64 >/dev/null 2>&1
        wine reg add "$k" /v Display /d "$2" /f /reg:64 >/dev/null 2>&1
        wine reg add "$k" /v Description /d "$3" /f /reg:64 >/dev/null 2>&1
        wine reg add "$k" /v StandInFlags /t REG_DWORD /d "$4" /f /reg:64 >/dev/null 2>&1
        wine reg add "$k" /v Priority /t REG_DWORD /d "$5" /f /reg:64 >/dev/null 2>&1
        wine reg add "$k" /v StandInMode /d "$6" /f /reg:64 >/dev/null 2>&1
        wine reg add "$k" /v StandInFolder /d "C:\\StandIns\\$1" /f /reg:64 >/dev/null 2>&1
    }
    demo_handler 'Demo Update Cleanup' 'Windows 更新清理' 'Windows 保留的已被取代的更新。' 3 500 normal 2400000
    demo_handler 'Demo Setup Files' '临时 Windows 安装文件' 'Windows 安装程序留下的安装文件。' 2 400 normal 900000
    demo_handler 'Demo Delivery Optimization' '传递优化文件' '从其他电脑下载更新时缓存的文件。' 0 300 normal 350000
    demo_handler 'Demo Thumbnails' '缩略图' 'Windows 为图片和视频保存的缩略图。' 2 200 normal 120000
    demo_handler 'DownloadsFolder' '下载' '警告: 这些是你个人"下载"文件夹中的文件。' 0 100 normal 70000
    demo_handler 'Demo Broken Handler' '损坏的清理项目' '一个无法初始化的处理程序。' 0 50 efail 0
}

# Folders sync clients mirror, which the walk leaves alone: Dropbox on D: (its
# info.json as the client writes it) and iCloud Drive in the profile, each with
# junk that stays. Call with the sandbox's environment active.
vt_demo_seed_synced() {
    local d=$1 local_appdata profile
    local_appdata=$(realpath "$(vt_sandbox_folder LOCALAPPDATA)" 2>/dev/null) || return 0
    profile=$(realpath "$(vt_sandbox_folder USERPROFILE)" 2>/dev/null) || return 0
    junk "$d/Dropbox/Projects/plan.doc.bak" 5000 30
    mkdir -p "$local_appdata/Dropbox"
    printf '{"personal": {"path": "D:\\\\Dropbox", "host": 5236403718, "is_team": false, "subscription_type": "Basic"}}\n' \
        >"$local_appdata/Dropbox/info.json"
    junk "$profile/iCloudDrive/notes.tmp" 2000 30
}

# A small winapp2.ini in the settings folder, with three applications "installed"
# (their folders and a registry key), so the row "清理其他应用程序 (winapp2.ini)" and
# its entries window have something to show. Call with the sandbox's environment active.
vt_demo_seed_winapp2() {
    local appdata=$1 local_appdata
    local_appdata=$(realpath "$(vt_sandbox_folder LOCALAPPDATA)" 2>/dev/null) || return 0
    mkdir -p "$appdata/Holvane/Vantrel"
    junk "$local_appdata/DemoChat/Cache/data_0" 180000 10
    junk "$local_appdata/DemoChat/Cache/js/index" 42000 10
    junk "$appdata/DemoPlayer/logs/player.log" 9000 10
    junk "$appdata/DemoPlayer/logs/2024/update.log" 3000 10
    printf 'keep me\n' >"$appdata/DemoPlayer/library.db"
    wine reg add 'HKCU\Software\DemoEditor\Recent File List' /v File1 /d 'D:\Projects\report\report.doc' /f >/dev/null 2>&1
    printf '%s\r\n' \
        '; Demo rules, in the community format' \
        '[DemoChat *]' 'LangSecRef=3022' 'DetectFile=%LocalAppData%\DemoChat' \
        'FileKey1=%LocalAppData%\DemoChat\Cache|*.*|RECURSE' \
        '[DemoPlayer *]' 'LangSecRef=3023' 'DetectFile=%AppData%\DemoPlayer' \
        'FileKey1=%AppData%\DemoPlayer\logs|*.log|RECURSE' \
        '[DemoEditor *]' 'LangSecRef=3021' 'Detect=HKCU\Software\DemoEditor' \
        'Warning=This clears the list of recently opened documents.' \
        'RegKey1=HKCU\Software\DemoEditor\Recent File List' \
        >"$appdata/Holvane/Vantrel/winapp2.ini"
}
