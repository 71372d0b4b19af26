// The one way found files and emptied folders are deleted: only the entry that
// was found, as itself, through its own handle.
#include "engine/SystemRoutines.h"
#include "engine/VantrelClasses.h"
#include "SandboxTestSupport.h"

#include <gtest/gtest.h>

#include <windows.h>

TEST(DeleteFoundFile, DeletesPlainHiddenAndReadOnlyFiles) {
    TScratchFolder scratch(L"prim");
    const std::wstring plain = scratch.Path() + L"plain.bak", locked = scratch.Path() + L"locked.bak",
                       hidden = scratch.Path() + L"hidden.tmp";
    ASSERT_TRUE(WriteTestFile(plain, "p"));
    ASSERT_TRUE(WriteTestFile(locked, "r"));
    ASSERT_TRUE(WriteTestFile(hidden, "h"));
    ::SetFileAttributesW(locked.c_str(), FILE_ATTRIBUTE_READONLY);
    ::SetFileAttributesW(hidden.c_str(), FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
    EXPECT_TRUE(DeleteFoundFile(plain));
    EXPECT_TRUE(DeleteFoundFile(locked));
    EXPECT_TRUE(DeleteFoundFile(hidden));
    EXPECT_FALSE(PathExists(plain));
    EXPECT_FALSE(PathExists(locked));
    EXPECT_FALSE(PathExists(hidden));
    EXPECT_FALSE(DeleteFoundFile(plain));  // gone already
    EXPECT_FALSE(DeleteFoundFile(L""));
}

// Found as a file, replaced by a folder before the click: the folder and all in
// it stay (the shell's delete took the whole tree).
TEST(DeleteFoundFile, LeavesAFolderPutInAFilesPlace) {
    TScratchFolder scratch(L"prim");
    const std::wstring swapped = scratch.Path() + L"report.bak";
    ASSERT_TRUE(CreateDirectoryTree(swapped + L"\\inner"));
    ASSERT_TRUE(WriteTestFile(swapped + L"\\inner\\thesis.doc", "keep"));
    EXPECT_FALSE(DeleteFoundFile(swapped));
    EXPECT_FALSE(DeleteFoundFile(swapped + L"\\"));
    EXPECT_EQ(ReadTestFile(swapped + L"\\inner\\thesis.doc"), "keep");
}

// The walk reports names as they are stored; a name that now differs in letter
// case is another entry (under Wine, a second file), so it stays.
TEST(DeleteFoundFile, NeedsTheNameExactlyAsFound) {
    TScratchFolder scratch(L"prim");
    const std::wstring stored = scratch.Path() + L"Notes.OLD";
    ASSERT_TRUE(WriteTestFile(stored, "n"));
    EXPECT_FALSE(DeleteFoundFile(scratch.Path() + L"notes.old"));
    EXPECT_TRUE(PathExists(stored));
    EXPECT_TRUE(DeleteFoundFile(stored));
}

TEST(DeleteFoundFile, PassesOverAFileInUseAndKeepsItsAttributes) {
    TScratchFolder scratch(L"prim");
    const std::wstring busy = scratch.Path() + L"busy.log";
    ASSERT_TRUE(WriteTestFile(busy, "b"));
    ::SetFileAttributesW(busy.c_str(), FILE_ATTRIBUTE_READONLY);
    {
        THandle open(::CreateFileW(busy.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
        ASSERT_TRUE(open.Valid());
        EXPECT_FALSE(DeleteFoundFile(busy));
    }
    EXPECT_TRUE(PathExists(busy));
    EXPECT_NE(::GetFileAttributesW(busy.c_str()) & FILE_ATTRIBUTE_READONLY, 0u);
    EXPECT_TRUE(DeleteFoundFile(busy));
}

TEST(DeleteFoundFile, DeletesBeyondMaxPath) {
    TScratchFolder scratch(L"prim");
    std::wstring folder = scratch.Path();
    while (folder.size() < 300) folder += L"level-Ωmega-xxxxxxxxxxxxxxxxxxxxxxxx\\";
    ASSERT_TRUE(CreateDirectoryTree(folder));
    const std::wstring file = folder + L"deep.bak";
    ASSERT_TRUE(WriteTestFile(L"\\\\?\\" + file, "old"));
    EXPECT_TRUE(DeleteFoundFile(file));
    EXPECT_FALSE(PathExists(L"\\\\?\\" + file));
    EXPECT_TRUE(RemoveEmptiedFolder(folder));
}

TEST(RemoveEmptiedFolder, RemovesOnlyEmptyPlainFolders) {
    TScratchFolder scratch(L"prim");
    const std::wstring empty = scratch.Path() + L"empty", full = scratch.Path() + L"full",
                       file = scratch.Path() + L"file";
    ASSERT_TRUE(CreateDirectoryTree(empty));
    ASSERT_TRUE(CreateDirectoryTree(full));
    ASSERT_TRUE(WriteTestFile(full + L"\\kept.txt", "k"));
    ASSERT_TRUE(WriteTestFile(file, "f"));
    EXPECT_TRUE(RemoveEmptiedFolder(empty + L"\\"));
    EXPECT_FALSE(PathExists(empty));
    EXPECT_FALSE(RemoveEmptiedFolder(full));
    EXPECT_EQ(ReadTestFile(full + L"\\kept.txt"), "k");
    EXPECT_FALSE(RemoveEmptiedFolder(file));  // a file where a folder was
    EXPECT_TRUE(PathExists(file));
    EXPECT_FALSE(RemoveEmptiedFolder(L"C:\\"));
    EXPECT_FALSE(RemoveEmptiedFolder(L"C:"));
    EXPECT_FALSE(RemoveEmptiedFolder(L""));
}

// Windows shows junctions and symbolic links as reparse points: a file link is
// removed as a link, a folder link in a file's place stays, and an emptied-folder
// link is never removed (it is not the folder that was emptied).
TEST(DeleteFoundFile, HandlesWindowsLinksAsLinks) {
    TScratchFolder scratch(L"prim");
    const std::wstring target = scratch.Path() + L"target", precious = target + L"\\precious.doc";
    ASSERT_TRUE(CreateDirectoryTree(target + L"\\empty"));
    ASSERT_TRUE(WriteTestFile(precious, "keep"));
    const std::wstring fileLink = scratch.Path() + L"old.bak", folderLink = scratch.Path() + L"x.bak",
                       emptyLink = scratch.Path() + L"emptied";
    constexpr DWORD unprivileged = SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE;
    if (!::CreateSymbolicLinkW(fileLink.c_str(), precious.c_str(), unprivileged) ||
        !::CreateSymbolicLinkW(folderLink.c_str(), target.c_str(), SYMBOLIC_LINK_FLAG_DIRECTORY | unprivileged) ||
        !::CreateSymbolicLinkW(emptyLink.c_str(), (target + L"\\empty").c_str(),
                               SYMBOLIC_LINK_FLAG_DIRECTORY | unprivileged))
        GTEST_SKIP() << "this system cannot make symbolic links (under Wine: link_safety.sh makes Unix ones)";
    const DWORD attributes = ::GetFileAttributesW(fileLink.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_REPARSE_POINT))
        GTEST_SKIP() << "this system does not show file links as reparse points";
    EXPECT_TRUE(DeleteFoundFile(fileLink));
    EXPECT_FALSE(DeleteFoundFile(folderLink));
    EXPECT_FALSE(RemoveEmptiedFolder(emptyLink));
    EXPECT_EQ(ReadTestFile(precious), "keep");
    EXPECT_TRUE(PathExists(target + L"\\empty"));
}

// Run by tests/helpers/link_safety.sh, which makes Unix symlinks in the sandbox
// (VT_LINK_TREE\found holds links named like junk to VT_LINK_TREE\target).
TEST(DeleteFoundFile, NeverDeletesThroughUnixLinks) {
    wchar_t base[MAX_PATH] = {};
    if (::GetEnvironmentVariableW(L"VT_LINK_TREE", base, MAX_PATH) == 0) GTEST_SKIP() << "run by link_safety.sh";
    const std::wstring found = std::wstring(base) + L"\\found\\";
    EXPECT_FALSE(DeleteFoundFile(found + L"filelink.bak"));
    EXPECT_FALSE(DeleteFoundFile(found + L"dirlink.bak"));
    EXPECT_FALSE(RemoveEmptiedFolder(found + L"emptylink"));
    EXPECT_FALSE(RemoveEmptiedFolder(found + L"WUTemp"));
    EXPECT_TRUE(DeleteFoundFile(found + L"plain.bak"));
}

namespace {

class TFixedAction : public TCleanupFileMaskItem {
protected:
    void Configure(std::wstring& Name, std::wstring& Masks, TSmartProtection& Protection) override {
        Name = L"fixed";
        Masks = L"*.bak";
        Protection = TSmartProtection::spSession;
    }
};

}  // namespace

// The detail window's cleanup runs one action; a file it handled must not be
// deleted again by name by another action (a file made since under that name
// was never found).
TEST(TCleanupListPerformAlone, DropsTheHandledFilesFromEveryOtherAction) {
    TScratchFolder scratch(L"prim");
    const std::wstring shared = scratch.Path() + L"shared.bak", other = scratch.Path() + L"other.bak";
    ASSERT_TRUE(WriteTestFile(shared, "1"));
    ASSERT_TRUE(WriteTestFile(other, "2"));
    TCleanupList list;
    auto& first = static_cast<TCleanupFileMaskItem&>(list.AddAction(TCleanupCustomItem::ClassOf<TFixedAction>(), true));
    auto& second = static_cast<TCleanupFileMaskItem&>(list.AddAction(TCleanupCustomItem::ClassOf<TFixedAction>(), true));
    first.FoundFiles = {shared};
    second.FoundFiles = {shared, other};

    list.PerformAlone(first);
    EXPECT_FALSE(PathExists(shared));
    ASSERT_TRUE(WriteTestFile(shared, "made since"));
    list.PerformAlone(second);

    EXPECT_EQ(ReadTestFile(shared), "made since");
    EXPECT_FALSE(PathExists(other));
}
