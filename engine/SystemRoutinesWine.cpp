// What the program must know when it runs under Wine on Linux rather than on
// Windows. Wine is the test bed and a place users run the program too, and a
// few of its answers differ in ways that would cost a Linux user their files.
#include "engine/SystemRoutines.h"

#include <windows.h>

namespace {

// -1: ask the system; 0 or 1: the answer a test set.
int GWineAnswerForTesting = -1;
// Empty: the Linux root itself. A test names a sandbox folder instead, so the
// drive filter is exercised without any drive that reaches "/".
std::string GUnixRootForTesting;

std::string WithoutTrailingSlashes(std::string path) {
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    return path;
}

bool DetectWine() {
    const HMODULE ntdll = ::GetModuleHandleW(L"ntdll.dll");
    return ntdll != nullptr && ::GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

}  // namespace

bool RunningUnderWine() {
    if (GWineAnswerForTesting >= 0) return GWineAnswerForTesting == 1;
    static const bool underWine = DetectWine();
    return underWine;
}

void SetRunningUnderWineForTesting(int Answer) { GWineAnswerForTesting = Answer < 0 ? -1 : (Answer ? 1 : 0); }

std::string WineUnixFileName(const std::wstring& Path) {
    if (!DetectWine()) return {};
    using TWineGetUnixFileName = char*(CDECL*)(const wchar_t*);
    const FARPROC proc = ::GetProcAddress(::GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name");
    if (proc == nullptr) return {};
    char* name = reinterpret_cast<TWineGetUnixFileName>(reinterpret_cast<void*>(proc))(Path.c_str());
    if (name == nullptr) return {};
    std::string result(name);
    ::HeapFree(::GetProcessHeap(), 0, name);
    return result;
}

namespace {

// The DOS path Wine gives for a Unix path: "D:\\..." when a drive's folder
// holds it, "\\\\?\\unix\\..." otherwise; empty on Windows or on failure.
std::wstring WineDosFileName(const std::string& UnixPath) {
    using TWineGetDosFileName = wchar_t*(CDECL*)(const char*);
    const FARPROC proc = ::GetProcAddress(::GetModuleHandleW(L"kernel32.dll"), "wine_get_dos_file_name");
    if (proc == nullptr) return {};
    wchar_t* name = reinterpret_cast<TWineGetDosFileName>(reinterpret_cast<void*>(proc))(UnixPath.c_str());
    if (name == nullptr) return {};
    std::wstring result(name);
    ::HeapFree(::GetProcessHeap(), 0, name);
    return result;
}

// Folders above a drive's that are looked at. A drive nested deeper inside
// another is read twice, which costs time but loses nothing.
constexpr int EnclosingLevels = 64;

}  // namespace

// A Windows program cannot resolve a Unix path itself. Wine can: for a Unix
// path it names the drive whose folder has the same device and inode as the
// path, links followed by the system, or as the deepest folder on its way.
// "<drive's Unix path>/.." leads, links resolved, to the folder that really
// holds the drive's folder, and Wine names a drive for it ("D:\\", nothing
// after) exactly when that folder is a drive's own; one more "/.." for each
// level further up. Where no drive's folder is that folder, Wine answers with
// a longer name (a folder on a drive's way, "\\\\?\\unix\\..."), never a bare root.
std::wstring WineEnclosingDrives(const std::wstring& Path) {
    std::string location = WineUnixFileName(Path);
    while (location.size() > 1 && location.back() == '/') location.pop_back();
    std::wstring drives;
    if (location.empty() || location[0] != '/') return drives;
    for (int level = 0; level < EnclosingLevels; ++level) {
        location += "/..";
        const std::wstring name = WineDosFileName(location);
        if (name.size() != 3 || name[1] != L':' || name[2] != L'\\') continue;
        const wchar_t letter = name[0] >= L'a' && name[0] <= L'z' ? static_cast<wchar_t>(name[0] - 32) : name[0];
        if (drives.find(letter) == std::wstring::npos) drives.push_back(letter);
    }
    return drives;
}

bool IsUnixRootLocation(const std::string& UnixPath) {
    if (UnixPath.empty() || UnixPath[0] != '/') return false;
    // "/", "//", "/./", "/.": every spelling of the root; anything with a name in it is not.
    for (char c : UnixPath)
        if (c != '/' && c != '.') return false;
    return UnixPath.find("..") == std::string::npos;
}

bool DriveReachesUnixRoot(const std::wstring& Root) {
    if (!RunningUnderWine()) return false;
    const std::string location = WineUnixFileName(Root);
    if (!GUnixRootForTesting.empty())
        return !location.empty() && WithoutTrailingSlashes(location) == WithoutTrailingSlashes(GUnixRootForTesting);
    return IsUnixRootLocation(location);
}

void SetUnixRootForTesting(const std::string& UnixPath) { GUnixRootForTesting = UnixPath; }

bool IsForeignEntryName(std::wstring_view Name) {
    return Name.find_first_of(L"\\/\uFFFD") != std::wstring_view::npos;
}
