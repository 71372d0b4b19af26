// Every window test runs on a COM apartment thread, as the program does, and
// records error boxes instead of waiting for a click on them.
#include "platform/ErrorBox.h"
#include "window/WindowTestSupport.h"

#include <gtest/gtest.h>

#include <objbase.h>

std::vector<std::wstring> GShownErrors;

namespace {

void RecordErrorBox(const std::wstring& message) { GShownErrors.push_back(message); }

class TWindowTestEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        SetErrorBoxHandlerForTesting(RecordErrorBox);
    }
    void TearDown() override {
        SetErrorBoxHandlerForTesting(nullptr);
        ::CoUninitialize();
    }
};

[[maybe_unused]] ::testing::Environment* const GEnvironment =
    ::testing::AddGlobalTestEnvironment(new TWindowTestEnvironment);

}  // namespace

// Dispatches messages until Done answers true (or a minute passes).
bool PumpUntil(const std::function<bool()>& done) {
    const ULONGLONG limit = ::GetTickCount64() + 60000;
    while (!done()) {
        if (::GetTickCount64() > limit) return false;
        MSG msg;
        while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_QUIT) continue;
            ::TranslateMessage(&msg);
            ::DispatchMessageW(&msg);
        }
        ::Sleep(5);
    }
    return true;
}

void DrainQuit() {
    MSG msg;
    while (::PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) {}
}
