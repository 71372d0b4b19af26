// Every window fits its texts in both languages at 96, 120, 144 and 192 DPI:
// each control's text, measured in the control's own font, fits its rectangle,
// and so do the texts the windows paint themselves (the check list's rows, the
// legend's rows) and the longest status texts, the Windows system files row
// and its window's summary included. Wine reads the DPI when a
// process starts, so each scale and language is a child run of this program
// (as in DisplayScaleTests). English is measured twice: in Tahoma, as on
// Windows, and in the face that shows Chinese where Tahoma cannot (Wine under
// an English locale), whose letters are wider.
#include "catalogue/VolumeCacheAction.h"
#include "catalogue/Winapp2Action.h"
#include "settings/VantrelData.h"
#include "platform/ProgramFont.h"
#include "texts/Texts.h"
#include "ui/Application.h"
#include "ui/Dpi.h"
#include "ui/LegendFormUnit.h"
#include "ui/OrvViewAbout.h"
#include "ui/PreviewVantrelUnit.h"
#include "ui/SetupVantrelUnit.h"
#include "ui/VantrelUnit.h"
#include "ui/VolumeCachesForm.h"
#include "ui/Winapp2EntriesForm.h"
#include "window/WindowTestSupport.h"

#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

const wchar_t DesktopKey[] = L"Control Panel\\Desktop";
const wchar_t ChildOutputVariable[] = L"VT_TEXT_FIT_OUTPUT";
const wchar_t ChildLanguageVariable[] = L"VT_TEXT_FIT_LANGUAGE";
const wchar_t ChildFaceVariable[] = L"VT_TEXT_FIT_FACE";

std::wstring ClassOf(HWND wnd) {
    wchar_t name[64] = {};
    ::GetClassNameW(wnd, name, 64);
    return name;
}

std::wstring TextOf(HWND wnd) {
    std::wstring text(static_cast<size_t>(::GetWindowTextLengthW(wnd)) + 1, L'\0');
    text.resize(static_cast<size_t>(::GetWindowTextW(wnd, text.data(), static_cast<int>(text.size()))));
    return text;
}

// The size Text takes in Font: on one line, or broken into lines of Width. One
// line is as high as the font's characters (its em, without the leading above
// them, which the designed rows leave out: 13 pixels for an 11-pixel font).
SIZE Measure(HWND wnd, HFONT font, const std::wstring& text, UINT format, int width = 0) {
    HDC dc = ::GetDC(wnd);
    HGDIOBJ old = ::SelectObject(dc, font != nullptr ? font : ::GetStockObject(DEFAULT_GUI_FONT));
    RECT bounds{0, 0, width, 0};
    ::DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &bounds, format | DT_CALCRECT);
    TEXTMETRICW metrics{};
    ::GetTextMetricsW(dc, &metrics);
    ::SelectObject(dc, old);
    ::ReleaseDC(wnd, dc);
    const int lines = metrics.tmHeight > 0 ? (bounds.bottom + metrics.tmHeight - 1) / metrics.tmHeight : 1;
    if (lines <= 1) bounds.bottom = metrics.tmHeight - metrics.tmInternalLeading;
    return SIZE{bounds.right, bounds.bottom};
}

HFONT FontOf(HWND wnd) { return reinterpret_cast<HFONT>(::SendMessageW(wnd, WM_GETFONT, 0, 0)); }

struct TFitCheck {
    std::wstring Window;
    int Dpi = 96;
    std::vector<std::wstring> Problems;

    int S(int length) const { return ::MulDiv(length, Dpi, 96); }

    void Report(const std::wstring& what, const std::wstring& text, SIZE need, SIZE have) {
        Problems.push_back(Window + L": " + what + L" \"" + text + L"\" needs " + std::to_wstring(need.cx) + L"x" +
                           std::to_wstring(need.cy) + L", has " + std::to_wstring(have.cx) + L"x" +
                           std::to_wstring(have.cy));
    }
    void Fits(const std::wstring& what, const std::wstring& text, SIZE need, SIZE have) {
        if (need.cx > have.cx || need.cy > have.cy) Report(what, text, need, have);
    }

