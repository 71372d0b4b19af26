// Reading the settings file at start-up away from the window's thread: a file
// of tens of megabytes (hundreds of thousands of excluded folders) takes MSXML
// seconds to parse, and the window must answer Stop and Alt+F4 meanwhile.
#pragma once

#include "settings/VantrelData.h"

#include <windows.h>

#include <atomic>
#include <exception>
#include <memory>
#include <string>
#include <vector>

// What start-up step 1 and the excluded folders of step 3 give.
struct TLoadedSettings {
    TXMLVantrelSettingsType Settings;  // as OpenVantrelSettings gives it
    std::wstring ErrorMessage;         // as OpenVantrelSettings gives it
    // LoadExcludeDirectories of Settings, read on the loading thread too.
    std::vector<std::wstring> ExcludeDirectories;
};

// One start-up read of the settings file on a thread of its own. MSXML's
// documents are free-threaded (CreateDomDocument), so the window's thread uses
// the document afterwards as its own. The thread cannot be interrupted inside
// the parser: a window closed meanwhile is gone at once, and this object waits
// for the thread only when destroyed, after the window, with nothing written.
class TSettingsLoad {
public:
    // Starts reading FileName; Message is posted to Window when the result is there.
    TSettingsLoad(std::wstring FileName, HWND Window, UINT Message);
    ~TSettingsLoad();
    TSettingsLoad(const TSettingsLoad&) = delete;
    TSettingsLoad& operator=(const TSettingsLoad&) = delete;

    // The result, once the message has arrived. Raises what the reading raised
    // besides an unreadable file (which is ErrorMessage): no memory, no MSXML.
    TLoadedSettings Take();
    // The thread has done its work (the message may still be on its way).
    bool Finished() const { return FFinished.load(); }

private:
    static DWORD WINAPI ThreadMain(void* Parameter);
    void Run();

    std::wstring FFileName;
    HWND FWindow;
    UINT FMessage;
    HANDLE FThread = nullptr;
    TLoadedSettings FResult;
    std::exception_ptr FFailure;
    std::atomic<bool> FFinished{false};
};
