// Fixed drives that are only another name for a folder: a `subst` drive, a
// drive defined as a path, or (under Wine) a drive whose folder lies inside
// another drive's tree. Walking one reads that folder a second time under a
// name that excluded folders and drive-root masks do not expect, so the
// reading pass leaves such drives out. Pure: the facts come from
// ReadDriveRootFacts (engine/SystemRoutines.h).
#pragma once

#include <cstdint>
#include <optional>
#include <string>

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
};

// True when the drive is another name for a folder rather than a volume:
// - its device is a path on a drive or share ("\??\D:\shared", "\??\UNC\..."), as
//   `subst` and DefineDosDevice make it;
// - its root's final path lies on another letter, as Windows reports for such drives;
// - its root lists a parent folder: a volume's root has none, or names itself
//   (NTFS). Wine lists one for a drive linked to a folder inside another tree,
//   and an ID of 0 for a parent on another device (a mount point, which is a volume).
bool IsFolderAlias(const TDriveRootFacts& Drive);
