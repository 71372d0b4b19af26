#include "engine/FolderPaths.h"

#include "engine/SystemRoutines.h"
#include "platform/LongPath.h"

#include <windows.h>

#include <algorithm>

namespace {

bool IsDriveLetter(wchar_t c) { return (c >= L'A' && c <= L'Z') || (c >= L'a' && c <= L'z'); }

// Length of the root of a fully qualified path: 3 for "C:\", the length of
// "\\server\share\" (backslash counted even when the text ends before it).
size_t RootLength(const std::wstring& path) {
    if (path.size() >= 3 && IsDriveLetter(path[0]) && path[1] == L':' && path[2] == L'\\') return 3;
    if (!path.starts_with(L"\\\\") || path.size() < 3 || path[2] == L'\\') return 0;
    const size_t server = path.find(L'\\', 2);
    if (server == std::wstring::npos || server == 2 || server + 1 >= path.size()) return 0;
    const size_t share = path.find(L'\\', server + 1);
    return share == std::wstring::npos ? path.size() + 1 : share + 1;
}

// Trailing backslashes dropped, except the one that ends a root.
std::wstring TrimmedFolder(std::wstring path) {
    const size_t root = RootLength(path);
    while (path.size() > root && path.back() == L'\\') path.pop_back();
    if (path.size() + 1 == root) path.push_back(L'\\');
    return path;
}

std::wstring FullPathName(const std::wstring& path) {
    const DWORD needed = ::GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
    if (needed == 0) return {};
    std::wstring full(needed, L'\0');
    const DWORD length = ::GetFullPathNameW(path.c_str(), needed, full.data(), nullptr);
    if (length == 0 || length >= needed) return {};
    full.resize(length);
    return full;
}

std::wstring LongPathName(const std::wstring& full) {
    const std::wstring name = ExtendedLengthPath(full);
    const DWORD needed = ::GetLongPathNameW(name.c_str(), nullptr, 0);
    if (needed == 0) return {};
    std::wstring result(needed, L'\0');
    const DWORD length = ::GetLongPathNameW(name.c_str(), result.data(), needed);
    if (length == 0 || length >= needed) return {};
    result.resize(length);
    return result;
}

// A share may be slow to answer or gone, and the walk reads only fixed drives, so
// folders on shares are taken as written.
bool IsSharePath(const std::wstring& path) { return path.starts_with(L"\\\\"); }

// The link-free form of a folder already in its long form.
std::wstring LinkFreeOfLong(const std::wstring& longPath) {
    if (longPath.empty() || IsSharePath(longPath)) return {};
    return FullFolderPath(ResolvedEntryPath(longPath));
}

}  // namespace

std::wstring CleanPathText(const std::wstring& Path) {
    std::wstring text = Path;
    std::replace(text.begin(), text.end(), L'/', L'\\');
    if (text.starts_with(L"\\\\?\\UNC\\"))
        text = L"\\\\" + text.substr(8);
    else if ((text.starts_with(L"\\\\?\\") || text.starts_with(L"\\\\.\\")) && text.size() >= 6 && text[5] == L':')
        text = text.substr(4);

    std::wstring clean;
    clean.reserve(text.size());
    size_t i = 0;
    if (text.starts_with(L"\\\\")) {
        clean = L"\\\\";
        while (i < text.size() && text[i] == L'\\') ++i;
    }
    for (; i < text.size(); ++i) {
        if (text[i] == L'\\' && !clean.empty() && clean.back() == L'\\' && clean != L"\\\\") continue;
        clean.push_back(text[i]);
    }
    return clean;
}

bool IsFullyQualifiedPath(const std::wstring& Path) { return RootLength(Path) != 0; }

bool IsRootPath(const std::wstring& Path) {
    const size_t root = RootLength(Path);
    return root != 0 && (Path.size() == root || Path.size() + 1 == root);
}

std::wstring FullFolderPath(const std::wstring& Path) {
    const std::wstring clean = CleanPathText(Path);
    if (!IsFullyQualifiedPath(clean)) return {};
    const std::wstring full = CleanPathText(FullPathName(clean));
    return IsFullyQualifiedPath(full) ? TrimmedFolder(full) : std::wstring();
}

std::wstring LongFolderPath(const std::wstring& Path) {
    const std::wstring full = FullFolderPath(Path);
    if (full.empty() || IsSharePath(full)) return full;
    const std::wstring longPath = FullFolderPath(LongPathName(full));
    return longPath.empty() ? full : longPath;
}

std::wstring LinkFreeFolderPath(const std::wstring& Path) { return LinkFreeOfLong(LongFolderPath(Path)); }

std::wstring WalkFolderPath(const std::wstring& Path) {
    const std::wstring longPath = LongFolderPath(Path);
    const std::wstring linkFree = LinkFreeOfLong(longPath);
    return !linkFree.empty() && SamePathText(linkFree, longPath) ? linkFree : longPath;
}

std::vector<std::wstring> FolderSpellings(const std::wstring& Path) { return TFolderSpeller().Spellings(Path); }

bool TFolderSpeller::Exists(const std::wstring& full) {
    // Its folders first, from the top: one that is gone answers for everything below it.
    const size_t root = RootLength(full);
    for (size_t slash = full.find(L'\\', root); slash != std::wstring::npos; slash = full.find(L'\\', slash + 1)) {
        const std::wstring folder = full.substr(0, slash);
        std::wstring key = folder;
        ::CharUpperBuffW(key.data(), static_cast<DWORD>(key.size()));
        auto found = FFolderExists.find(key);
        if (found == FFolderExists.end())
            found = FFolderExists.emplace(key, ::GetFileAttributesW(ExtendedLengthPath(folder).c_str()) != INVALID_FILE_ATTRIBUTES).first;
        if (!found->second) return false;
    }
    return ::GetFileAttributesW(ExtendedLengthPath(full).c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::vector<std::wstring> TFolderSpeller::Spellings(const std::wstring& Path) {
    std::vector<std::wstring> spellings;
    // A folder that is not there has no other spelling (its short names and
    // links cannot be read) and no walk meets it: a look at it (and at its
    // folders, once for all the paths below them) where the long and
    // link-free forms cost several opens; a list of 100,000 excluded folders,
    // most long gone, took a minute.
    const std::wstring full = FullFolderPath(Path);
    if (full.empty()) return spellings;
    if (!IsSharePath(full) && !Exists(full)) {
        spellings.push_back(full);
        return spellings;
    }
    const std::wstring longPath = LongFolderPath(Path);
    if (longPath.empty()) return spellings;
    spellings.push_back(longPath);
    const std::wstring linkFree = LinkFreeOfLong(longPath);
    if (!linkFree.empty() && linkFree != longPath) spellings.push_back(linkFree);
    return spellings;
}

bool SamePathText(const std::wstring& A, const std::wstring& B) {
    return A.size() == B.size() && ::CompareStringOrdinal(A.c_str(), static_cast<int>(A.size()), B.c_str(),
                                                          static_cast<int>(B.size()), TRUE) == CSTR_EQUAL;
}

bool FolderIsOrContains(const std::wstring& Folder, const std::wstring& Inner) {
    if (Folder.empty() || Inner.empty()) return false;
    const std::wstring outer = WithTrailingBackslash(Folder);
    const std::wstring inner = WithTrailingBackslash(Inner);
    return inner.size() >= outer.size() && SamePathText(inner.substr(0, outer.size()), outer);
}

std::wstring WithTrailingBackslash(std::wstring Path) {
    if (Path.empty() || Path.back() != L'\\') Path.push_back(L'\\');
    return Path;
}
