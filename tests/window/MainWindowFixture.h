#pragma once

#include "settings/VantrelData.h"
#include "ui/Application.h"
#include "ui/VantrelUnit.h"
#include "window/WindowTestSupport.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

// A main window on a settings file of its own, removed before and after the test.
class MainWindowFixture : public ::testing::Test {
protected:
    void SetUp() override {
        Application().SetTitle(L"Vantrel");
        Application().Initialize();
        SettingsFile = GetSettingsFileName();
        ::DeleteFileW(SettingsFile.c_str());
        GShownErrors.clear();
    }
    void TearDown() override {
        Form.reset();
        DrainQuit();
        ::DeleteFileW(SettingsFile.c_str());
    }
    // Creates the window and waits for its first reading pass to end.
    void OpenAndRead() {
        Form = std::make_unique<TVantrelForm>(false);
        ASSERT_TRUE(PumpUntil([&] { return Form->Status1Text().rfind(L"当前可用空间 ", 0) == 0; }))
            << "the first reading pass did not finish";
    }
    void Close() {
        Form.reset();
        DrainQuit();
    }

    std::wstring SettingsFile;
    std::unique_ptr<TVantrelForm> Form;
};
