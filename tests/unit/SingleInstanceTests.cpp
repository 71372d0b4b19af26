// One instance per executable path: the identifier, the shared block (which
// other processes write, so it is never trusted), and the command-line switch.
#include "app/AutoMode.h"
#include "app/SingleInstance.h"

#include <gtest/gtest.h>

#include <windows.h>

namespace {

std::wstring UniqueIdentifier(const wchar_t* tag) {
    return MakeInstanceIdentifier(L"C:\\Tests\\" + std::wstring(tag) + std::to_wstring(::GetCurrentProcessId()) +
                                  L"-" + std::to_wstring(::GetTickCount64()) + L"\\Vantrel.exe");
}

TEST(SingleInstance, IdentifierIsUpperCasedPathWithUnderscores) {
    EXPECT_EQ(MakeInstanceIdentifier(L"C:\\Program Files\\Vantrel\\vantrel.exe"),
              L"JCLC:_PROGRAM FILES_VANTREL_VANTREL.EXE");
    EXPECT_EQ(MakeInstanceIdentifier(L"c:\\program files\\vantrel\\VANTREL.EXE"),
              MakeInstanceIdentifier(L"C:\\Program Files\\Vantrel\\vantrel.exe"));
    EXPECT_NE(MakeInstanceIdentifier(L"C:\\A\\Vantrel.exe"), MakeInstanceIdentifier(L"C:\\B\\Vantrel.exe"));
    // Only ASCII letters change case, as everywhere else in the program.
    EXPECT_EQ(MakeInstanceIdentifier(L"C:\\工具\\ä.exe"), L"JCLC:_工具_ä.EXE");
}

TEST(SingleInstance, BlockEntriesAreAppendedAndRemovedInOrder) {
    TInstanceBlock block{};
    EXPECT_EQ(AppendInstance(block, 10), 0);
    EXPECT_EQ(AppendInstance(block, 20), 1);
    EXPECT_EQ(AppendInstance(block, 30), 2);
    RemoveInstance(block, 20);
    ASSERT_EQ(block.InstanceCount, 2);
    EXPECT_EQ(block.ProcessIds[0], 10u);
    EXPECT_EQ(block.ProcessIds[1], 30u);
    RemoveInstance(block, 99);  // not registered: nothing moves
    EXPECT_EQ(block.InstanceCount, 2);
    RemoveInstance(block, 10);
    EXPECT_EQ(block.InstanceCount, 1);
    EXPECT_EQ(block.ProcessIds[0], 30u);
}

TEST(SingleInstance, CorruptCountNeverReachesPastTheBlock) {
    // Guard words around the block catch any write beyond it.
    struct {
        uint32_t Before = 0xDEADBEEF;
        TInstanceBlock Block{};
        uint32_t After = 0xDEADBEEF;
    } guarded;
    guarded.Block.InstanceCount = 60000;
    EXPECT_EQ(ClampedInstanceCount(guarded.Block), 257);
    EXPECT_EQ(AppendInstance(guarded.Block, 42), 257);  // full: not recorded
    EXPECT_EQ(guarded.Block.InstanceCount, 257);
    guarded.Block.InstanceCount = 65535;
    guarded.Block.ProcessIds[256] = 7;
    RemoveInstance(guarded.Block, 7);
    EXPECT_EQ(guarded.Block.InstanceCount, 256);
    EXPECT_EQ(guarded.Before, 0xDEADBEEFu);
    EXPECT_EQ(guarded.After, 0xDEADBEEFu);
}

TEST(SingleInstance, SecondRegistrationIsRefusedAndRemovedAgain) {
    const std::wstring id = UniqueIdentifier(L"refuse");
    const uint32_t self = ::GetCurrentProcessId();
    TInstanceRegistry first(id);
    EXPECT_TRUE(first.CheckSingleInstance());
    {
        TInstanceRegistry second(id);
        EXPECT_FALSE(second.CheckSingleInstance());
        EXPECT_EQ(first.RegisteredProcessIds(), (std::vector<uint32_t>{self, self}));
    }
    EXPECT_EQ(first.RegisteredProcessIds(), std::vector<uint32_t>{self});
    EXPECT_NE(first.MessageId(), 0u);
}

TEST(SingleInstance, BlockWrittenWithAHugeCountByAnotherProcessIsClamped) {
    const std::wstring id = UniqueIdentifier(L"corrupt");
    TInstanceRegistry registry(id);
    // Play the misbehaving process: open the same block and write nonsense into it.
    HANDLE mapping = ::OpenFileMappingW(FILE_MAP_ALL_ACCESS, FALSE, (id + L"_Map").c_str());
    ASSERT_NE(mapping, nullptr);
    auto* block = static_cast<TInstanceBlock*>(::MapViewOfFile(mapping, FILE_MAP_ALL_ACCESS, 0, 0, 0));
    ASSERT_NE(block, nullptr);
    block->MaxInstances = 1;
    block->InstanceCount = 0xFFFF;
    EXPECT_FALSE(registry.CheckSingleInstance());
    EXPECT_EQ(registry.RegisteredProcessIds().size(), 257u);
    ::UnmapViewOfFile(block);
    ::CloseHandle(mapping);
}

TEST(SingleInstance, LockIsRecursiveWithinAThread) {
    TCrossProcessLock lock(UniqueIdentifier(L"lock") + L"_Otx");
    lock.Enter();
    lock.Enter();
    lock.Leave();
    lock.Leave();
    lock.Enter();  // would block for seconds if the count had gone wrong
    lock.Leave();
    SUCCEED();
}

TEST(AutoSwitch, SlashOrHyphenAutoInAnyCase) {
    EXPECT_TRUE(IsAutoModeArgs({L"Vantrel.exe", L"/auto"}));
    EXPECT_TRUE(IsAutoModeArgs({L"Vantrel.exe", L"-auto"}));
    EXPECT_TRUE(IsAutoModeArgs({L"Vantrel.exe", L"/AUTO"}));
    EXPECT_TRUE(IsAutoModeArgs({L"Vantrel.exe", L"x", L"-AuTo"}));
    EXPECT_FALSE(IsAutoModeArgs({L"Vantrel.exe", L"auto"}));
    EXPECT_FALSE(IsAutoModeArgs({L"Vantrel.exe", L"/automatic"}));
    EXPECT_FALSE(IsAutoModeArgs({L"Vantrel.exe", L"/"}));
    EXPECT_FALSE(IsAutoModeArgs({L"Vantrel.exe", L""}));
    EXPECT_FALSE(IsAutoModeArgs({L"/auto"}));  // the program name is not an argument
    EXPECT_FALSE(IsAutoModeArgs({}));
}

}  // namespace
