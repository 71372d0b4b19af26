#include "engine/DriveAliases.h"

namespace {

wchar_t UpperAscii(wchar_t c) { return c >= L'a' && c <= L'z' ? static_cast<wchar_t>(c - (L'a' - L'A')) : c; }

bool IsLetter(wchar_t c) { return UpperAscii(c) >= L'A' && UpperAscii(c) <= L'Z'; }

// "X:" at Offset of Text.
bool DriveAt(const std::wstring& text, size_t offset) {
    return text.size() >= offset + 2 && IsLetter(text[offset]) && text[offset + 1] == L':';
}

}  // namespace

bool IsFolderAlias(const TDriveRootFacts& Drive) {
    const std::wstring& device = Drive.DosDevice;
    if (device.starts_with(L"\\??\\") && (DriveAt(device, 4) || device.starts_with(L"\\??\\UNC\\"))) return true;
    if (DriveAt(Drive.FinalPath, 0) && UpperAscii(Drive.FinalPath[0]) != UpperAscii(Drive.Letter)) return true;
    return Drive.ParentId && *Drive.ParentId != 0 && *Drive.ParentId != Drive.RootId;
}
