// Paths longer than MAX_PATH need the extended-length form for the file API.
#pragma once

#include <string>

// Path in the "\\?\" form when it is too long for the plain API; otherwise unchanged.
// Only absolute drive ("C:\...") and UNC ("\\server\share\...") paths are rewritten.
inline std::wstring ExtendedLengthPath(const std::wstring& path) {
    constexpr size_t PlainLimit = 259;  // MAX_PATH less the terminating zero
    if (path.size() <= PlainLimit || path.rfind(L"\\\\?\\", 0) == 0) return path;
    if (path.size() >= 3 && path[1] == L':' && path[2] == L'\\') return L"\\\\?\\" + path;
    if (path.rfind(L"\\\\", 0) == 0) return L"\\\\?\\UNC\\" + path.substr(2);
    return path;
}

inline bool NeedsExtendedLength(const std::wstring& path) { return ExtendedLengthPath(path) != path; }
