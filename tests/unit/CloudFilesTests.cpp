// Entries whose content lives elsewhere are never found nor deleted. Wine has
// no cloud files: the decisions are checked with the system's real values, and
// the reader and the deletion primitive with those values put in their way.
#include "engine/CloudFiles.h"
#include "engine/OrvDirectoryReader.h"
#include "engine/SystemRoutines.h"
#include "SandboxTestSupport.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

// The values as Microsoft's headers give them.
constexpr uint32_t TagCloud = 0x9000001A, TagCloud3 = 0x9000301A, TagCloudF = 0x9000F01A;
constexpr uint32_t TagSymlink = 0xA000000C, TagMountPoint = 0xA0000003, TagDedup = 0x80000013, TagWof = 0x80000017;
constexpr uint32_t Reparse = FILE_ATTRIBUTE_REPARSE_POINT;

WIN32_FIND_DATAW Entry(const wchar_t* name, DWORD attributes, DWORD tag = 0) {
    WIN32_FIND_DATAW data = {};
    data.dwFileAttributes = attributes;
    data.dwReserved0 = tag;
    wcscpy_s(data.cFileName, name);
    return data;
}

}  // namespace

TEST(CloudFiles, TheSystemsValuesAreTheOnesUsed) {
    EXPECT_EQ(CloudReparseTag, static_cast<uint32_t>(IO_REPARSE_TAG_CLOUD));
    EXPECT_EQ(CloudReparseTagVariants, static_cast<uint32_t>(IO_REPARSE_TAG_CLOUD_MASK));
    EXPECT_EQ(AttributeOffline, static_cast<uint32_t>(FILE_ATTRIBUTE_OFFLINE));
    EXPECT_EQ(AttributeReparsePoint, static_cast<uint32_t>(FILE_ATTRIBUTE_REPARSE_POINT));
}

TEST(CloudFiles, EveryCloudTagAndEveryRecallAttributeKeepsAnEntry) {
    for (uint32_t variant = 0; variant <= 0xF; ++variant) {
        const uint32_t tag = CloudReparseTag | (variant << 12);
        EXPECT_TRUE(IsCloudReparseTag(tag)) << std::hex << tag;
        EXPECT_TRUE(IsContentElsewhere(Reparse | FILE_ATTRIBUTE_ARCHIVE, tag)) << std::hex << tag;
        EXPECT_TRUE(IsContentElsewhere(Reparse | FILE_ATTRIBUTE_DIRECTORY, tag)) << std::hex << tag;
    }
    // Online-only files and tiered (HSM, Azure File Sync) files, with or without a tag.
    EXPECT_TRUE(IsContentElsewhere(0x00400000 | FILE_ATTRIBUTE_ARCHIVE, 0));  // RECALL_ON_DATA_ACCESS
    EXPECT_TRUE(IsContentElsewhere(0x00040000 | FILE_ATTRIBUTE_DIRECTORY, 0));  // RECALL_ON_OPEN
    EXPECT_TRUE(IsContentElsewhere(FILE_ATTRIBUTE_OFFLINE, 0));
    EXPECT_TRUE(IsContentElsewhere(Reparse | 0x00400000 | 0x00080000 /* pinned */, TagCloud3));
}

// Pinned ("always keep on this device") and unpinned files are hydrated or
// not, but their copy lives in the cloud either way; Windows 8.1's OneDrive
// placeholders and Azure File Sync's tiered files carry older tags.
TEST(CloudFiles, PinStatesAndTheOlderPlaceholderTagsKeepAnEntry) {
    EXPECT_TRUE(IsContentElsewhere(0x00080000 | FILE_ATTRIBUTE_ARCHIVE, 0));  // FILE_ATTRIBUTE_PINNED
    EXPECT_TRUE(IsContentElsewhere(0x00100000 | FILE_ATTRIBUTE_ARCHIVE, 0));  // FILE_ATTRIBUTE_UNPINNED
    EXPECT_TRUE(IsContentElsewhere(0x00080000 | FILE_ATTRIBUTE_DIRECTORY, 0));
    EXPECT_TRUE(IsContentElsewhere(Reparse | FILE_ATTRIBUTE_ARCHIVE, 0x80000015));  // IO_REPARSE_TAG_FILE_PLACEHOLDER
    EXPECT_TRUE(IsContentElsewhere(Reparse | FILE_ATTRIBUTE_DIRECTORY, 0x8000001E));  // IO_REPARSE_TAG_STORAGE_SYNC
    EXPECT_FALSE(IsContentElsewhere(FILE_ATTRIBUTE_ARCHIVE, 0x80000015));  // not a reparse point: no tag
    EXPECT_EQ(ClassifyDirEntry(Entry(L"kept.bak", 0x00080000 | FILE_ATTRIBUTE_ARCHIVE), true), TDirEntryKind::Skip);
    EXPECT_EQ(ClassifyDirEntry(Entry(L"SkyDrive", Reparse | FILE_ATTRIBUTE_DIRECTORY, 0x80000015), true),
              TDirEntryKind::Skip);
    // The deletion routines open entries without recalling their data.
    EXPECT_NE(EntryOpenFlags & FILE_FLAG_OPEN_NO_RECALL, 0u);
    EXPECT_NE(EntryOpenFlags & FILE_FLAG_BACKUP_SEMANTICS, 0u);
}

