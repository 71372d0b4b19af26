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
