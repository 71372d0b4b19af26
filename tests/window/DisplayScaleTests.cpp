// Display scale: the main window at 144 DPI against 96 DPI, the menu bar's
// height, and the scale arithmetic. Wine reads the DPI (HKCU\Control
// Panel\Desktop\LogPixels) when a process starts, so each scale is a child run
// of this program; the window tests run alone (RUN_SERIAL), so nothing else
// starts while the sandbox's DPI is changed, and it is put back afterwards.
#include "settings/VantrelData.h"
#include "ui/Application.h"
#include "ui/Dpi.h"
#include "ui/LegendFormUnit.h"
#include "ui/OrvHyperlink.h"
#include "ui/OrvViewAbout.h"
#include "ui/VantrelUnit.h"
#include "window/WindowTestSupport.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

const wchar_t DesktopKey[] = L"Control Panel\\Desktop";
const wchar_t ChildOutputVariable[] = L"VT_DPI_CHILD_OUTPUT";

// Sets the sandbox's LogPixels for the processes started meanwhile.
class TSandboxDpi {
public:
    explicit TSandboxDpi(DWORD dpi) {
        DWORD size = sizeof(FOld);
        FHadValue = ::RegGetValueW(HKEY_CURRENT_USER, DesktopKey, L"LogPixels", RRF_RT_REG_DWORD, nullptr, &FOld,
                                   &size) == ERROR_SUCCESS;
        Set(dpi);
    }
    ~TSandboxDpi() {
        if (FHadValue) {
            Set(FOld);
        } else {
            HKEY key;
            if (::RegOpenKeyExW(HKEY_CURRENT_USER, DesktopKey, 0, KEY_SET_VALUE, &key) == ERROR_SUCCESS) {
                ::RegDeleteValueW(key, L"LogPixels");
                ::RegCloseKey(key);
            }
        }
    }
    void Set(DWORD dpi) {
        ::RegSetKeyValueW(HKEY_CURRENT_USER, DesktopKey, L"LogPixels", REG_DWORD, &dpi, sizeof(dpi));
    }

private:
    DWORD FOld = 96;
    bool FHadValue = false;
};

std::wstring OwnPath() {
    wchar_t path[MAX_PATH * 2] = {};
    ::GetModuleFileNameW(nullptr, path, MAX_PATH * 2);
    std::wstring name = path;
    // Started from a Unix path in a sandbox without Z:, the name only opens in its NT form.
    if (name.rfind(L"unix\\", 0) == 0) name = L"\\\\?\\" + name;
    return name;
}

struct TWindowSizes {
    bool Read = false;
    int Dpi = 0, Width = 0, Height = 0, ClientWidth = 0, ClientHeight = 0, MenuBarHeight = 0;
};

// Runs the child test at Dpi and reads what it measured.
TWindowSizes MeasureMainWindowAt(DWORD dpi) {
    TSandboxDpi sandboxDpi(dpi);
    wchar_t temp[MAX_PATH];
    ::GetTempPathW(MAX_PATH, temp);
    const std::wstring output = std::wstring(temp) + L"vt-dpi-" + std::to_wstring(dpi) + L".txt";
    ::DeleteFileW(output.c_str());
    ::SetEnvironmentVariableW(ChildOutputVariable, output.c_str());
    std::wstring commandLine = L"\"" + OwnPath() + L"\" --gtest_filter=DisplayScaleChild.*";
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process{};
    const BOOL started = ::CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                                          &startup, &process);
    ::SetEnvironmentVariableW(ChildOutputVariable, nullptr);
    TWindowSizes sizes;
    if (!started) return sizes;
    ::WaitForSingleObject(process.hProcess, 60000);
    ::CloseHandle(process.hThread);
    ::CloseHandle(process.hProcess);
    FILE* file = _wfopen(output.c_str(), L"r");
    if (file == nullptr) return sizes;
    sizes.Read = std::fscanf(file, "%d %d %d %d %d %d", &sizes.Dpi, &sizes.Width, &sizes.Height, &sizes.ClientWidth,
                             &sizes.ClientHeight, &sizes.MenuBarHeight) == 6;
    std::fclose(file);
    ::DeleteFileW(output.c_str());
    return sizes;
}

