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

// Path in the "\\?\" form whatever its length, so that the system takes every
// name as it is: "com3.old" is a file, not the serial port, and "dir." is not
// "dir". For paths a walk found. Only absolute drive and UNC paths already in
// their normal form (no "." or ".." parts, no empty parts, no slashes) are
// rewritten; anything else as ExtendedLengthPath.
inline std::wstring LiteralPath(const std::wstring& path) {
    if (path.rfind(L"\\\\?\\", 0) == 0 || path.rfind(L"\\\\.\\", 0) == 0) return path;
    size_t start;
    if (path.size() >= 3 && path[1] == L':' && path[2] == L'\\')
        start = 3;
    else if (path.rfind(L"\\\\", 0) == 0 && path.size() > 2)
        start = 2;
    else
        return ExtendedLengthPath(path);
    if (path.find(L'/') != std::wstring::npos) return ExtendedLengthPath(path);
    // Every part after the root: not empty, not "." nor ".." (a trailing backslash ends the loop).
    for (size_t begin = start; begin < path.size();) {
        size_t end = path.find(L'\\', begin);
        if (end == std::wstring::npos) end = path.size();
        const size_t length = end - begin;
        if (length == 0 || (length == 1 && path[begin] == L'.') || (length == 2 && path[begin] == L'.' && path[begin + 1] == L'.'))
            return ExtendedLengthPath(path);
        begin = end + 1;
    }
    if (start == 2) return L"\\\\?\\UNC\\" + path.substr(2);
    return L"\\\\?\\" + path;
}
