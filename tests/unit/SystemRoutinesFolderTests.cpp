// The network-neighbourhood folder, tree deletion and directory creation.
#include "engine/Exceptions.h"
#include "engine/SystemRoutines.h"
#include "SandboxTestSupport.h"

#include <gtest/gtest.h>

#include <windows.h>

TEST(SystemRoutinesPathDepth, CountsNamedLevelsOnly) {
    EXPECT_EQ(PathDepth(L""), 0);
    EXPECT_EQ(PathDepth(L"C:\\"), 0);
    EXPECT_EQ(PathDepth(L"C:\\NetHood\\"), 1);
    EXPECT_EQ(PathDepth(L"C:\\Windows\\NetHood"), 2);
    EXPECT_EQ(PathDepth(L"C:\\users\\me\\NetHood\\"), 3);
    EXPECT_EQ(PathDepth(L"C:\\\\users\\\\me\\"), 2);  // empty parts do not count
    EXPECT_EQ(PathDepth(L"D:\\a:b\\c"), 1);            // nor do parts with a colon
    EXPECT_EQ(PathDepth(L"\\\\server\\share\\NetHood"), 2);  // the server is no level
    EXPECT_EQ(PathDepth(L"\\\\server\\share\\me\\NetHood\\"), 3);
    EXPECT_EQ(PathDepth(L"\\\\?\\C:\\users\\me\\NetHood"), 3);
}

namespace {

// a\b\c.txt (read-only), a\hidden\ (hidden, read-only, with a system file), top.txt
void MakeTree(const std::wstring& root) {
    ASSERT_TRUE(CreateDirectoryTree(root + L"a\\b"));
    ASSERT_TRUE(CreateDirectoryTree(root + L"a\\hidden"));
    ASSERT_TRUE(WriteTestFile(root + L"a\\b\\c.txt", "c"));
    ASSERT_TRUE(WriteTestFile(root + L"a\\hidden\\sys.dat", "s"));
    ASSERT_TRUE(WriteTestFile(root + L"top.txt", "t"));
    ::SetFileAttributesW((root + L"a\\b\\c.txt").c_str(), FILE_ATTRIBUTE_READONLY);
    ::SetFileAttributesW((root + L"a\\hidden\\sys.dat").c_str(), FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_HIDDEN);
    ::SetFileAttributesW((root + L"a\\hidden").c_str(), FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_READONLY);
}

}  // namespace

TEST(SystemRoutinesDirectoryTree, DeletesEverythingWhateverItsAttributes) {
    TScratchFolder scratch(L"tree");
    const std::wstring root = scratch.Path() + L"root\\";
    MakeTree(root);
    EXPECT_TRUE(DeleteDirectoryTree(root));
    EXPECT_FALSE(PathExists(root));
    EXPECT_FALSE(DeleteDirectoryTree(root));  // nothing left to delete
}

