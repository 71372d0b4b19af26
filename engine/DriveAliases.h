// Fixed drives that are only another name for a folder: a `subst` drive, a
// drive defined as a path, or (under Wine) a drive whose Unix folder is, or
// lies inside, another drive's Unix folder. Walking one reads that folder a second time under a
// name that excluded folders and drive-root masks do not expect, so the
// reading pass leaves such drives out. Pure: the facts come from
// ReadDriveRootFacts (engine/SystemRoutines.h).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

struct TDriveRootFacts {
    wchar_t Letter = 0;  // 'C'
    // The first target QueryDosDeviceW gives for "C:": a device for a volume
    // ("\Device\HarddiskVolume2"), a path for a drive defined as one ("\??\D:\shared").
    std::wstring DosDevice;
    // The root's final path in DOS form without "\\?\" ("D:\shared"); empty when unknown.
    std::wstring FinalPath;
    // File IDs from the root's own listing: its "." entry, and its ".." entry
    // when it lists one (0 where the system cannot tell).
    uint64_t RootId = 0;
    std::optional<uint64_t> ParentId;
    // Under Wine: the drives whose Unix folder holds this root's Unix folder,
    // links resolved, nearest first ("D" for F: -> ~/Downloads/inner when D: ->
    // ~/Downloads). Read only under Wine.
    bool UnderWine = false;
    std::wstring EnclosingDrives;
};

// True when the drive is another name for a folder rather than a volume:
// - its device is a path on a drive or share ("\??\D:\shared", "\??\UNC\..."), as
//   `subst` and DefineDosDevice make it;
// - its root's final path lies on another letter, as Windows reports for such
//   drives, and as Wine does for a drive whose folder is an earlier drive's;
// - on Windows: its root lists a parent folder: a volume's root has none, or
//   names itself (NTFS);
// - under Wine: its Unix folder lies inside the folder of a drive that is read,
//   one of WalkedLetters ("CDE"). Wine lists a parent folder in the root of any
//   drive linked outside the prefix, so the parent folder tells nothing there;
//   the outer drive is read, and the inner one's files with it, once.
bool IsFolderAlias(const TDriveRootFacts& Drive, std::wstring_view WalkedLetters = {});

// The letters of the drives a reading pass reads, in the order given, from
// the fixed drives that may be read (Candidates: folders, not the Linux root).
// Leaves out the drives that are another's folder (IsFolderAlias), and, under
// Wine, any drive whose folder holds the folder of the drive with the Windows
// folder (a drive linked to the Linux user's home holds the prefix): it would
// read the Windows folder under a name no protected folder is spelled with.
// The drive with the Windows folder (SystemLetter) is always read.
std::wstring DrivesToRead(const std::vector<TDriveRootFacts>& Candidates, wchar_t SystemLetter);