    // One control: its kind tells how its text is laid out.
    void Control(HWND wnd) {
        if ((::GetWindowLongPtrW(wnd, GWL_STYLE) & WS_VISIBLE) == 0) return;
        const std::wstring cls = ClassOf(wnd);
        const LONG_PTR style = ::GetWindowLongPtrW(wnd, GWL_STYLE);
        RECT client;
        ::GetClientRect(wnd, &client);
        const SIZE have{client.right, client.bottom};
        const HFONT font = FontOf(wnd);
        if (_wcsicmp(cls.c_str(), L"ComboBox") == 0) {
            const int count = static_cast<int>(::SendMessageW(wnd, CB_GETCOUNT, 0, 0));
            RECT box;
            ::GetWindowRect(wnd, &box);
            for (int i = 0; i < count; ++i) {
                std::wstring item(static_cast<size_t>(::SendMessageW(wnd, CB_GETLBTEXTLEN, i, 0)) + 1, L'\0');
                const LRESULT length = ::SendMessageW(wnd, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(item.data()));
                item.resize(static_cast<size_t>(length));
                SIZE need = Measure(wnd, font, item, DT_SINGLELINE | DT_NOPREFIX);
                need.cx += ::GetSystemMetrics(SM_CXVSCROLL) + S(6);
                Fits(L"list item", item, need, SIZE{box.right - box.left, need.cy});
            }
            return;
        }
        if (_wcsicmp(cls.c_str(), WC_LISTVIEWW) == 0) {
            HWND header = reinterpret_cast<HWND>(::SendMessageW(wnd, LVM_GETHEADER, 0, 0));
            const int count = header != nullptr ? static_cast<int>(::SendMessageW(header, HDM_GETITEMCOUNT, 0, 0)) : 0;
            for (int i = 0; i < count; ++i) {
                wchar_t text[128] = {};
                LVCOLUMNW column{};
                column.mask = LVCF_TEXT | LVCF_WIDTH;
                column.pszText = text;
                column.cchTextMax = 128;
                ::SendMessageW(wnd, LVM_GETCOLUMNW, i, reinterpret_cast<LPARAM>(&column));
                SIZE need = Measure(wnd, FontOf(header), text, DT_SINGLELINE | DT_NOPREFIX);
                need.cx += S(12);
                Fits(L"column", text, need, SIZE{column.cx, need.cy});
            }
            return;
        }
        const std::wstring text = TextOf(wnd);
        if (text.empty()) return;
        if (_wcsicmp(cls.c_str(), L"Static") == 0) {
            const LONG_PTR type = style & SS_TYPEMASK;
            const UINT prefix = (style & SS_NOPREFIX) ? DT_NOPREFIX : 0;
            if (type == SS_LEFT || type == SS_CENTER || type == SS_RIGHT) {
                const SIZE need = Measure(wnd, font, text, DT_WORDBREAK | DT_EXPANDTABS | prefix, have.cx);
                Fits(L"text", text, need, have);
            } else if (type == SS_LEFTNOWORDWRAP || type == SS_SIMPLE || type == SS_OWNERDRAW) {
                Fits(L"line", text, Measure(wnd, font, text, DT_SINGLELINE | prefix), have);
            }
            return;
        }
        if (_wcsicmp(cls.c_str(), L"Button") == 0) {
            const LONG_PTR type = style & BS_TYPEMASK;
            SIZE need = Measure(wnd, font, text, DT_SINGLELINE);
            if (type == BS_GROUPBOX) {
                need.cx += 2 * ::MulDiv(need.cy, 8, 13);
                need.cy = 0;
            } else if (type == BS_RADIOBUTTON || type == BS_AUTORADIOBUTTON || type == BS_CHECKBOX ||
                       type == BS_AUTOCHECKBOX) {
                need.cx += S(13) + S(4);
            } else if (type == BS_OWNERDRAW) {
                // Flat buttons: a margin of 6 each side; those with an image add it and 4.
                need.cx += 2 * S(6);
            } else {
                need.cx += 2 * ::GetSystemMetrics(SM_CXEDGE) + S(6);
            }
            Fits(L"button", text, need, have);
        }
    }

