#include "engine/DriveAliases.h"

namespace {

wchar_t UpperAscii(wchar_t c) { return c >= L'a' && c <= L'z' ? static_cast<wchar_t>(c - (L'a' - L'A')) : c; }

bool IsLetter(wchar_t c) { return UpperAscii(c) >= L'A' && UpperAscii(c) <= L'Z'; }

// "X:" at Offset of Text.
bool DriveAt(const std::wstring& text, size_t offset) {
    return text.size() >= offset + 2 && IsLetter(text[offset]) && text[offset + 1] == L':';
}

}  // namespace

bool SameLetter(wchar_t a, wchar_t b) { return UpperAscii(a) == UpperAscii(b); }

bool IsFolderAlias(const TDriveRootFacts& Drive, std::wstring_view WalkedLetters) {
    const std::wstring& device = Drive.DosDevice;
    if (device.starts_with(L"\\??\\") && (DriveAt(device, 4) || device.starts_with(L"\\??\\UNC\\"))) return true;
    if (DriveAt(Drive.FinalPath, 0) && UpperAscii(Drive.FinalPath[0]) != UpperAscii(Drive.Letter)) return true;
    if (Drive.UnderWine) {
        for (wchar_t outer : Drive.EnclosingDrives) {
            if (SameLetter(outer, Drive.Letter)) continue;
            for (wchar_t walked : WalkedLetters)
                if (SameLetter(walked, outer)) return true;
        }
        return false;
    }
    return Drive.ParentId && *Drive.ParentId != 0 && *Drive.ParentId != Drive.RootId;
}

std::wstring DrivesToRead(const std::vector<TDriveRootFacts>& Candidates, wchar_t SystemLetter) {
    std::wstring holdingSystem;
    for (const TDriveRootFacts& drive : Candidates)
        if (SameLetter(drive.Letter, SystemLetter)) holdingSystem = drive.EnclosingDrives;
    std::wstring walked;
    for (const TDriveRootFacts& drive : Candidates) {
        bool holds = false;
        for (wchar_t outer : holdingSystem) holds = holds || SameLetter(outer, drive.Letter);
        if (!holds || SameLetter(drive.Letter, SystemLetter)) walked.push_back(drive.Letter);
    }
    std::wstring read;
    for (const TDriveRootFacts& drive : Candidates) {
        if (walked.find(drive.Letter) == std::wstring::npos) continue;
        if (SameLetter(drive.Letter, SystemLetter) || !IsFolderAlias(drive, walked)) read.push_back(drive.Letter);
    }
    return read;
}
