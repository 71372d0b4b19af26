#!/usr/bin/env bash
# Windows' disk cleanup handlers end to end: stand-in handlers registered under
# VolumeCaches in the sandbox, their ticks in the settings file. `Vantrel /auto`
# sizes them in the reading pass, purges the ticked ones each in a host of its
# own, logs one line per handler, logs the one that crashes and the one that
# hangs while the others still run, and ends with exit code 1 for them. Nothing
# outside the stand-ins' own folders (and the temporary folders the other
# default actions clean) is touched, and no host outlives its run, nor a killed
# Vantrel.
set -u
source "$(dirname "$0")/../../scripts/lib/common.sh"
source "$VT_ROOT/scripts/lib/sandbox.sh"
source "$VT_ROOT/scripts/lib/e2e.sh"

e2e_setup volume_caches
APPDATA_DIR=$(realpath "$(vt_sandbox_folder APPDATA)")
SETTINGS_DIR="$APPDATA_DIR/Holvane/Vantrel"
STANDINS="$E2E_C/StandIns"
rm -rf "$SETTINGS_DIR" "$STANDINS"
mkdir -p "$SETTINGS_DIR" "$STANDINS"
e2e_install_exe 'C:\Program Files\Vantrel\Vantrel.exe'
cp "$VT_CMAKE_BUILD/tests/volumecache-standin.dll" "$STANDINS/"
DLL='C:\StandIns\volumecache-standin.dll'
for clsid in 1001 1002 1003 1004; do
    key="HKLM\\Software\\Classes\\CLSID\\{6A3F1C20-5B1E-4C8B-9A51-7D2E0B6C$clsid}\\InprocServer32"
    wine reg add "$key" /ve /d "$DLL" /f /reg:64 >/dev/null 2>&1
    wine reg add "$key" /v ThreadingModel /d Apartment /f /reg:64 >/dev/null 2>&1
done
CACHES='HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\Explorer\VolumeCaches'
wine reg delete "$CACHES" /f /reg:64 >/dev/null 2>&1
# handler <key name> <clsid suffix> <mode> <folder or -> <flags> <priority>
handler() {
    local key="$CACHES\\$1"
    wine reg add "$key" /ve /d "{6A3F1C20-5B1E-4C8B-9A51-7D2E0B6C$2}" /f /reg:64 >/dev/null 2>&1
    wine reg add "$key" /v StandInMode /d "$3" /f /reg:64 >/dev/null 2>&1
    [ "$4" = - ] || wine reg add "$key" /v StandInFolder /d "$4" /f /reg:64 >/dev/null 2>&1
    wine reg add "$key" /v StandInFlags /t REG_DWORD /d "$5" /f /reg:64 >/dev/null 2>&1
    wine reg add "$key" /v Priority /t REG_DWORD /d "$6" /f /reg:64 >/dev/null 2>&1
    wine reg add "$key" /v Display /d "$1" /f /reg:64 >/dev/null 2>&1
    wine reg add "$key" /v StandInLog /d 'C:\StandIns\calls.log' /f /reg:64 >/dev/null 2>&1
}
# EVCF_ENABLEBYDEFAULT = 2
handler 'Vt Update Files' 1001 normal 'C:\StandIns\update' 2 500
handler 'Vt Crash' 1001 crash 'C:\StandIns\crash' 2 400
handler 'Vt Hang' 1001 hang - 2 300
handler 'Vt Setup Logs' 1002 normal 'C:\StandIns\logs' 0 200
wine reg add "$CACHES\\Vt Setup Logs" /v Display /d "@$DLL,-101" /f /reg:64 >/dev/null 2>&1
wine reg add "$CACHES\\Vt Setup Logs" /v PropertyBag /d '{6A3F1C20-5B1E-4C8B-9A51-7D2E0B6C1004}' /f /reg:64 >/dev/null 2>&1
handler 'Vt Zero' 1001 zero - 2 150
handler 'Vt Nothing' 1001 sfalse - 2 140
handler 'Vt Broken' 1001 efail - 2 130
handler 'Vt Unticked' 1001 normal 'C:\StandIns\unticked' 0 100
handler 'Recycle Bin' 1001 normal 'C:\StandIns\bin' 2 90

for f in update/1.cab update/2.cab logs/setup.log crash/c.dmp unticked/u.tmp bin/b.tmp; do
    mkdir -p "$STANDINS/$(dirname "$f")"
    head -c 65536 /dev/zero >"$STANDINS/$f"
done
ROW_NAME='清理 Windows 系统文件 (磁盘清理项目)'
{
  printf '<?xml version="1.0"?>\r\n<VantrelSettings><CleanupItems>'
  printf '<CleanupItem Name="%s" Enabled="True"/></CleanupItems><VolumeCacheItems>' "$ROW_NAME"
  for name in 'Vt Update Files' 'Vt Crash' 'Vt Hang' 'Vt Setup Logs' 'Vt Broken'; do
      printf '<VolumeCacheItem Name="%s" Enabled="True"/>' "$name"
  done
  printf '<VolumeCacheItem Name="Vt Unticked" Enabled="False"/><VolumeCacheItem Name="Gone" Enabled="True"/>'
  printf '</VolumeCacheItems></VantrelSettings>\r\n'
} >"$SETTINGS_DIR/Vantrel.cfg"