    void Window_(HWND window, const std::wstring& name) {
        Window = name;
        const std::wstring caption = TextOf(window);
        if (!caption.empty()) {
            // The caption, beside the close box, in the caption font of the scale.
            NONCLIENTMETRICSW metrics{};
            metrics.cbSize = sizeof(metrics);
            ::SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof(metrics), &metrics, 0);
            HFONT captionFont = ::CreateFontIndirectW(&metrics.lfCaptionFont);
            RECT bounds;
            ::GetWindowRect(window, &bounds);
            SIZE need = Measure(window, captionFont, caption, DT_SINGLELINE | DT_NOPREFIX);
            need.cx += 3 * ::GetSystemMetrics(SM_CXSIZE);
            ::DeleteObject(captionFont);
            Fits(L"caption", caption, need, SIZE{bounds.right - bounds.left, need.cy});
        }
        ::EnumChildWindows(window,
                           [](HWND child, LPARAM self) -> BOOL {
                               reinterpret_cast<TFitCheck*>(self)->Control(child);
                               return TRUE;
                           },
                           reinterpret_cast<LPARAM>(this));
    }
};

// Runs Steps inside the modal loop of the window shown next (timer messages reach it).
class TInsideModal {
public:
    explicit TInsideModal(std::function<void()> step) : FStep(std::move(step)) {
        GActive = this;
        FTimer = ::SetTimer(nullptr, 0, 100, Tick);
    }
    ~TInsideModal() {
        ::KillTimer(nullptr, FTimer);
        GActive = nullptr;
    }

private:
    static void CALLBACK Tick(HWND, UINT, UINT_PTR, DWORD) {
        TInsideModal* self = GActive;
        if (self == nullptr || self->FDone) return;
        self->FDone = true;
        self->FStep();
    }
    static inline TInsideModal* GActive = nullptr;
    std::function<void()> FStep;
    UINT_PTR FTimer = 0;
    bool FDone = false;
};

HWND FindChildWithText(HWND parent, const std::wstring& text) {
    struct TFind {
        const std::wstring* Text;
        HWND Found;
    } find{&text, nullptr};
    ::EnumChildWindows(parent,
                       [](HWND child, LPARAM param) -> BOOL {
                           auto* f = reinterpret_cast<TFind*>(param);
                           if (TextOf(child) == *f->Text) f->Found = child;
                           return f->Found == nullptr;
                       },
                       reinterpret_cast<LPARAM>(&find));
    return find.Found;
}

