#include "ui/OrvHyperlink.h"

#include "ui/ErrorReport.h"
#include "ui/Application.h"

#include <commctrl.h>
#include <shellapi.h>

#include <vector>

namespace {

constexpr UINT_PTR LinkSubclassId = 0x4C4E4B;  // one id for both subclass procedures
constexpr COLORREF LinkHotColour = RGB(0, 0, 255);
constexpr COLORREF LinkPlainColour = RGB(0, 0, 0);

TLinkOpener& LinkOpener() {
    static TLinkOpener opener;
    return opener;
}

TFont UnderlinedVariant(HFONT font) {
    LOGFONTW logFont{};
    if (font == nullptr || ::GetObjectW(font, sizeof(logFont), &logFont) == 0)
        ::GetObjectW(::GetStockObject(DEFAULT_GUI_FONT), sizeof(logFont), &logFont);
    logFont.lfUnderline = TRUE;
    return TFont(::CreateFontIndirectW(&logFont));
}

}  // namespace

TLabelToLinkEventHandlers& TLabelToLinkEventHandlers::Instance() {
    static std::unique_ptr<TLabelToLinkEventHandlers> instance(new TLabelToLinkEventHandlers);
    return *instance;
}

void TLabelToLinkEventHandlers::Attach(HWND label, const std::wstring& target) {
    HWND container = ::GetParent(label);
    TLink& link = FLinks[label];
    SetHot(label, link, false);  // a label made a link again starts plain, with its own font
    link.Target = target;
    link.Hot = false;
    link.OriginalFont = reinterpret_cast<HFONT>(::SendMessageW(label, WM_GETFONT, 0, 0));
    link.UnderlinedFont = UnderlinedVariant(link.OriginalFont);
    // A static control is transparent to the mouse unless it notifies.
    ::SetWindowLongPtrW(label, GWL_STYLE, ::GetWindowLongPtrW(label, GWL_STYLE) | SS_NOTIFY);
    ::SetWindowSubclass(label, LabelProc, LinkSubclassId, 0);
    AttachContainer(container);
    AddHint(container, label, target);
    ::InvalidateRect(label, nullptr, TRUE);
}

std::wstring TLabelToLinkEventHandlers::Target(HWND label) const {
    const auto link = FLinks.find(label);
    return link != FLinks.end() ? link->second.Target : std::wstring();
}

bool TLabelToLinkEventHandlers::IsHot(HWND label) const {
    const auto link = FLinks.find(label);
    return link != FLinks.end() && link->second.Hot;
}

void TLabelToLinkEventHandlers::SetHot(HWND label, TLink& link, bool hot) {
    if (link.Hot == hot) return;
    link.Hot = hot;
    ::SendMessageW(label, WM_SETFONT,
                   reinterpret_cast<WPARAM>(hot ? link.UnderlinedFont.Get() : link.OriginalFont), TRUE);
    ::InvalidateRect(label, nullptr, TRUE);
}

void TLabelToLinkEventHandlers::ContainerMouseMove(HWND container) {
    for (auto& [label, link] : FLinks)
        if (::GetParent(label) == container) SetHot(label, link, false);
}

void TLabelToLinkEventHandlers::LinkMouseMove(HWND label) {
    const auto link = FLinks.find(label);
    if (link == FLinks.end()) return;
    ContainerMouseMove(::GetParent(label));
    SetHot(label, link->second, true);
}

void TLabelToLinkEventHandlers::LinkClick(HWND label) {
    const auto link = FLinks.find(label);
    if (link == FLinks.end()) return;
    ContainerMouseMove(::GetParent(label));
    // A copy: opening the target may run messages that destroy the label.
    const std::wstring target = link->second.Target;
    OpenLinkTarget(target);
}

