#include "engine/SystemRoutines.h"

#include "engine/Exceptions.h"
#include "engine/FolderPaths.h"
#include "platform/ErrorBox.h"
#include "platform/Handles.h"
#include "platform/LongPath.h"
#include "platform/Registry.h"

#include <windows.h>
#include <shlobj.h>

#include <climits>
#include <vector>

namespace {

TDateTime SystemNow() {
    SYSTEMTIME st;
    ::GetLocalTime(&st);
    return EncodeDateTime(st.wYear, st.wMonth, st.wDay, st.wHour, st.wMinute, st.wSecond, st.wMilliseconds);
}

uint64_t SystemTicks() { return ::GetTickCount64(); }

TNowFunction GNow = SystemNow;
TTickFunction GTicks = SystemTicks;

}  // namespace

void SetClockForTesting(TNowFunction now, TTickFunction ticks) {
    GNow = now ? now : SystemNow;
    GTicks = ticks ? ticks : SystemTicks;
}

TDateTime Now() { return GNow(); }

int32_t GetUptimeSeconds() {
    const uint64_t seconds = GTicks() / 1000;
    return seconds > INT32_MAX ? INT32_MAX : static_cast<int32_t>(seconds);
}

TDateTime LocalDosTimeFromFileTime(const FILETIME& utc) {
    FILETIME local;
    WORD dosDate = 0, dosTime = 0;
    ::FileTimeToLocalFileTime(&utc, &local);
    if (!::FileTimeToDosDateTime(&local, &dosDate, &dosTime)) {
        // Outside the MS-DOS range (before 1980 or after 2107): keep the time,
        // at the same two-second resolution.
        SYSTEMTIME st;
        if (!::FileTimeToSystemTime(&local, &st)) return EncodeDateTime(1980, 1, 1, 0, 0, 0, 0);
        return EncodeDateTime(st.wYear, st.wMonth, st.wDay, st.wHour, st.wMinute, st.wSecond & ~1, 0);
    }
    return EncodeDateTime(1980 + (dosDate >> 9), (dosDate >> 5) & 0x0F, dosDate & 0x1F, dosTime >> 11,
                          (dosTime >> 5) & 0x3F, (dosTime & 0x1F) * 2, 0);
}

TDateTime GetFileLastAccessTime(const std::wstring& fileName) {
    WIN32_FIND_DATAW data;
    TFindHandle find(::FindFirstFileExW(ExtendedLengthPath(fileName).c_str(), FindExInfoBasic, &data,
                                        FindExSearchNameMatch, nullptr, 0));
    if (!find) throw Exception(L"无法读取上一次访问文件的时间。\r\n" + fileName);
    return LocalDosTimeFromFileTime(data.ftLastAccessTime);
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
    const DWORD drives = ::GetLogicalDrives();
    for (int bit = 0; bit < 26; ++bit) {
        if ((drives & (1u << bit)) == 0) continue;
        std::wstring root{static_cast<wchar_t>(L'A' + bit), L':', L'\\'};
        if (::GetDriveTypeW(root.c_str()) != DRIVE_FIXED) continue;
        const DWORD attributes = ::GetFileAttributesW(root.c_str());
        if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) continue;
        List.push_back(root);
    }
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
