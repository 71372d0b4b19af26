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
