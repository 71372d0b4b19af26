#include "engine/SystemRoutines.h"
#include "texts/Texts.h"

#include "engine/Exceptions.h"
#include "engine/FolderPaths.h"
#include "platform/ErrorBox.h"
#include "platform/Handles.h"
#include "platform/LongPath.h"
#include "platform/Registry.h"

#include <windows.h>
#include <ntsecapi.h>
#include <shlobj.h>

#include <algorithm>
#include <climits>
#include <cstddef>
#include <cmath>
#include <vector>

namespace {

TDateTime SystemNow() {
    SYSTEMTIME st;
    ::GetLocalTime(&st);
    return EncodeDateTime(st.wYear, st.wMonth, st.wDay, st.wHour, st.wMinute, st.wSecond, st.wMilliseconds);
}

uint64_t SystemTicks() { return ::GetTickCount64(); }

// The LSA answer for the process's own logon session; secur32 is loaded on demand,
// as only this question needs it.
bool ReadSystemLogonTime(FILETIME& logonUtc) {
    using TGetData = LONG(WINAPI*)(PLUID, PSECURITY_LOGON_SESSION_DATA*);
    using TFreeBuffer = LONG(WINAPI*)(PVOID);
    // By its full path: Windows 7 without its loader update knows no LOAD_LIBRARY_SEARCH_SYSTEM32.
    wchar_t system[MAX_PATH + 1] = {};
    const UINT systemLength = ::GetSystemDirectoryW(system, MAX_PATH + 1);
    if (systemLength == 0 || systemLength > MAX_PATH) return false;
    HMODULE secur32 = ::LoadLibraryW((std::wstring(system, systemLength) + L"\\secur32.dll").c_str());
    if (secur32 == nullptr) return false;
    const auto getData = reinterpret_cast<TGetData>(::GetProcAddress(secur32, "LsaGetLogonSessionData"));
    const auto freeBuffer = reinterpret_cast<TFreeBuffer>(::GetProcAddress(secur32, "LsaFreeReturnBuffer"));
    HANDLE token = nullptr;
    if (getData == nullptr || freeBuffer == nullptr || !::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &token))
        return false;
    THandle tokenHandle(token);
    TOKEN_STATISTICS statistics{};
    DWORD length = 0;
    if (!::GetTokenInformation(token, TokenStatistics, &statistics, sizeof statistics, &length)) return false;
    PSECURITY_LOGON_SESSION_DATA data = nullptr;
    if (getData(&statistics.AuthenticationId, &data) != 0 || data == nullptr) return false;
    const bool known = data->Size >= offsetof(SECURITY_LOGON_SESSION_DATA, LogonTime) + sizeof(LARGE_INTEGER) &&
                       IsScreenLogonType(data->LogonType) && data->LogonTime.QuadPart > 0;
    if (known) {
        logonUtc.dwLowDateTime = data->LogonTime.LowPart;
        logonUtc.dwHighDateTime = static_cast<DWORD>(data->LogonTime.HighPart);
    }
    freeBuffer(data);
    return known;
}

// A process's logon session never changes: asked once.
bool SystemLogonTime(FILETIME& logonUtc) {
    static FILETIME logon{};
    static const bool known = ReadSystemLogonTime(logon);
    logonUtc = logon;
    return known;
}

bool NoLogonTime(FILETIME&) { return false; }

TNowFunction GNow = SystemNow;
TTickFunction GTicks = SystemTicks;
TLogonTimeFunction GLogonTime = SystemLogonTime;

}  // namespace

void SetClockForTesting(TNowFunction now, TTickFunction ticks) {
    GNow = now ? now : SystemNow;
    GTicks = ticks ? ticks : SystemTicks;
    GLogonTime = now || ticks ? NoLogonTime : SystemLogonTime;
}

void SetLogonTimeForTesting(TLogonTimeFunction logonTime) {
    GLogonTime = logonTime ? logonTime : GNow == SystemNow && GTicks == SystemTicks ? SystemLogonTime : NoLogonTime;
}

TDateTime Now() { return GNow(); }

int32_t GetUptimeSeconds() {
    const int64_t uptime = static_cast<int64_t>(GTicks() / 1000);
    FILETIME logon{};
    const bool known = GLogonTime(logon);
    const int64_t seconds = known ? SessionSeconds(uptime, &logon, Now(), CurrentLocalBias()) : uptime;
    return seconds > INT32_MAX ? INT32_MAX : static_cast<int32_t>(seconds);
}

