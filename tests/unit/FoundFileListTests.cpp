// The found-file list: it stores paths apart (folder once, names in blocks) but
// must read back exactly what was added, in order, with sizes and totals.
#include "engine/FoundFileList.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// Many paths over few folders, names of every length, enough to fill several blocks.
std::vector<std::wstring> ManyPaths(size_t count) {
    std::vector<std::wstring> paths;
    uint32_t seed = 7;
    for (size_t i = 0; i < count; ++i) {
        seed = seed * 1664525u + 1013904223u;
        std::wstring path = L"C:\\Users\\anna\\Temp\\d" + std::to_wstring((seed >> 8) % 300) + L"\\";
        path.append((seed >> 4) % 40, L'x');
        path += std::to_wstring(i) + L".tmp";
        paths.push_back(std::move(path));
    }
    return paths;
}

TEST(FoundFileList, ReadsBackEveryPathInOrderWithDuplicatesAndOddShapes) {
    const std::wstring longName(70000, L'n');  // longer than a block of text
    const std::vector<std::wstring> odd = {L"C:\\a\\b.tmp", L"C:\\a\\b.tmp", L"no-folder.tmp", L"", L"C:\\a\\",
                                           L"C:\\a\\" + longName, L"C:\\A\\b.tmp", L"\\\\server\\share\\c.bak",
                                           L"C:\\\xD83D\xDE00\\\x6587\x4EF6.tmp"};
    TFoundFileList list;
    for (const auto& path : odd) list.push_back(path);
    EXPECT_TRUE(list == odd);
    ASSERT_EQ(list.size(), odd.size());
    for (size_t i = 0; i < odd.size(); ++i) EXPECT_EQ(list[i], odd[i]) << i;
    EXPECT_EQ(list.Directory(0), L"C:\\a\\");
    EXPECT_EQ(list.Name(0), L"b.tmp");
    EXPECT_EQ(list.Directory(2), L"");
    EXPECT_EQ(list.Name(4), L"");
    // Folders differing only in letter case are different folders.
    EXPECT_EQ(list.Directory(6), L"C:\\A\\");

    const std::vector<std::wstring> many = ManyPaths(30000);
    list = many;
    EXPECT_EQ(std::vector<std::wstring>(list), many);
    const TFoundFileList copy = list;
    EXPECT_TRUE(copy == list);
    list.clear();
    EXPECT_TRUE(list.empty());
    EXPECT_EQ(list.begin(), list.end());
}

TEST(FoundFileList, SizesAndTotalFollowAddingErasingAndClearing) {
    TFoundFileList list;
    const uint64_t big = 5ull << 30;  // above 4 GB
    list.Add(L"C:\\t\\a.tmp", 10);
    list.Add(L"C:\\t\\b.tmp", big);
    list.Add(L"C:\\u\\c.tmp", 7);
    list.Add(L"C:\\t\\a.tmp", 10);
    EXPECT_EQ(list.TotalSize(), big + 27);
    EXPECT_EQ(list.Size(1), big);

    EXPECT_EQ(list.EraseIf([&](size_t i) { return list.Name(i) == L"a.tmp"; }), 2u);
    EXPECT_TRUE(list == (std::vector<std::wstring>{L"C:\\t\\b.tmp", L"C:\\u\\c.tmp"}));
    EXPECT_EQ(list.TotalSize(), big + 7);
    EXPECT_EQ(list.Size(1), 7u);
    // Files added after an erase land after the kept ones.
    list.Add(L"C:\\u\\d.tmp", 1);
    EXPECT_EQ(list[2], L"C:\\u\\d.tmp");

    list.EraseIf([](size_t) { return true; });
    EXPECT_TRUE(list.empty());
    EXPECT_EQ(list.TotalSize(), 0u);
    list.assign(3, L"C:\\x.tmp");
    EXPECT_EQ(list.size(), 3u);
    EXPECT_EQ(list.TotalSize(), 0u);
}

}  // namespace