// Only as the child of MeasureMainWindowAt: opens the main window as the
// program does (per-monitor aware) and writes its sizes.
TEST(DisplayScaleChild, WritesTheMainWindowSizes) {
    wchar_t output[MAX_PATH] = {};
    if (::GetEnvironmentVariableW(ChildOutputVariable, output, MAX_PATH) == 0) GTEST_SKIP() << "run by DisplayScale";
    DeclarePerMonitorDpiAwareness();
    Application().SetTitle(L"Vantrel");
    Application().Initialize();
    const std::wstring settings = GetSettingsFileName();
    {
        TVantrelForm form(false);
        RECT window, client;
        ::GetWindowRect(form.Handle(), &window);
        ::GetClientRect(form.Handle(), &client);
        RECT bar;
        ::GetWindowRect(form.MenuBar().Handle(), &bar);
        FILE* file = _wfopen(output, L"w");
        ASSERT_NE(file, nullptr);
        std::fprintf(file, "%d %ld %ld %ld %ld %ld\n", form.Dpi().Value, window.right - window.left,
                     window.bottom - window.top, client.right, client.bottom, bar.bottom - bar.top);
        std::fclose(file);
    }
    ::DeleteFileW(settings.c_str());
}

TEST(DisplayScale, MainWindowAt144DpiIsOneAndAHalfTimesItsSizeAt96) {
    const TWindowSizes at96 = MeasureMainWindowAt(96);
    const TWindowSizes at144 = MeasureMainWindowAt(144);
    ASSERT_TRUE(at96.Read && at144.Read) << "a child run measured nothing";
    ASSERT_EQ(at96.Dpi, 96);
    ASSERT_EQ(at144.Dpi, 144);
    std::printf("main window at 96 DPI: %d x %d (client %d x %d); at 144 DPI: %d x %d (client %d x %d)\n",
                at96.Width, at96.Height, at96.ClientWidth, at96.ClientHeight, at144.Width, at144.Height,
                at144.ClientWidth, at144.ClientHeight);
    // Two pixels per edge: rounding of the frame and of each scaled length.
    EXPECT_NEAR(at144.Width, at96.Width * 1.5, 4.0);
    EXPECT_NEAR(at144.Height, at96.Height * 1.5, 4.0);
    EXPECT_NEAR(at144.ClientWidth, at96.ClientWidth * 1.5, 1.0);
    EXPECT_NEAR(at144.ClientHeight, at96.ClientHeight * 1.5, 1.0);
    // The menu bar is 24 pixels high at 96 DPI.
    EXPECT_EQ(at96.MenuBarHeight, 24);
    EXPECT_EQ(at144.MenuBarHeight, 36);
}

// A window moved to a monitor of another scale is laid out again for it.
TEST(DisplayScale, MovedToA150PerCentMonitorTheMainWindowGrowsByHalf) {
    Application().SetTitle(L"Vantrel");
    Application().Initialize();
    const std::wstring settings = GetSettingsFileName();
    {
        TVantrelForm form(false);
        RECT before, after, bar, window;
        ::GetClientRect(form.Handle(), &before);
        ::GetWindowRect(form.Handle(), &window);
        const int dpi = form.Dpi().Value * 3 / 2;
        RECT suggested{window.left, window.top, window.left + (window.right - window.left) * 3 / 2,
                       window.top + (window.bottom - window.top) * 3 / 2};
        ::SendMessageW(form.Handle(), WM_DPICHANGED, MAKEWPARAM(dpi, dpi), reinterpret_cast<LPARAM>(&suggested));
        ::GetClientRect(form.Handle(), &after);
        EXPECT_EQ(form.Dpi().Value, dpi);
        EXPECT_NEAR(after.right, before.right * 1.5, 1.0);
        EXPECT_NEAR(after.bottom, before.bottom * 1.5, 1.0);
        ::GetWindowRect(form.MenuBar().Handle(), &bar);
        EXPECT_EQ(bar.bottom - bar.top, TDpi{dpi}(TMenuBar::Height));
        EXPECT_EQ(form.CleanupActionsListBox().ItemHeight(),
                  TDpi{dpi}(TActionCheckList::RowHeight * TActionCheckList::RowsFor(form.CleanupActionsListBox().Count())) /
                      TActionCheckList::RowsFor(form.CleanupActionsListBox().Count()));
    }
    ::DeleteFileW(settings.c_str());
    DrainQuit();
}