// Measures every window of the program in the current language and scale.
std::vector<std::wstring> CheckEveryWindow() {
    TFitCheck check;
    check.Dpi = static_cast<int>(SystemDpi().Value);
    Application().SetTitle(L"Vantrel");
    Application().Initialize();
    const std::wstring settingsFile = GetSettingsFileName();
    {
        TVantrelForm form(false);
        check.Dpi = form.Dpi().Value;
        check.Window_(form.Handle(), L"main");
        // The check list's rows: the name after the state image, in its column.
        TActionCheckList& list = form.CleanupActionsListBox();
        HWND listWindow = list.Handle();
        for (int row = 0; row < list.Count(); ++row) {
            RECT item{};
            ::SendMessageW(listWindow, LB_GETITEMRECT, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item));
            const std::wstring text = list.RowText(row);
            SIZE need = Measure(listWindow, FontOf(listWindow), text, DT_SINGLELINE | DT_NOPREFIX);
            need.cx += form.Dpi()(TActionCheckList::CheckWidth);
            check.Fits(L"row", text, need, SIZE{item.right - item.left, item.bottom - item.top});
        }
        // The Windows system files row, listed where handlers are registered (none here), with its count.
        if (list.Count() > 0) {
            RECT item{};
            ::SendMessageW(listWindow, LB_GETITEMRECT, 0, reinterpret_cast<LPARAM>(&item));
            const std::wstring text = FormatText(TTextId::Winapp2RowChecked, LoadText(TTextId::ActionVolumeCaches), 99);
            SIZE need = Measure(listWindow, FontOf(listWindow), text, DT_SINGLELINE | DT_NOPREFIX);
            need.cx += form.Dpi()(TActionCheckList::CheckWidth);
            check.Fits(L"row", text, need, SIZE{item.right - item.left, item.bottom - item.top});
        }
        // The longest texts of the status lines.
        const std::vector<std::wstring> statuses = {
            LoadText(TTextId::StatusReadyToClean),
            LoadText(TTextId::StatusDefaultsShown),
            LoadText(TTextId::StatusReadingSettings),
            FormatText(TTextId::StatusReadingPercent, 100),
            LoadText(TTextId::StatusCleaning),
            LoadText(TTextId::StatusRemovingEmptyFolders),
            FormatText(TTextId::MainFreeSpace, L"999.9 GB") + FormatText(TTextId::MainFreeable, L"999.9 MB"),
            FormatText(TTextId::StatusSpaceFreed, L"999.9 MB"),
            FormatText(TTextId::StatusTotalFreeSpace, L"999.9 GB",
                       FormatText(TTextId::DeletedFiles, 99999, L"999.9 MB")),
        };
        for (const std::wstring& status : statuses) {
            TStatusSnapshot snapshot;
            form.BeginModalStatus(status, snapshot);
            if (HWND line = FindChildWithText(form.Handle(), status)) check.Control(line);
            form.EndModalStatus(snapshot);
        }

        TLegendForm legend(form.Handle());
        check.Window_(legend.Handle(), L"legend");
        const TDpi dpi{check.Dpi};
        RECT legendClient;
        ::GetClientRect(legend.Handle(), &legendClient);
        for (TTextId id : {TTextId::LegendNothingFound, TTextId::LegendFilesFound, TTextId::LegendNotCounted,
                           TTextId::LegendChecked, TTextId::LegendUnchecked}) {
            SIZE need = Measure(legend.Handle(), FontOf(legend.OKButton()), LoadText(id), DT_SINGLELINE | DT_NOPREFIX);
            // The rows start 12 inside the panel, after the square and a gap of 8.
            need.cx += dpi(TLegendForm::Border + 2 + 12 + TLegendForm::SquareSize + 8) + dpi(TLegendForm::Border + 2);
            check.Fits(L"legend row", LoadText(id), need, SIZE{legendClient.right, need.cy});
        }

        TfrmAbout about(form.Handle());
        about.Prepare(2004, false, TProgramVersion{true, 1, 0, 57});
        check.Window_(about.Handle(), L"about");

        TSetupVantrelForm setup(form.Handle());
        // With synced folders, whose heading and list only show when there are any.
        setup.SetSyncedFolders({L"C:\\Users\\Administrator\\OneDrive - Contoso  (OneDrive)"});
        check.Window_(setup.Handle(), L"setup");

        // The detail window of the first file-mask action, shown as the list shows it.
        TXMLVantrelSettingsType settings = NewVantrelSettings();
        settings.Options().SetFileProtection(L"Smart");
        for (int row = 0; row < form.ActionList().Count(); ++row) {
            auto* item = dynamic_cast<TCleanupFileMaskItem*>(&form.ActionList().Items(row));
            if (item == nullptr) continue;
            TCleanupActionInfoForm detail;
            TInsideModal inside([&] {
                check.Window_(detail.Handle(), L"detail");
                detail.SetModalResult(mrCancel);
            });
            detail.ShowActionInfo(*item, settings, form.Handle());
            break;
        }
        if (TCleanupWinapp2Item* winapp2 = form.Winapp2Item()) {
            TWinapp2EntriesForm entries(*winapp2);
            TInsideModal inside([&] {
                check.Window_(entries.Handle(), L"winapp2");
                entries.SetModalResult(mrCancel);
            });
            entries.ShowModal(form.Handle());
        }
        {
            // The Windows system files window: no handler is registered here, so
            // its hint says so; the summary is measured again with large counts.
            TCleanupList handlers;
            auto& item = static_cast<TCleanupVolumeCacheItem&>(
                handlers.AddAction(TCleanupCustomItem::ClassOf<TCleanupVolumeCacheItem>(), false));
            TVolumeCachesForm caches(item);
            TInsideModal inside([&] {
                check.Window_(caches.Handle(), L"volumecaches");
                const std::wstring shown = FormatText(TTextId::VolumeCachesSummary, 0, 0, FormatSizeText(0));
                if (HWND summary = FindChildWithText(caches.Handle(), shown)) {
                    RECT bounds;
                    ::GetClientRect(summary, &bounds);
                    const std::wstring longest = FormatText(TTextId::VolumeCachesSummary, 99, 99, L"999.9 MB");
                    check.Fits(L"summary", longest, Measure(summary, FontOf(summary), longest, DT_SINGLELINE | DT_NOPREFIX),
                               SIZE{bounds.right, bounds.bottom});
                } else {
                    check.Problems.push_back(L"volumecaches: no summary \"" + shown + L"\"");
                }
                caches.SetModalResult(mrCancel);
            });
            caches.ShowHandlers(form.Handle());
        }
        // Closed by its destructor, like the other windows.
    }
    DrainQuit();
    ::DeleteFileW(settingsFile.c_str());
    return check.Problems;
}