TEST(CloudFiles, OtherEntriesAreNotTakenForCloudFiles) {
    EXPECT_FALSE(IsContentElsewhere(FILE_ATTRIBUTE_ARCHIVE, 0));
    EXPECT_FALSE(IsContentElsewhere(FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM, 0));
    // Deduplicated, compressed (WOF) and link entries hold a tag of another family.
    for (uint32_t tag : {TagSymlink, TagMountPoint, TagDedup, TagWof, 0x9000001Bu, 0x8000001Au, 0x9001001Au, 0x80000016u,
                         0x8000001Fu})
        EXPECT_FALSE(IsContentElsewhere(Reparse, tag)) << std::hex << tag;
    // The field is the tag only for a reparse point.
    EXPECT_FALSE(IsContentElsewhere(FILE_ATTRIBUTE_ARCHIVE, TagCloud));
    EXPECT_FALSE(IsCloudReparseTag(TagCloudF + 1));
}

TEST(CloudFiles, TheReaderSkipsThemAndNeverEntersACloudFolder) {
    EXPECT_EQ(ClassifyDirEntry(Entry(L"report.docx.bak", FILE_ATTRIBUTE_ARCHIVE), true), TDirEntryKind::File);
    EXPECT_EQ(ClassifyDirEntry(Entry(L"report.docx.bak", Reparse | FILE_ATTRIBUTE_ARCHIVE, TagCloud), true),
              TDirEntryKind::Skip);
    EXPECT_EQ(ClassifyDirEntry(Entry(L"online.tmp", 0x00400000 | FILE_ATTRIBUTE_ARCHIVE), true), TDirEntryKind::Skip);
    EXPECT_EQ(ClassifyDirEntry(Entry(L"OneDrive", Reparse | FILE_ATTRIBUTE_DIRECTORY, TagCloudF), true),
              TDirEntryKind::Skip);
    EXPECT_EQ(ClassifyDirEntry(Entry(L"Archive", 0x00040000 | FILE_ATTRIBUTE_DIRECTORY), true), TDirEntryKind::Skip);
    EXPECT_EQ(ClassifyDirEntry(Entry(L"Dedup", Reparse | FILE_ATTRIBUTE_DIRECTORY, TagDedup), true),
              TDirEntryKind::Directory);
    EXPECT_EQ(ClassifyDirEntry(Entry(L"Junction", Reparse | FILE_ATTRIBUTE_DIRECTORY, TagMountPoint), true),
              TDirEntryKind::Skip);
    EXPECT_EQ(ClassifyDirEntry(Entry(L"Sub", FILE_ATTRIBUTE_DIRECTORY), false), TDirEntryKind::Skip);
    EXPECT_EQ(ClassifyDirEntry(Entry(L"..", FILE_ATTRIBUTE_DIRECTORY), true), TDirEntryKind::Skip);
}

// A Documents folder whose "OneDrive" folder is a sync root and whose
// "online.bak" is online-only, as Windows would list them.
class CloudWalkTest : public ::testing::Test {
protected:
    void SetUp() override {
        Root = Scratch.Path();
        for (const wchar_t* dir : {L"Docs", L"OneDrive", L"OneDrive\\Sub", L"Tiered"})
            ASSERT_TRUE(CreateDirectoryTree(Root + dir));
        for (const wchar_t* file : {L"Docs\\report.docx.bak", L"Docs\\online.bak", L"OneDrive\\report.docx.bak",
                                    L"OneDrive\\Sub\\old.bak", L"Tiered\\old.bak", L"Tiered\\kept.bak"})
            ASSERT_TRUE(WriteTestFile(Root + file, "x"));
        SetDirEntryHookForTesting([root = Root](const std::wstring& directory, WIN32_FIND_DATAW& data) {
            const std::wstring path = directory + data.cFileName;
            if (path == root + L"OneDrive") {
                data.dwFileAttributes |= FILE_ATTRIBUTE_REPARSE_POINT;
                data.dwReserved0 = 0x9000001A;
            }
            if (path == root + L"Docs\\online.bak") data.dwFileAttributes |= 0x00400000;
            if (path == root + L"Tiered\\old.bak") data.dwFileAttributes |= FILE_ATTRIBUTE_OFFLINE;
        });
        SetAttributeTagHookForTesting([root = Root](const std::wstring& path, uint32_t& attributes, uint32_t& tag) {
            if (path.starts_with(root + L"OneDrive")) {
                attributes |= FILE_ATTRIBUTE_REPARSE_POINT;
                tag = 0x9000601A;
            }
            if (path == root + L"Docs\\online.bak") attributes |= 0x00400000;
        });
    }
    void TearDown() override {
        SetDirEntryHookForTesting(nullptr);
        SetAttributeTagHookForTesting(nullptr);
    }