TEST(DisplayScale, MovedToA200PerCentMonitorASecondaryWindowScalesItsControls) {
    Application().Initialize();
    TLegendForm legend(nullptr);
    RECT before, after;
    ::GetWindowRect(legend.OKButton(), &before);
    RECT window;
    ::GetWindowRect(legend.Handle(), &window);
    RECT suggested{window.left, window.top, window.left + 2 * (window.right - window.left),
                   window.top + 2 * (window.bottom - window.top)};
    ::SendMessageW(legend.Handle(), WM_DPICHANGED, MAKEWPARAM(192, 192), reinterpret_cast<LPARAM>(&suggested));
    ::GetWindowRect(legend.OKButton(), &after);
    EXPECT_EQ(after.right - after.left, 2 * (before.right - before.left));
    EXPECT_EQ(after.bottom - after.top, 2 * (before.bottom - before.top));
    LOGFONTW font{};
    ::GetObjectW(reinterpret_cast<HFONT>(::SendMessageW(legend.OKButton(), WM_GETFONT, 0, 0)), sizeof(font), &font);
    EXPECT_EQ(font.lfHeight, -22);
}

LONG FontHeightOf(HWND control) {
    LOGFONTW font{};
    ::GetObjectW(reinterpret_cast<HFONT>(::SendMessageW(control, WM_GETFONT, 0, 0)), sizeof(font), &font);
    return font.lfHeight;
}

TEST(DisplayScale, MovedToA200PerCentMonitorTheAboutWindowsTitleRuleAndLinksFollow) {
    Application().SetTitle(L"Vantrel");
    Application().Initialize();
    TfrmAbout about(nullptr);
    about.Prepare(2004, false, TProgramVersion{});
    RECT titleBefore, titleAfter, window;
    ::GetWindowRect(about.ProductName, &titleBefore);
    ::GetWindowRect(about.Handle(), &window);
    RECT suggested{window.left, window.top, window.left + 2 * (window.right - window.left),
                   window.top + 2 * (window.bottom - window.top)};
    ::SendMessageW(about.Handle(), WM_DPICHANGED, MAKEWPARAM(192, 192), reinterpret_cast<LPARAM>(&suggested));
    ::GetWindowRect(about.ProductName, &titleAfter);
    EXPECT_NEAR(titleAfter.bottom - titleAfter.top, 2 * (titleBefore.bottom - titleBefore.top), 3);
    EXPECT_EQ(FontHeightOf(about.lblSite), -22);
    // A link made hot takes an underlined font of the new size.
    ::SendMessageW(about.lblSite, WM_MOUSEMOVE, 0, 0);
    EXPECT_TRUE(TLabelToLinkEventHandlers::Instance().IsHot(about.lblSite));
    EXPECT_EQ(FontHeightOf(about.lblSite), -22);
    EXPECT_EQ(TLabelToLinkEventHandlers::Instance().Target(about.lblSite), L"https://www.holvane.example/");
}

TEST(DisplayScale, LengthsFontsAndIconSizesFollowTheScale) {
    const TDpi normal{96}, large{144}, larger{120}, double_{192};
    EXPECT_EQ(normal(13), 13);
    EXPECT_EQ(large(13), 20);  // 19.5 rounds up
    EXPECT_EQ(larger(552), 690);
    EXPECT_EQ(double_(7), 14);
    EXPECT_EQ(large(RECT{5, 7, 557, 300}).right, 836);
    // Tahoma 8 point keeps its -11 pixels at 96 DPI and stays 8 point elsewhere.
    HFONT font = CreateProgramFontForDpi(normal);
    LOGFONTW logFont{};
    ::GetObjectW(font, sizeof(logFont), &logFont);
    EXPECT_EQ(logFont.lfHeight, -11);
    ::DeleteObject(font);
    font = CreateProgramFontForDpi(double_);
    ::GetObjectW(font, sizeof(logFont), &logFont);
    EXPECT_EQ(logFont.lfHeight, -22);
    ::DeleteObject(font);
    // Icons are picked among the sizes that exist, never stretched to 19.5 pixels.
    EXPECT_EQ(normal.SmallIconSize(), 16);
    EXPECT_EQ(larger.SmallIconSize(), 20);
    EXPECT_EQ(large.SmallIconSize(), 24);
    EXPECT_EQ(TDpi{168}.SmallIconSize(), 24);
    EXPECT_EQ(double_.SmallIconSize(), 32);
}

}  // namespace
