#include "settings/SettingsLoad.h"

#include "engine/Exceptions.h"

#include <objbase.h>

TSettingsLoad::TSettingsLoad(std::wstring FileName, HWND Window, UINT Message)
    : FFileName(std::move(FileName)), FWindow(Window), FMessage(Message) {
    FThread = ::CreateThread(nullptr, 256 * 1024, ThreadMain, this, STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr);
    // Without a thread of its own the file is read here, as before: slower, not wrong.
    if (FThread == nullptr) Run();
}

TSettingsLoad::~TSettingsLoad() {
    if (FThread == nullptr) return;
    ::WaitForSingleObject(FThread, INFINITE);
    ::CloseHandle(FThread);
}

DWORD WINAPI TSettingsLoad::ThreadMain(void* Parameter) {
    const HRESULT com = ::CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    static_cast<TSettingsLoad*>(Parameter)->Run();
    if (SUCCEEDED(com)) ::CoUninitialize();
    return 0;
}

void TSettingsLoad::Run() {
    try {
        FResult.Settings = OpenVantrelSettings(FFileName, FResult.ErrorMessage);
        FResult.ExcludeDirectories = LoadExcludeDirectories(FResult.Settings);
    } catch (...) {
        FFailure = std::current_exception();
    }
    FFinished = true;
    ::PostMessageW(FWindow, FMessage, 0, 0);
}

TLoadedSettings TSettingsLoad::Take() {
    if (FThread != nullptr) {
        ::WaitForSingleObject(FThread, INFINITE);  // already ended when the message came
        ::CloseHandle(FThread);
        FThread = nullptr;
    }
    if (FFailure) std::rethrow_exception(FFailure);
    return std::move(FResult);
}
