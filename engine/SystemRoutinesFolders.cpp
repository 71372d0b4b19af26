// The network-neighbourhood folder.
#include "engine/SystemRoutines.h"

#include <windows.h>

namespace {

constexpr int CSIDL_NetHood = 19;
// C:\NetHood and \\server\share\NetHood are too close to a root to be emptied.
constexpr int MinimumNetHoodDepth = 3;

}  // namespace

int PathDepth(const std::wstring& path) {
    const bool unc = path.size() >= 2 && path[0] == L'\\' && path[1] == L'\\';
    bool serverSkipped = !unc;
    int depth = 0;
    size_t start = 0;
    while (start <= path.size()) {
        size_t end = path.find(L'\\', start);
        if (end == std::wstring::npos) end = path.size();
        const std::wstring part = path.substr(start, end - start);
        if (!part.empty() && part.find(L':') == std::wstring::npos) {
            if (serverSkipped)
                ++depth;
            else
                serverSkipped = true;
        }
        start = end + 1;
    }
    return depth;
}

void ClearNetHoodFolder() {
    const std::wstring path = GetSpecialFolder(CSIDL_NetHood);
    if (path.empty()) return;
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) return;
    if (PathDepth(path) < MinimumNetHoodDepth) return;
    DeleteDirectoryTree(path);
    CreateDirectoryTree(path);
}