// Only as the child of RunChild: measures in the language it is given and writes what does not fit.
TEST(TextFitChild, WritesWhatDoesNotFit) {
    wchar_t output[MAX_PATH] = {}, language[8] = {};
    if (::GetEnvironmentVariableW(ChildOutputVariable, output, MAX_PATH) == 0) GTEST_SKIP() << "run by TextFit";
    ::GetEnvironmentVariableW(ChildLanguageVariable, language, 8);
    wchar_t face[16] = {};
    ::GetEnvironmentVariableW(ChildFaceVariable, face, 16);
    if (std::wstring(face) == L"chinese") SetProgramFontFaceForTesting(PreferredChineseFace(ChineseFontFaces()));
    DeclarePerMonitorDpiAwareness();
    TLanguageScope scope(std::wstring(language) == L"en" ? TLanguage::English : TLanguage::Chinese);
    const std::vector<std::wstring> problems = CheckEveryWindow();
    FILE* file = _wfopen(output, L"w, ccs=UTF-8");
    ASSERT_NE(file, nullptr);
    std::fwprintf(file, L"measured\n");
    std::fwprintf(file, L"font %ls\n", ProgramFontFace().c_str());
    for (const std::wstring& problem : problems) std::fwprintf(file, L"%ls\n", problem.c_str());
    std::fclose(file);
}

class TSandboxDpi {
public:
    explicit TSandboxDpi(DWORD dpi) {
        DWORD size = sizeof(FOld);
        FHadValue = ::RegGetValueW(HKEY_CURRENT_USER, DesktopKey, L"LogPixels", RRF_RT_REG_DWORD, nullptr, &FOld,
                                   &size) == ERROR_SUCCESS;
        ::RegSetKeyValueW(HKEY_CURRENT_USER, DesktopKey, L"LogPixels", REG_DWORD, &dpi, sizeof(dpi));
    }
    ~TSandboxDpi() {
        if (FHadValue) {
            ::RegSetKeyValueW(HKEY_CURRENT_USER, DesktopKey, L"LogPixels", REG_DWORD, &FOld, sizeof(FOld));
        } else {
            HKEY key;
            if (::RegOpenKeyExW(HKEY_CURRENT_USER, DesktopKey, 0, KEY_SET_VALUE, &key) == ERROR_SUCCESS) {
                ::RegDeleteValueW(key, L"LogPixels");
                ::RegCloseKey(key);
            }
        }
    }

private:
    DWORD FOld = 96;
    bool FHadValue = false;
};