    TScratchFolder Scratch{L"cloud"};
    std::wstring Root;
};

TEST_F(CloudWalkTest, TheWalkNeitherFindsNorEntersThem) {
    TDirReader reader;
    std::vector<std::wstring> files, dirs;
    reader.OnFile = [&](TDirReader*, const std::wstring& name) { files.push_back(name.substr(Root.size())); };
    reader.OnDirectory = [&](TDirReader*, const std::wstring& name) { dirs.push_back(name.substr(Root.size())); };
    reader.FileMask = L".bak";
    reader.Recursive = true;
    reader.SetDirectory(Root);
    reader.Start();
    std::sort(files.begin(), files.end());
    std::sort(dirs.begin(), dirs.end());
    EXPECT_EQ(files, (std::vector<std::wstring>{L"Docs\\report.docx.bak", L"Tiered\\kept.bak"}));
    EXPECT_EQ(dirs, (std::vector<std::wstring>{L"", L"Docs\\", L"Tiered\\"}));
}

TEST_F(CloudWalkTest, ThePrimitiveDeletesNoneOfThem) {
    EXPECT_FALSE(DeleteFoundFile(Root + L"OneDrive\\report.docx.bak"));
    EXPECT_FALSE(DeleteFoundFile(Root + L"Docs\\online.bak"));
    EXPECT_FALSE(DeleteFoundFile(Root + L"OneDrive\\Sub\\old.bak"));
    EXPECT_TRUE(PathExists(Root + L"OneDrive\\report.docx.bak"));
    EXPECT_TRUE(PathExists(Root + L"Docs\\online.bak"));
    // An emptied cloud folder stays, and a tree routine passes over a placeholder.
    ASSERT_TRUE(CreateDirectoryTree(Root + L"OneDrive\\Empty"));
    EXPECT_FALSE(RemoveEmptiedFolder(Root + L"OneDrive\\Empty"));
    EXPECT_TRUE(PathExists(Root + L"OneDrive\\Empty"));
    EXPECT_FALSE(DeleteDirectoryTree(Root + L"Docs"));
    EXPECT_TRUE(PathExists(Root + L"Docs\\online.bak"));
    EXPECT_FALSE(PathExists(Root + L"Docs\\report.docx.bak"));
    // Everything else goes as before.
    EXPECT_TRUE(DeleteFoundFile(Root + L"Tiered\\kept.bak"));
}

// A pinned file, an unpinned one and an Azure File Sync one, as the handle
// would show them on Windows: the primitive leaves all three.
TEST_F(CloudWalkTest, ThePrimitiveLeavesPinnedAndOlderPlaceholders) {
    for (const wchar_t* file : {L"Docs\\pinned.bak", L"Docs\\unpinned.bak", L"Tiered\\synced.bak"})
        ASSERT_TRUE(WriteTestFile(Root + file, "x"));
    SetAttributeTagHookForTesting([root = Root](const std::wstring& path, uint32_t& attributes, uint32_t& tag) {
        if (path == root + L"Docs\\pinned.bak") attributes |= 0x00080000;
        if (path == root + L"Docs\\unpinned.bak") attributes |= 0x00100000;
        if (path == root + L"Tiered\\synced.bak") {
            attributes |= FILE_ATTRIBUTE_REPARSE_POINT;
            tag = 0x8000001E;
        }
    });
    for (const wchar_t* file : {L"Docs\\pinned.bak", L"Docs\\unpinned.bak", L"Tiered\\synced.bak"}) {
        EXPECT_FALSE(DeleteFoundFile(Root + file));
        EXPECT_TRUE(PathExists(Root + file));
    }
    EXPECT_TRUE(DeleteFoundFile(Root + L"Docs\\report.docx.bak"));
}