void TLabelToLinkEventHandlers::AttachContainer(HWND container) {
    if (FContainerHints.count(container) != 0) return;
    HWND hint = ::CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_NOPREFIX | TTS_ALWAYSTIP,
                                  CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, container, nullptr,
                                  ::GetModuleHandleW(nullptr), nullptr);
    FContainerHints[container] = hint;
    // Every hint of the program waits until the mouse has rested two seconds.
    if (hint != nullptr) ::SendMessageW(hint, TTM_SETDELAYTIME, TTDT_INITIAL, 2000);
    ::SetWindowSubclass(container, ContainerProc, LinkSubclassId, 0);
}

void TLabelToLinkEventHandlers::AddHint(HWND container, HWND label, const std::wstring& target) {
    HWND hint = FContainerHints[container];
    if (hint == nullptr) return;  // links work without their hint
    TOOLINFOW tool{};
    tool.cbSize = sizeof(tool);
    tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
    tool.hwnd = container;
    tool.uId = reinterpret_cast<UINT_PTR>(label);
    tool.lpszText = const_cast<wchar_t*>(target.c_str());
    ::SendMessageW(hint, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
}

void TLabelToLinkEventHandlers::Forget(HWND window) {
    if (FLinks.erase(window) != 0) ::RemoveWindowSubclass(window, LabelProc, LinkSubclassId);
    const auto container = FContainerHints.find(window);
    if (container != FContainerHints.end()) {
        // The hint may already be gone with the top-level window that owns it.
        if (container->second != nullptr && ::IsWindow(container->second)) ::DestroyWindow(container->second);
        FContainerHints.erase(container);
        ::RemoveWindowSubclass(window, ContainerProc, LinkSubclassId);
    }
}

LRESULT CALLBACK TLabelToLinkEventHandlers::LabelProc(HWND wnd, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR,
                                                      DWORD_PTR) {
    try {
        TLabelToLinkEventHandlers& self = Instance();
        switch (message) {
            case WM_SETCURSOR:
                ::SetCursor(::LoadCursorW(nullptr, IDC_HAND));
                return TRUE;
            case WM_MOUSEMOVE:
                self.LinkMouseMove(wnd);
                return 0;
            case WM_LBUTTONUP:
                self.LinkClick(wnd);
                return 0;
            case WM_NCDESTROY:
                self.Forget(wnd);
                break;
        }
    } catch (...) {
        ReportCurrentException(::GetAncestor(wnd, GA_ROOT));
    }
    return ::DefSubclassProc(wnd, message, wParam, lParam);
}

LRESULT CALLBACK TLabelToLinkEventHandlers::ContainerProc(HWND wnd, UINT message, WPARAM wParam, LPARAM lParam,
                                                          UINT_PTR, DWORD_PTR) {
    try {
        TLabelToLinkEventHandlers& self = Instance();
        switch (message) {
            case WM_MOUSEMOVE:
                self.ContainerMouseMove(wnd);
                break;
            case WM_CTLCOLORSTATIC: {
                // The container chooses the background; a link chooses its text colour.
                const LRESULT brush = ::DefSubclassProc(wnd, message, wParam, lParam);
                const auto link = self.FLinks.find(reinterpret_cast<HWND>(lParam));
                if (link != self.FLinks.end())
                    ::SetTextColor(reinterpret_cast<HDC>(wParam), link->second.Hot ? LinkHotColour : LinkPlainColour);
                return brush;
            }
            case WM_NCDESTROY:
                self.Forget(wnd);
                break;
        }
    } catch (...) {
        ReportCurrentException(::GetAncestor(wnd, GA_ROOT));
    }
    return ::DefSubclassProc(wnd, message, wParam, lParam);
}

void MakeLabelLink(HWND label, const std::wstring& target) { TLabelToLinkEventHandlers::Instance().Attach(label, target); }

void OpenLinkTarget(const std::wstring& target) {
    if (LinkOpener()) {
        LinkOpener()(target);
        return;
    }
    ::ShellExecuteW(Application().Handle(), L"open", target.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
}

void SetLinkOpenerForTesting(TLinkOpener opener) { LinkOpener() = std::move(opener); }