std::wstring OwnPath() {
    wchar_t path[MAX_PATH * 2] = {};
    ::GetModuleFileNameW(nullptr, path, MAX_PATH * 2);
    std::wstring name = path;
    if (name.rfind(L"unix\\", 0) == 0) name = L"\\\\?\\" + name;
    return name;
}

std::string Utf8Of(const std::wstring& text) {
    const int size = ::WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(size > 0 ? size - 1 : 0), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, out.data(), size, nullptr, nullptr);
    return out;
}

// Runs the child at Dpi in Language ("zh" or "en"), in Face ("tahoma", or
// "chinese" for the face chosen where Tahoma cannot show Chinese); its lines,
// or one saying it measured nothing.
std::vector<std::wstring> RunChild(DWORD dpi, const wchar_t* language, const wchar_t* face) {
    TSandboxDpi sandboxDpi(dpi);
    wchar_t temp[MAX_PATH];
    ::GetTempPathW(MAX_PATH, temp);
    const std::wstring output =
        std::wstring(temp) + L"vt-fit-" + language + L"-" + std::to_wstring(dpi) + L".txt";
    ::DeleteFileW(output.c_str());
    std::vector<std::pair<std::wstring, std::wstring>> variables = {
        {ChildOutputVariable, output}, {ChildLanguageVariable, language}, {ChildFaceVariable, face}};
    std::vector<std::pair<std::wstring, std::wstring>> saved;
    for (const auto& [name, value] : variables) {
        wchar_t old[256] = {};
        ::GetEnvironmentVariableW(name.c_str(), old, 256);
        saved.emplace_back(name, old);
        ::SetEnvironmentVariableW(name.c_str(), value.c_str());
    }
    std::wstring commandLine = L"\"" + OwnPath() + L"\" --gtest_filter=TextFitChild.*";
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process{};
    const BOOL started = ::CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                                          &startup, &process);
    for (const auto& [name, value] : saved)
        ::SetEnvironmentVariableW(name.c_str(), value.empty() ? nullptr : value.c_str());
    if (!started) return {L"the child did not start"};
    ::WaitForSingleObject(process.hProcess, 90000);
    ::CloseHandle(process.hThread);
    ::CloseHandle(process.hProcess);
    std::vector<std::wstring> lines;
    FILE* file = _wfopen(output.c_str(), L"r, ccs=UTF-8");
    if (file == nullptr) return {L"the child measured nothing"};
    wchar_t line[2048];
    bool measured = false;
    while (std::fgetws(line, 2048, file) != nullptr) {
        std::wstring text = line;
        while (!text.empty() && (text.back() == L'\n' || text.back() == L'\r')) text.pop_back();
        if (text == L"measured") measured = true;
        else if (text.rfind(L"font ", 0) == 0)
            std::printf("%s at %lu DPI: %s\n", Utf8Of(language).c_str(), static_cast<unsigned long>(dpi),
                        Utf8Of(text).c_str());
        else if (!text.empty()) lines.push_back(text);
    }
    std::fclose(file);
    ::DeleteFileW(output.c_str());
    if (!measured) lines.push_back(L"the child measured nothing");
    return lines;
}

void ExpectEveryTextFits(const wchar_t* language, const wchar_t* face) {
    for (DWORD dpi : {96, 120, 144, 192})
        for (const std::wstring& problem : RunChild(dpi, language, face))
            ADD_FAILURE() << "at " << dpi << " DPI: " << Utf8Of(problem);
}

TEST(TextFit, EveryWindowFitsItsChineseTextsAtFourScales) { ExpectEveryTextFits(L"zh", L"tahoma"); }
TEST(TextFit, EveryWindowFitsItsEnglishTextsAtFourScales) { ExpectEveryTextFits(L"en", L"tahoma"); }
TEST(TextFit, EveryWindowFitsItsEnglishTextsInTheFaceThatShowsChinese) { ExpectEveryTextFits(L"en", L"chinese"); }

}  // namespace
