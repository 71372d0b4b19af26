// Program entry: one instance per executable path, then the main window and its
// message loop.
#include "app/AutoMode.h"
#include "app/SingleInstance.h"
#include "platform/ErrorBox.h"
#include "ui/Application.h"
#include "ui/VantrelUnit.h"

#include <windows.h>
#include <commctrl.h>
#include <objbase.h>

#include <memory>

namespace {

int RunProgram() {
    TInstanceRegistry instances(MakeInstanceIdentifier(GetOwnExecutablePath()));
    if (!instances.CheckSingleInstance()) {
        instances.SwitchToFirstInstance();
        return 0;  // the registry's destructor removes this process again
    }

    INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_WIN95_CLASSES | ICC_STANDARD_CLASSES};
    ::InitCommonControlsEx(&controls);

    TApplication& application = Application();
    application.SetTitle(L"Vantrel");
    application.Initialize();

    auto mainForm = std::make_unique<TVantrelForm>(IsAutoMode());
    int exitCode = application.Run();
    mainForm.reset();
    return exitCode;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    // The settings document, the shell and automation all need COM on this thread.
    HRESULT com = ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    int exitCode = 0;
    try {
        exitCode = RunProgram();
    } catch (...) {
        ShowCurrentException(nullptr);
        exitCode = 1;
    }
    if (SUCCEEDED(com)) ::CoUninitialize();
    return exitCode;
}