// --- File times and ages ---

namespace {

constexpr int64_t TicksPerMs = 10000;
constexpr int64_t TicksPerSecond = 10000000;
// FILETIME counts from 1601-01-01, TDateTime from 1899-12-30.
constexpr int64_t TicksFrom1601To1899 = 109205LL * 86400 * TicksPerSecond;
// Far beyond any real stamp (year 15,000 and more), and keeps the arithmetic
// below clear of overflow for stamps with the top bit set.
constexpr uint64_t MaxFileTicks = static_cast<uint64_t>(INT64_MAX) / 2;

int64_t FileTicks(const FILETIME& time) {
    const uint64_t value = (static_cast<uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
    return static_cast<int64_t>(value < MaxFileTicks ? value : MaxFileTicks);
}

// A local date-time in FILETIME units, to the millisecond it holds.
int64_t LocalTicks(TDateTime local) {
    return std::llround(local * 86400000.0) * TicksPerMs + TicksFrom1601To1899;
}

}  // namespace

TFileTimes FileTimesOf(const WIN32_FIND_DATAW& data) {
    return TFileTimes{data.ftCreationTime, data.ftLastAccessTime, data.ftLastWriteTime,
                      (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow};
}

TFileTimes GetFileTimes(const std::wstring& fileName) {
    WIN32_FIND_DATAW data;
    TFindHandle find(::FindFirstFileExW(LiteralPath(fileName).c_str(), FindExInfoBasic, &data,
                                        FindExSearchNameMatch, nullptr, 0));
    if (!find) throw Exception(FormatText(TTextId::ErrorCannotReadAccessTime, fileName));
    return FileTimesOf(data);
}

TDateTime GetFileLastAccessTime(const std::wstring& fileName) {
    return LocalTimeFromFileTime(GetFileTimes(fileName).LastAccess);
}

TDateTime LocalTimeFromFileTime(const FILETIME& utc) {
    const int64_t ticks = FileTicks(utc) + CurrentLocalBias() - TicksFrom1601To1899;
    return static_cast<double>(ticks / TicksPerMs) / 86400000.0;
}

int64_t CurrentLocalBias() {
    FILETIME utc, local;
    ::GetSystemTimeAsFileTime(&utc);
    if (!::FileTimeToLocalFileTime(&utc, &local)) return 0;
    return FileTicks(local) - FileTicks(utc);
}

int64_t FileTimeAgeSeconds(TDateTime Now, const FILETIME& Utc, int64_t LocalBias) {
    const int64_t age = LocalTicks(Now) - (FileTicks(Utc) + LocalBias);
    return (age < 0 ? -age : age) / TicksPerSecond;
}

int64_t FileAgeSeconds(TDateTime Now, const TFileTimes& Times, int64_t LocalBias) {
    return std::min({FileTimeAgeSeconds(Now, Times.Creation, LocalBias),
                     FileTimeAgeSeconds(Now, Times.LastAccess, LocalBias),
                     FileTimeAgeSeconds(Now, Times.LastWrite, LocalBias)});
}

bool IsScreenLogonType(unsigned long LogonType) {
    return LogonType == Interactive || LogonType == RemoteInteractive || LogonType == CachedInteractive ||
           LogonType == CachedRemoteInteractive;
}

int64_t SessionSeconds(int64_t UptimeSeconds, const FILETIME* LogonUtc, TDateTime Now, int64_t LocalBias) {
    if (LogonUtc == nullptr) return UptimeSeconds;
    const int64_t sinceLogon = LocalTicks(Now) - (FileTicks(*LogonUtc) + LocalBias);
    // A logon after now: the clock was set back since, and says nothing.
    if (sinceLogon < 0) return UptimeSeconds;
    return std::min(UptimeSeconds, sinceLogon / TicksPerSecond);
}

// --- The program's windows ---

namespace {
HWND GApplicationWindow = nullptr;
HWND GMainWindow = nullptr;

// Registry paths are written with a leading backslash; the API wants none.
std::wstring RelativeKeyPath(const std::wstring& keyPath) {
    size_t start = 0;
    while (start < keyPath.size() && keyPath[start] == L'\\') ++start;
    return keyPath.substr(start);
}
}  // namespace

void SetApplicationWindows(HWND applicationWindow, HWND mainWindow) {
    GApplicationWindow = applicationWindow;
    GMainWindow = mainWindow;
}

HWND ApplicationWindow() { return GApplicationWindow; }
HWND ApplicationMainWindow() { return GMainWindow; }

// --- Registry ---

void DeleteRegistryValues(HKEY rootKey, const std::wstring& keyPath) {
    TRegKey key;
    if (::RegOpenKeyExW(rootKey, RelativeKeyPath(keyPath).c_str(), 0, KEY_ALL_ACCESS, key.Receive()) != ERROR_SUCCESS)
        return;
    // Collect every name first: deleting while enumerating shifts the indices.
    std::vector<std::wstring> names;
    std::wstring name(16384, L'\0');
    for (DWORD index = 0;; ++index) {
        DWORD length = static_cast<DWORD>(name.size());
        LONG result = ::RegEnumValueW(key.Get(), index, name.data(), &length, nullptr, nullptr, nullptr, nullptr);
        if (result == ERROR_NO_MORE_ITEMS) break;
        if (result != ERROR_SUCCESS) continue;
        names.emplace_back(name.data(), length);
    }
    for (const auto& valueName : names) ::RegDeleteValueW(key.Get(), valueName.c_str());
}

bool RegistryKeyExists(HKEY rootKey, const std::wstring& keyPath) {
    // 32-bit products write below HKEY_LOCAL_MACHINE\Software into the 32-bit view
    // (Wow6432Node), which a 64-bit program does not see unless it asks.
    for (const REGSAM view : {KEY_WOW64_64KEY, KEY_WOW64_32KEY}) {
        TRegKey key;
        if (::RegOpenKeyExW(rootKey, RelativeKeyPath(keyPath).c_str(), 0, KEY_READ | view, key.Receive()) ==
            ERROR_SUCCESS)
            return true;
    }
    return false;
}

// --- Drives and folders ---

namespace {
void AppendBackslash(std::wstring& path) {
    if (path.empty() || path.back() != L'\\') path.push_back(L'\\');
}

// A folder the system named, in the spelling the walk reports (long names, stored
// letter case), with a trailing backslash; as given when it is not a full path.
std::wstring WalkSpelling(const std::wstring& folder) {
    std::wstring path = WalkFolderPath(folder);
    if (path.empty()) path = folder;
    AppendBackslash(path);
    return path;
}
}  // namespace

void GetFixedDrives(std::vector<std::wstring>& List) {
    List.clear();
    // The drives that are read unless they are another's folder.
    std::wstring candidates;
    const DWORD drives = ::GetLogicalDrives();
    for (int bit = 0; bit < 26; ++bit) {
        if ((drives & (1u << bit)) == 0) continue;
        const wchar_t letter = static_cast<wchar_t>(L'A' + bit);
        std::wstring root{letter, L':', L'\\'};
        if (::GetDriveTypeW(root.c_str()) != DRIVE_FIXED) continue;
        const DWORD attributes = ::GetFileAttributesW(root.c_str());
        if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) continue;
        // Wine's default Z: is the whole Linux system.
        if (DriveReachesUnixRoot(root)) continue;
        candidates.push_back(letter);
    }
    std::vector<TDriveRootFacts> facts;
    for (wchar_t letter : candidates) facts.push_back(ReadDriveRootFacts(letter));
    wchar_t windows[MAX_PATH + 1] = {};
    const wchar_t systemLetter = ::GetWindowsDirectoryW(windows, MAX_PATH + 1) >= 2 && windows[1] == L':' ? windows[0] : 0;
    for (wchar_t letter : DrivesToRead(facts, systemLetter)) List.push_back(std::wstring{letter, L':', L'\\'});
}

namespace {

std::wstring FirstDosDeviceTarget(wchar_t letter) {
    const wchar_t device[] = {letter, L':', 0};
    std::vector<wchar_t> targets(4096);
    const DWORD length = ::QueryDosDeviceW(device, targets.data(), static_cast<DWORD>(targets.size()));
    return length == 0 ? L"" : std::wstring(targets.data());
}

std::wstring DosFinalPath(HANDLE handle) {
    std::vector<wchar_t> buffer(MAX_PATH + 1);
    DWORD length = ::GetFinalPathNameByHandleW(handle, buffer.data(), static_cast<DWORD>(buffer.size()),
                                               FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    if (length >= buffer.size()) {
        buffer.resize(length + 1);
        length = ::GetFinalPathNameByHandleW(handle, buffer.data(), static_cast<DWORD>(buffer.size()),
                                             FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    }
    if (length == 0 || length >= buffer.size()) return L"";
    std::wstring path(buffer.data(), length);
    if (path.starts_with(L"\\\\?\\UNC\\")) return L"\\" + path.substr(7);
    if (path.starts_with(L"\\\\?\\")) return path.substr(4);
    return path;
}

// The IDs of the "." and ".." entries of the directory's own listing. The
// listing is read to its end: NTFS sorts names such as "$Recycle.Bin" before "..".
void ReadDotEntryIds(HANDLE directory, TDriveRootFacts& facts) {
    std::vector<uint64_t> buffer(64 * 1024 / sizeof(uint64_t));  // the entries need 8-byte alignment
    FILE_INFO_BY_HANDLE_CLASS infoClass = FileIdBothDirectoryRestartInfo;
    while (::GetFileInformationByHandleEx(directory, infoClass, buffer.data(),
                                          static_cast<DWORD>(buffer.size() * sizeof(uint64_t)))) {
        infoClass = FileIdBothDirectoryInfo;
        const auto* bytes = reinterpret_cast<const unsigned char*>(buffer.data());
        for (;;) {
            const auto* entry = reinterpret_cast<const FILE_ID_BOTH_DIR_INFO*>(bytes);
            const std::wstring_view name(entry->FileName, entry->FileNameLength / sizeof(wchar_t));
            const auto id = static_cast<uint64_t>(entry->FileId.QuadPart);
            if (name == L".") facts.RootId = id;
            if (name == L"..") facts.ParentId = id;
            if (entry->NextEntryOffset == 0) break;
            bytes += entry->NextEntryOffset;
        }
    }
}

}  // namespace

TDriveRootFacts ReadDriveRootFacts(wchar_t Letter) {
    TDriveRootFacts facts;
    facts.Letter = Letter;
    facts.DosDevice = FirstDosDeviceTarget(Letter);
    const std::wstring root{Letter, L':', L'\\'};
    THandle directory(::CreateFileW(root.c_str(), FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                    EntryOpenFlags, nullptr));
    if (!directory.Valid()) return facts;
    facts.FinalPath = DosFinalPath(directory.Get());
    ReadDotEntryIds(directory.Get(), facts);
    if (RunningUnderWine()) {
        facts.UnderWine = true;
        facts.EnclosingDrives = WineEnclosingDrives(root);
    }
    return facts;
}

std::wstring GetTempDirectory() {
    wchar_t buffer[MAX_PATH + 1] = {};
    DWORD length = ::GetTempPathW(MAX_PATH + 1, buffer);
    return WalkSpelling(std::wstring(buffer, length <= MAX_PATH ? length : 0));
}

std::wstring GetWindowsDir() {
    wchar_t buffer[MAX_PATH + 1] = {};
    UINT length = ::GetWindowsDirectoryW(buffer, MAX_PATH + 1);
    if (length == 0 || length > MAX_PATH) RaiseLastOSError();
    return WalkSpelling(std::wstring(buffer, length));
}

std::wstring GetSpecialFolder(int CSIDL) {
    PIDLIST_ABSOLUTE idList = nullptr;
    if (FAILED(::SHGetSpecialFolderLocation(nullptr, CSIDL, &idList))) return L"";
    wchar_t buffer[MAX_PATH + 1] = {};
    std::wstring path;
    if (::SHGetPathFromIDListW(idList, buffer)) path = WalkSpelling(buffer);
    ::CoTaskMemFree(idList);
    return path;
}

std::wstring GetSpecialFolderMask(int CSIDL) {
    std::wstring mask = GetSpecialFolder(CSIDL);
    AppendBackslash(mask);
    return mask + L"*";
}

// --- Message pump ---

namespace {
TProcessMessagesFunction GProcessMessages = nullptr;
}

void SetProcessMessagesHandler(TProcessMessagesFunction handler) { GProcessMessages = handler; }

void ProcessPendingMessages() {
    if (GProcessMessages) GProcessMessages();
}
