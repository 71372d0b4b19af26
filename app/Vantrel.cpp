// Program entry: one instance per executable path, then the main window and its
// message loop. An automatic run ("/auto") reports errors to its log instead of
// error boxes, ends with one line on what it did, and exits with 1 when anything
// failed (0 otherwise).
#include "app/AutoMode.h"
#include "texts/Texts.h"
#include "app/SingleInstance.h"
#include "app/VolumeCacheHost.h"
#include "engine/PlaceholderMode.h"
#include "settings/SettingsFile.h"
#include "settings/VantrelData.h"
#include "ui/Application.h"
#include "ui/ErrorReport.h"
#include "ui/VantrelUnit.h"

#include <windows.h>
#include <commctrl.h>
#include <objbase.h>

#include <memory>

namespace {

// The run's language from the command line and Windows' display language, and,
// once the settings file may be looked at, from the choice stored there.
void ChooseRunLanguage(const std::wstring& settingsFileName) {
    TLanguage switched = TLanguage::Chinese;
    const bool given = LanguageSwitch(switched);
    const std::wstring stored = given || settingsFileName.empty() ? L"" : ReadLanguageSetting(settingsFileName);
    SetCurrentLanguage(ChooseLanguage(given, switched, stored, ::GetUserDefaultUILanguage()));
    // The system's own texts on this thread (message box buttons, the folder
    // browser, system error texts) in English too, where Windows has them.
    if (CurrentLanguage() == TLanguage::English && PRIMARYLANGID(::GetUserDefaultUILanguage()) != LANG_ENGLISH)
        ::SetThreadUILanguage(MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US));
}

int RunProgram(bool autoMode) {
    TInstanceRegistry instances(MakeInstanceIdentifier(GetOwnExecutablePath()));
    if (!instances.CheckSingleInstance()) {
        instances.SwitchToFirstInstance();
        return 0;  // the registry's destructor removes this process again
    }
    try {
        ChooseRunLanguage(GetSettingsFileName());
    } catch (...) {
        // The main window reports what is wrong with the settings file.
    }
    if (autoMode) {
        // Only now: working out the settings file may move it, which the running
        // instance we just handed over to must not see.
        try {
            SetRunLogFileName(RunLogFileName(GetSettingsFileName()));
        } catch (...) {
            ReportCurrentException(nullptr, LoadText(TTextId::ErrorContextStartup));
        }
    }

    INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_WIN95_CLASSES | ICC_STANDARD_CLASSES};
    ::InitCommonControlsEx(&controls);

    TApplication& application = Application();
    application.SetTitle(L"Vantrel");
    application.Initialize();

    auto mainForm = std::make_unique<TVantrelForm>(autoMode);
    int exitCode = application.Run();
    const TCleanupPassResult pass = mainForm->LastCleanupPass();
    mainForm.reset();  // saves the settings, which may fail too
    if (!autoMode) return exitCode;
    // Once, whichever thread met it: the sync roots still stay out of the walk.
    if (const std::wstring failure = PlaceholderExposureFailure(); !failure.empty()) WriteRunLogLine(failure);
    WriteRunLogLine(AutoRunSummaryText(pass, ErrorsReported()));
    return ErrorsReported() ? 1 : 0;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    ChooseRunLanguage(L"");
    // A host of disk cleanup handlers is no instance of the program: no window,
    // no single-instance check, no settings, no log.
    const std::wstring hostPipe = VolumeCacheHostPipeNameOfProcess();
    if (!hostPipe.empty()) return RunVolumeCacheHost(hostPipe);
    // Before anything lists a folder: cloud placeholders must show as such.
    ExposePlaceholders();
    const bool autoMode = IsAutoMode();
    if (autoMode) StartAutomaticErrorReporting();
    // The settings document, the shell and automation all need COM on this thread.
    HRESULT com = ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    int exitCode = 0;
    try {
        exitCode = RunProgram(autoMode);
    } catch (...) {
        ReportCurrentException(nullptr, LoadText(TTextId::ErrorContextStartup));
        exitCode = 1;
        // An error before the log's name was known is held; it must still reach
        // the log, or a scheduled run ends with 1 and nothing says why.
        if (autoMode) {
            try {
                SetRunLogFileName(RunLogFileName(GetSettingsFileName()));
            } catch (...) {
            }
        }
    }
    if (SUCCEEDED(com)) ::CoUninitialize();
    return exitCode;
}
