#include "catalogue/FolderMasks.h"

#include "engine/SystemRoutines.h"
#include "engine/TemporaryFolders.h"

#include <windows.h>

std::wstring EscapeMaskBrackets(const std::wstring& Text) {
    std::wstring escaped;
    escaped.reserve(Text.size());
    for (const wchar_t c : Text) {
        if (c == L'[')
            escaped += L"[[]";
        else
            escaped += c;
    }
    return escaped;
}

std::wstring FolderMaskPrefix(const std::wstring& Folder) {
    std::wstring prefix = EscapeMaskBrackets(Folder);
    if (prefix.empty() || prefix.back() != L'\\') prefix.push_back(L'\\');
    return prefix;
}

std::wstring FolderContentMask(const std::wstring& Folder) { return FolderMaskPrefix(Folder) + L"*"; }

std::vector<std::wstring> TemporaryFolderMasks(const std::vector<std::wstring>& Folders) {
    std::vector<std::wstring> masks;
    for (const auto& folder : Folders) {
        const std::wstring accepted = TemporaryFolderToEmpty(folder);
        if (!accepted.empty()) masks.push_back(FolderContentMask(accepted));
    }
    return masks;
}

std::wstring EscapedSpecialFolderMask(int CSIDL) { return EscapeMaskBrackets(GetSpecialFolderMask(CSIDL)); }

bool FolderExists(const std::wstring& Folder) {
    if (Folder.empty()) return false;
    const DWORD attributes = ::GetFileAttributesW(Folder.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}
