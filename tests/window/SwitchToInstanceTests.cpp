// Handing over to the running instance: its window comes back from the taskbar
// and to the front.
#include "app/SingleInstance.h"
#include "ui/Application.h"
#include "ui/VantrelUnit.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <memory>

namespace {

void Pump() {
    for (int i = 0; i < 20; ++i) {
        Application().ProcessMessages();
        ::Sleep(10);
    }
}

TEST(SwitchToInstance, MinimisedMainWindowIsRestoredAndFound) {
    Application().SetTitle(L"Vantrel");
    Application().Initialize();
    auto form = std::make_unique<TVantrelForm>(false);
    Pump();
    ::ShowWindow(form->Handle(), SW_MINIMIZE);
    Pump();
    ASSERT_TRUE(::IsIconic(form->Handle()));

    EXPECT_EQ(FindApplicationWindow(::GetCurrentProcessId()), Application().Handle());
    TInstanceRegistry registry(MakeInstanceIdentifier(L"C:\\Tests\\switch" + std::to_wstring(::GetTickCount64())));
    ASSERT_TRUE(registry.CheckSingleInstance());
    registry.SwitchToFirstInstance();
    Pump();
    EXPECT_FALSE(::IsIconic(form->Handle()));
    EXPECT_TRUE(::IsWindowVisible(form->Handle()));
    form.reset();
    // Closing the main form ends the message loop.
    MSG msg;
    EXPECT_TRUE(::PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
}

TEST(MainWindowCaption, TellsAutomaticMode) {
    Application().SetTitle(L"Vantrel");
    Application().Initialize();
    wchar_t caption[64] = {};
    {
        TVantrelForm normal(false);
        ::GetWindowTextW(normal.Handle(), caption, 64);
        EXPECT_STREQ(caption, L"Vantrel");
        EXPECT_EQ(::GetWindow(normal.Handle(), GW_OWNER), Application().Handle());
    }
    {
        TVantrelForm automatic(true);
        ::GetWindowTextW(automatic.Handle(), caption, 64);
        EXPECT_STREQ(caption, L"Vantrel (自动模式)");
    }
    MSG msg;
    while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {}
}

}  // namespace
