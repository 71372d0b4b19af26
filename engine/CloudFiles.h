// Entries whose content lives somewhere else: cloud-files placeholders
// (OneDrive, SharePoint/Teams and any other sync root) and files a storage
// manager has moved away (HSM, Azure File Sync tiering). Deleting one deletes
// it in the cloud and on every other device, and frees nothing here, so the
// reading pass never finds one and the deletion primitive never deletes one.
// Pure: the reader decides from WIN32_FIND_DATAW (attributes, dwReserved0),
// the primitive from FILE_ATTRIBUTE_TAG_INFO; both give the same two values.
#pragma once

#include <cstdint>

// The system's values, spelled out: mingw's headers lack the recall attributes.
inline constexpr uint32_t CloudReparseTag = 0x9000001A;          // IO_REPARSE_TAG_CLOUD
inline constexpr uint32_t CloudReparseTagVariants = 0x0000F000;  // IO_REPARSE_TAG_CLOUD_1 .. _F
inline constexpr uint32_t AttributeReparsePoint = 0x00000400;    // FILE_ATTRIBUTE_REPARSE_POINT
inline constexpr uint32_t AttributeOffline = 0x00001000;         // FILE_ATTRIBUTE_OFFLINE
inline constexpr uint32_t AttributeRecallOnOpen = 0x00040000;    // FILE_ATTRIBUTE_RECALL_ON_OPEN
inline constexpr uint32_t AttributeRecallOnDataAccess = 0x00400000;  // FILE_ATTRIBUTE_RECALL_ON_DATA_ACCESS
// "Always keep on this device" and "free up space": only files a sync engine
// keeps somewhere else carry either, hydrated or not.
inline constexpr uint32_t AttributePinned = 0x00080000;    // FILE_ATTRIBUTE_PINNED
inline constexpr uint32_t AttributeUnpinned = 0x00100000;  // FILE_ATTRIBUTE_UNPINNED
// The placeholders before the cloud tag: Windows 8.1's OneDrive and Azure File Sync.
inline constexpr uint32_t FilePlaceholderReparseTag = 0x80000015;  // IO_REPARSE_TAG_FILE_PLACEHOLDER
inline constexpr uint32_t StorageSyncReparseTag = 0x8000001E;      // IO_REPARSE_TAG_STORAGE_SYNC

// IO_REPARSE_TAG_CLOUD or one of its sixteen variants, or one of the older
// placeholder tags.
inline bool IsCloudReparseTag(uint32_t Tag) {
    return (Tag & ~CloudReparseTagVariants) == CloudReparseTag || Tag == FilePlaceholderReparseTag ||
           Tag == StorageSyncReparseTag;
}

// True for an entry that is never found nor deleted, nor, for a folder,
// entered: one with a cloud reparse tag, one whose data is fetched on access
// (recall on open or on data access, offline), or one a sync engine pins or
// unpins (its copy lives in the cloud even while hydrated). The tag counts only
// when the attributes say reparse point: elsewhere the field means nothing.
inline bool IsContentElsewhere(uint32_t Attributes, uint32_t ReparseTag) {
    if (Attributes & (AttributeOffline | AttributeRecallOnOpen | AttributeRecallOnDataAccess | AttributePinned |
                      AttributeUnpinned))
        return true;
    return (Attributes & AttributeReparsePoint) != 0 && IsCloudReparseTag(ReparseTag);
}