# The handler hosts of this sandbox's Wine, not of any other prefix on the machine.
sandbox_hosts() {
    local pid
    for pid in $(pgrep -f -- '/volumecache-host' || true); do
        tr '\0' '\n' <"/proc/$pid/environ" 2>/dev/null | grep -qxF "WINEPREFIX=$WINEPREFIX" && printf '%s ' "$pid"
    done
    return 0
}

snapshot() { (cd "$WINEPREFIX" && find drive_c -type f ! -path '*/Holvane/Vantrel/*' ! -path '*/StandIns/*' | sort); }
snapshot >"$WINEPREFIX/before.txt"
export VANTREL_VOLUMECACHE_LIMIT_MS=2000
rc=$(e2e_exit_code 180 wine 'C:\Program Files\Vantrel\Vantrel.exe' /auto)
e2e_check "/auto ends by itself with exit code 1 for the crash and the hang (got $rc)" [ "$rc" = 1 ]
snapshot >"$WINEPREFIX/after.txt"
hosts=$(sandbox_hosts)
e2e_check "no handler host outlives the run${hosts:+: $hosts}" [ -z "$hosts" ]

e2e_check "purged: the ticked handler's files" [ ! -e "$STANDINS/update/1.cab" -a ! -e "$STANDINS/update/2.cab" ]
e2e_check "purged: the IEmptyVolumeCache2 handler's files" [ ! -e "$STANDINS/logs/setup.log" ]
e2e_check "kept: the crashed handler's file" [ -e "$STANDINS/crash/c.dmp" ]
e2e_check "kept: the unticked handler's file" [ -e "$STANDINS/unticked/u.tmp" ]
e2e_check "kept: the recycle bin handler is never run" [ -e "$STANDINS/bin/b.tmp" ]

log="$SETTINGS_DIR/Vantrel.log"
calls="$STANDINS/calls.log"
e2e_check "log: the first handler's line with its estimate" \
    grep -qE 'Windows 系统文件 "Vt Update Files" \(C:\): 释放了 [0-9]+ 字节 \([^)]*\), 处理程序估计 131072 字节。' "$log"
e2e_check "log: the IEmptyVolumeCache2 handler under its indirect name" \
    grep -qE 'Windows 系统文件 "替身 第二版处理程序" \(C:\): 释放了 [0-9]+ 字节 \([^)]*\), 处理程序估计 65536 字节。' "$log"
e2e_check "log: the crash with its exception code" \
    grep -qF 'Windows 系统文件 "Vt Crash" (C:): 处理程序崩溃 (异常代码 0xC0000005)。' "$log"
e2e_check "log: the hang, ended" grep -qF 'Windows 系统文件 "Vt Hang" (C:): 处理程序在 2 秒内没有响应, 已终止。' "$log"
e2e_check "log: the ticked handler that cannot be used, with its reason" \
    grep -qF 'Windows 系统文件 "Vt Broken": 无法使用, 无法初始化: 0x80004005' "$log"
e2e_check "log: the run ends with exit code 1" grep -qF '(退出代码 1)' "$log"
e2e_check "the handler after the crash and the hang still ran (its Purge, then Deactivate)" \
    grep -qzP 'InitializeEx Vt Setup Logs C:\\\r\nGetSpaceUsed\r\nPurge\r\nDeactivate' "$calls"
e2e_check "the recycle bin's handler is never even created" bash -c "! grep -q 'Recycle Bin' '$calls'"

gone=$(comm -23 "$WINEPREFIX/before.txt" "$WINEPREFIX/after.txt" | grep -v -e '^$' -e '/[Tt]emp/' || true)
e2e_check "nothing outside the stand-ins' folders and the temporary folders deleted${gone:+: $gone}" [ -z "$gone" ]

cfg="$SETTINGS_DIR/Vantrel.cfg"
e2e_check "ticks saved by key name" grep -qF '<VolumeCacheItem Name="Vt Update Files" Enabled="True"/>' "$cfg"
e2e_check "an unticked handler stays unticked" grep -qF '<VolumeCacheItem Name="Vt Unticked" Enabled="False"/>' "$cfg"
e2e_check "the tick of a handler not registered now is kept" grep -qF '<VolumeCacheItem Name="Gone" Enabled="True"/>' "$cfg"

# A Vantrel that is killed while a handler sizes itself leaves no host behind.
wine reg add "$CACHES\\Vt Hang" /v StandInMode /d slow /f /reg:64 >/dev/null 2>&1
: >"$calls"
export VANTREL_VOLUMECACHE_LIMIT_MS=60000
wine 'C:\Program Files\Vantrel\Vantrel.exe' >/dev/null 2>&1 &
vantrel=$!
for _ in $(seq 1 300); do grep -q 'GetSpaceUsed' "$calls" 2>/dev/null && grep -q 'Vt Hang' "$calls" && break; sleep 0.1; done
hosts=$(sandbox_hosts)
e2e_check "a host sizes the slow handler" [ -n "$hosts" ]
kill -9 "$vantrel" 2>/dev/null
for _ in $(seq 1 50); do [ -z "$(sandbox_hosts)" ] && break; sleep 0.1; done
hosts=$(sandbox_hosts)
e2e_check "killing Vantrel ends its host${hosts:+: $hosts}" [ -z "$hosts" ]

e2e_teardown
[ "$E2E_FAILURES" -eq 0 ]