TEST(SystemRoutinesDirectoryTree, PassesOverEntriesThatWillNotGo) {
    TScratchFolder scratch(L"tree");
    const std::wstring root = scratch.Path() + L"root\\";
    MakeTree(root);
    // Open without delete sharing: the file cannot go while this handle lives.
    THandle busy(::CreateFileW((root + L"a\\b\\c.txt").c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                               OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(busy.Valid());

    EXPECT_FALSE(DeleteDirectoryTree(root));
    EXPECT_TRUE(PathExists(root + L"a\\b\\c.txt"));
    EXPECT_FALSE(PathExists(root + L"a\\hidden"));
    EXPECT_FALSE(PathExists(root + L"top.txt"));

    busy.Reset();
    EXPECT_TRUE(DeleteDirectoryTree(root));
}

TEST(SystemRoutinesDirectoryTree, RemovesLinksWithoutFollowingThem) {
    TScratchFolder scratch(L"tree");
    const std::wstring target = scratch.Path() + L"target", root = scratch.Path() + L"root";
    ASSERT_TRUE(CreateDirectoryTree(target));
    ASSERT_TRUE(CreateDirectoryTree(root));
    ASSERT_TRUE(WriteTestFile(target + L"\\precious.txt", "keep"));
    const std::wstring link = root + L"\\link";
    if (!::CreateSymbolicLinkW(link.c_str(), target.c_str(),
                               SYMBOLIC_LINK_FLAG_DIRECTORY | SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE))
        GTEST_SKIP() << "this system cannot make directory links";
    const DWORD attributes = ::GetFileAttributesW(link.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_REPARSE_POINT))
        GTEST_SKIP() << "this system does not report links as reparse points";

    EXPECT_TRUE(DeleteDirectoryTree(root));
    EXPECT_FALSE(PathExists(root));
    EXPECT_EQ(ReadTestFile(target + L"\\precious.txt"), "keep");
}

// Run by tests/helpers/link_safety.sh, which makes Unix symlinks in the sandbox
// (VT_LINK_TREE\root holds links to VT_LINK_TREE\target and \emptytarget).
TEST(SystemRoutinesDirectoryTree, NeverReachesThroughUnixLinks) {
    wchar_t base[MAX_PATH] = {};
    if (::GetEnvironmentVariableW(L"VT_LINK_TREE", base, MAX_PATH) == 0) GTEST_SKIP() << "run by link_safety.sh";
    const std::wstring tree = std::wstring(base) + L"\\";
    DeleteDirectoryTree(tree + L"root");
    EXPECT_FALSE(PathExists(tree + L"root\\sub\\plain.txt"));
    EXPECT_EQ(ReadTestFile(tree + L"target\\precious.txt"), "keep\n");
    EXPECT_EQ(ReadTestFile(tree + L"target\\inner\\deep.txt"), "keep\n");
    EXPECT_TRUE(PathExists(tree + L"emptytarget"));
}

TEST(SystemRoutinesDirectoryTree, CreateDirectoryTreeMakesParentsAndRefusesAnEmptyPath) {
    TScratchFolder scratch(L"force");
    EXPECT_TRUE(CreateDirectoryTree(scratch.Path() + L"x\\y\\z\\"));
    EXPECT_TRUE(PathExists(scratch.Path() + L"x\\y\\z"));
    EXPECT_TRUE(CreateDirectoryTree(scratch.Path() + L"x\\y"));  // already there
    ASSERT_TRUE(WriteTestFile(scratch.Path() + L"file", "f"));
    EXPECT_FALSE(CreateDirectoryTree(scratch.Path() + L"file\\sub"));
    try {
        CreateDirectoryTree(L"");
        ADD_FAILURE() << "no exception for an empty path";
    } catch (const Exception& e) {
        EXPECT_EQ(e.Message(), L"无法创建目录");
    }
}

TEST(SystemRoutinesNetHood, ClearsTheFolderAndRecreatesIt) {
    TSandboxLock lock(L"NetHood");
    const std::wstring folder = GetSpecialFolder(19);
    if (folder.empty() || !PathExists(folder)) GTEST_SKIP() << "no network-neighbourhood folder in this sandbox";
    ASSERT_GT(PathDepth(folder), 2) << "unexpected shallow folder " << std::string(folder.begin(), folder.end());
    MakeTree(folder);

    ClearNetHoodFolder();

    const DWORD attributes = ::GetFileAttributesW(folder.c_str());
    ASSERT_NE(attributes, INVALID_FILE_ATTRIBUTES);
    EXPECT_TRUE(attributes & FILE_ATTRIBUTE_DIRECTORY);
    EXPECT_FALSE(PathExists(folder + L"a"));
    EXPECT_FALSE(PathExists(folder + L"top.txt"));
}

// Wine answers GetFinalPathNameByHandleW with ERROR_MORE_DATA beyond MAX_PATH;
// a long path must still count as itself, or no file there could be cleaned.
TEST(SystemRoutinesDirectoryTree, EntriesBeyondMaxPathAreThemselvesAndGo) {
    TScratchFolder scratch(L"long");
    std::wstring folder = scratch.Path();
    while (folder.size() < 300) folder += L"segment-Привет-xxxxxxxxxxxxxxxxxxxx\\";
    ASSERT_TRUE(CreateDirectoryTree(folder));
    const std::wstring file = folder + L"deep.bak";
    ASSERT_TRUE(WriteTestFile(L"\\\\?\\" + file, "old"));
    EXPECT_TRUE(EntryIsItself(file));
    EXPECT_TRUE(EntryIsItself(folder));
    EXPECT_FALSE(EntryIsItself(folder + L"missing.bak"));
    EXPECT_TRUE(DeleteDirectoryTree(scratch.Path() + L"segment-Привет-xxxxxxxxxxxxxxxxxxxx"));
    EXPECT_FALSE(PathExists(L"\\\\?\\" + file));
}
