// The main window from the keyboard and through the accessibility interface:
// the rows' names and tick states as an MSAA client reads them (oleacc's
// AccessibleObjectFromWindow), space and the arrows on the list, Alt+C; the
// setup window's flat buttons as tab stops; a disabled flat button's picture.
#include "settings/VantrelData.h"
#include "ui/ActionImages.h"
#include "ui/Application.h"
#include "ui/FlatButton.h"
#include "ui/SetupVantrelUnit.h"
#include "ui/VantrelUnit.h"
#include "window/MainWindowFixture.h"
#include "window/WindowTestSupport.h"

#include <gtest/gtest.h>

#include <windows.h>
#include <oleacc.h>

#include <functional>
#include <memory>

namespace {

// What a screen reader does: asks the list's window for its object (oleacc, loaded as a client would).
IAccessible* AccessibleOf(HWND wnd) {
    using TAccessibleObjectFromWindow = HRESULT(WINAPI*)(HWND, DWORD, REFIID, void**);
    static HMODULE oleacc = ::LoadLibraryW(L"oleacc.dll");
    if (oleacc == nullptr) return nullptr;
    auto fromWindow = reinterpret_cast<TAccessibleObjectFromWindow>(
        reinterpret_cast<void*>(::GetProcAddress(oleacc, "AccessibleObjectFromWindow")));
    IAccessible* object = nullptr;
    if (fromWindow == nullptr ||
        FAILED(fromWindow(wnd, static_cast<DWORD>(OBJID_CLIENT), IID_IAccessible, reinterpret_cast<void**>(&object))))
        return nullptr;
    return object;
}

VARIANT Child(long id) {
    VARIANT child;
    ::VariantInit(&child);
    child.vt = VT_I4;
    child.lVal = id;
    return child;
}

std::wstring NameOf(IAccessible* object, long id) {
    BSTR name = nullptr;
    if (object->get_accName(Child(id), &name) != S_OK || name == nullptr) return L"<none>";
    std::wstring text(name, ::SysStringLen(name));
    ::SysFreeString(name);
    return text;
}

long StateOf(IAccessible* object, long id) {
    VARIANT state;
    ::VariantInit(&state);
    if (object->get_accState(Child(id), &state) != S_OK || state.vt != VT_I4) return -1;
    return state.lVal;
}

// Each test starts on a main window that has read once.
class KeyboardAccess : public MainWindowFixture {
protected:
    void SetUp() override {
        MainWindowFixture::SetUp();
        OpenAndRead();
    }
};

TEST_F(KeyboardAccess, ScreenReaderReadsEveryRowsNameAndTickAndCanToggleIt) {
    TActionCheckList& rows = Form->CleanupActionsListBox();
    IAccessible* list = AccessibleOf(rows.Handle());
    ASSERT_NE(list, nullptr);
    long count = 0;
    ASSERT_EQ(list->get_accChildCount(&count), S_OK);
    ASSERT_EQ(count, rows.Count());
    VARIANT role;
    ::VariantInit(&role);
    ASSERT_EQ(list->get_accRole(Child(CHILDID_SELF), &role), S_OK);
    EXPECT_EQ(role.lVal, ROLE_SYSTEM_LIST);
    rows.SetChecked(0, true);
    rows.SetChecked(1, false);
    for (long id = 1; id <= count; ++id) {
        EXPECT_EQ(NameOf(list, id), Form->ActionList().Items(static_cast<int>(id - 1)).Name);
        ASSERT_EQ(list->get_accRole(Child(id), &role), S_OK);
        EXPECT_EQ(role.lVal, ROLE_SYSTEM_CHECKBUTTON);
        EXPECT_EQ((StateOf(list, id) & STATE_SYSTEM_CHECKED) != 0, rows.Checked(static_cast<int>(id - 1))) << id;
    }
    EXPECT_NE(StateOf(list, 1) & STATE_SYSTEM_CHECKED, 0);
    EXPECT_EQ(StateOf(list, 2) & STATE_SYSTEM_CHECKED, 0);
    // The default action ticks the row, as space would, and opens nothing.
    EXPECT_EQ(list->accDoDefaultAction(Child(2)), S_OK);
    EXPECT_TRUE(rows.Checked(1));
    EXPECT_NE(StateOf(list, 2) & STATE_SYSTEM_CHECKED, 0);
    EXPECT_TRUE(::IsWindowEnabled(Form->Handle()));
    EXPECT_EQ(NameOf(list, count + 1), L"<none>");  // no such row
    list->Release();
}

TEST_F(KeyboardAccess, ArrowsMoveTheFocusRowAndSpaceTicksItWithoutOpeningTheDetails) {
    TActionCheckList& rows = Form->CleanupActionsListBox();
    ::SetFocus(rows.Handle());
    ASSERT_EQ(::GetFocus(), rows.Handle());
    EXPECT_EQ(rows.FocusRow(), 0);
    ::SendMessageW(rows.Handle(), WM_KEYDOWN, VK_DOWN, 0);
    ::SendMessageW(rows.Handle(), WM_KEYDOWN, VK_DOWN, 0);
    ::SendMessageW(rows.Handle(), WM_KEYDOWN, VK_UP, 0);
    EXPECT_EQ(rows.FocusRow(), 1);
    const bool ticked = rows.Checked(1);
    ::SendMessageW(rows.Handle(), WM_KEYDOWN, VK_SPACE, 0);
    EXPECT_NE(rows.Checked(1), ticked);
    EXPECT_TRUE(::IsWindowEnabled(Form->Handle()));  // no detail window opened
    // Right goes to the same place in the next column; Up at the top stays there.
    const int perColumn = TActionCheckList::RowsFor(rows.Count());
    ::SendMessageW(rows.Handle(), WM_KEYDOWN, VK_RIGHT, 0);
    EXPECT_EQ(rows.FocusRow(), std::min(1 + perColumn, rows.Count() - 1));
    ::SendMessageW(rows.Handle(), WM_KEYDOWN, VK_HOME, 0);
    ::SendMessageW(rows.Handle(), WM_KEYDOWN, VK_UP, 0);
    EXPECT_EQ(rows.FocusRow(), 0);
    IAccessible* list = AccessibleOf(rows.Handle());
    ASSERT_NE(list, nullptr);
    VARIANT focus;
    ::VariantInit(&focus);
    ASSERT_EQ(list->get_accFocus(&focus), S_OK);
    EXPECT_EQ(focus.lVal, 1);
    EXPECT_NE(StateOf(list, 1) & STATE_SYSTEM_FOCUSED, 0);
    list->Release();
}

TEST_F(KeyboardAccess, AltCStartsTheCleanupAsTheButtonDoes) {
    Form->DeselectAllItemsActionExecute();  // the pass runs, but cleans nothing
    ::SetFocus(Form->CleanupActionsListBox().Handle());
    // A key with Alt reaches the list as WM_SYSCHAR; the window's menu handling gets it from there.
    ::SendMessageW(Form->CleanupActionsListBox().Handle(), WM_SYSCHAR, L'c', 1 << 29);
    EXPECT_TRUE(PumpUntil([&] { return Form->Status1Text().rfind(L"通过清理释放的空间", 0) == 0; }))
        << "Alt+C did not clean; status: " << testing::PrintToString(Form->Status1Text());
}

TEST_F(KeyboardAccess, MenuBarHighlightsItsHotItemAndAltFOpensTheFileMenu) {
    TMenuBar& bar = Form->MenuBar();
    RECT barRect;
    ::GetClientRect(bar.Handle(), &barRect);
    EXPECT_EQ(barRect.bottom, 24);
    const RECT item = bar.ItemRect(1);
    ::SendMessageW(bar.Handle(), WM_MOUSEMOVE, 0, MAKELPARAM(item.left + 3, item.top + 3));
    ::UpdateWindow(bar.Handle());
    HDC dc = ::GetDC(bar.Handle());
    const COLORREF hot = ::GetPixel(dc, item.left + 2, item.bottom / 2);
    const COLORREF plain = ::GetPixel(dc, bar.ItemRect(0).left + 2, item.bottom / 2);
    ::ReleaseDC(bar.Handle(), dc);
    EXPECT_EQ(hot, RGB(226, 225, 219));
    EXPECT_EQ(plain, ::GetSysColor(COLOR_BTNFACE));

    // Alt+F opens "文件" under the bar; the timer looks while the menu is open, then closes it.
    static int openItem;
    static bool popupShown;
    static TMenuBar* shownBar;
    openItem = -1;
    popupShown = false;
    shownBar = &bar;
    const UINT_PTR timer = ::SetTimer(nullptr, 0, 200, [](HWND, UINT, UINT_PTR id, DWORD) {
        ::KillTimer(nullptr, id);
        openItem = shownBar->OpenItem();
        HWND popup = ::FindWindowW(L"#32768", nullptr);
        popupShown = popup != nullptr && ::IsWindowVisible(popup);
        ::EndMenu();
    });
    ::SetFocus(Form->CleanupActionsListBox().Handle());
    ::SendMessageW(Form->CleanupActionsListBox().Handle(), WM_SYSCHAR, L'f', 1 << 29);
    ::KillTimer(nullptr, timer);
    EXPECT_EQ(openItem, 0);
    EXPECT_TRUE(popupShown);
    EXPECT_EQ(bar.OpenItem(), -1);
}

TEST(FlatButtons, SetupWindowsFlatButtonsAreTabStops) {
    Application().Initialize();
    TSetupVantrelForm form(nullptr);
    HWND list = ::GetDlgItem(form.Handle(), TSetupVantrelForm::idExcludeDirectoriesListBox);
    HWND add = ::GetDlgItem(form.Handle(), TSetupVantrelForm::idAddExcludeDirectorySpeedButton);
    HWND remove = ::GetDlgItem(form.Handle(), TSetupVantrelForm::idRemoveExcludeDirectorySpeedButton);
    HWND setup = ::GetDlgItem(form.Handle(), TSetupVantrelForm::idSetupWindowsDiskCleanupButton);
    EXPECT_EQ(::GetNextDlgTabItem(form.Handle(), list, FALSE), add);
    EXPECT_EQ(::GetNextDlgTabItem(form.Handle(), add, FALSE), remove);
    for (HWND button : {add, remove, setup}) EXPECT_NE(::GetWindowLongPtrW(button, GWL_STYLE) & WS_TABSTOP, 0);
}

// Counts the pixels of a drawn button that are neither grey nor the background.
int ColouredPixels(int image, bool disabled) {
    HDC screen = ::GetDC(nullptr);
    HDC dc = ::CreateCompatibleDC(screen);
    HBITMAP bitmap = ::CreateCompatibleBitmap(screen, 80, 24);
    ::ReleaseDC(nullptr, screen);
    HGDIOBJ old = ::SelectObject(dc, bitmap);
    DRAWITEMSTRUCT item{};
    item.CtlType = ODT_BUTTON;
    item.hDC = dc;
    item.rcItem = RECT{0, 0, 80, 24};
    item.itemState = disabled ? ODS_DISABLED : 0;
    HFONT font = CreateProgramFontForDpi(TDpi{});
    DrawFlatButton(item, L"", image, font, RGB(255, 255, 255), TDpi{});
    int coloured = 0;
    for (int y = 0; y < 24; ++y)
        for (int x = 0; x < 30; ++x) {
            const COLORREF c = ::GetPixel(dc, x, y);
            if (GetRValue(c) != GetGValue(c) || GetGValue(c) != GetBValue(c)) ++coloured;
        }
    ::SelectObject(dc, old);
    ::DeleteObject(bitmap);
    ::DeleteObject(font);
    ::DeleteDC(dc);
    return coloured;
}

TEST(FlatButtons, ADisabledFlatButtonDrawsItsPictureGreyed) {
    for (int image : {aiReadAgain, aiStop}) {
        EXPECT_GT(ColouredPixels(image, false), 20) << image;
        EXPECT_EQ(ColouredPixels(image, true), 0) << image;
    }
}

}  // namespace
