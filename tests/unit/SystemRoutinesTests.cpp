// Registry, size text, event log and URL history routines, against the sandbox's Wine.
#include "engine/Exceptions.h"
#include "engine/SystemRoutines.h"
#include "platform/Registry.h"
#include "SandboxTestSupport.h"

#include <gtest/gtest.h>

#include <windows.h>
#include <objbase.h>

#include <limits>
#include <thread>

namespace {

// A key of its own under HKCU\Software\VantrelTests, deleted with its subkeys at the end.
class SystemRoutinesRegistry : public ::testing::Test {
protected:
    void SetUp() override {
        FPath = L"Software\\VantrelTests\\SystemRoutines-" + std::to_wstring(::GetCurrentProcessId()) + L"-" +
                std::to_wstring(::GetTickCount64());
    }
    void TearDown() override {
        ::RegDeleteTreeW(HKEY_CURRENT_USER, FPath.c_str());
        ::RegDeleteKeyW(HKEY_CURRENT_USER, L"Software\\VantrelTests");  // only goes when no one else uses it
    }

    void SetValue(const std::wstring& key, const wchar_t* name, const wchar_t* data) {
        TRegKey handle;
        ASSERT_EQ(::RegCreateKeyExW(HKEY_CURRENT_USER, key.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                    handle.Receive(), nullptr),
                  ERROR_SUCCESS);
        const DWORD bytes = static_cast<DWORD>((wcslen(data) + 1) * sizeof(wchar_t));
        ASSERT_EQ(::RegSetValueExW(handle.Get(), name, 0, REG_SZ, reinterpret_cast<const BYTE*>(data), bytes),
                  ERROR_SUCCESS);
    }

    static DWORD ValueCount(const std::wstring& key) {
        TRegKey handle;
        if (::RegOpenKeyExW(HKEY_CURRENT_USER, key.c_str(), 0, KEY_READ, handle.Receive()) != ERROR_SUCCESS)
            return ~0u;
        DWORD values = 0;
        ::RegQueryInfoKeyW(handle.Get(), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &values, nullptr,
                           nullptr, nullptr, nullptr);
        return values;
    }

    std::wstring FPath;
};

}  // namespace

TEST_F(SystemRoutinesRegistry, DeletesOnlyTheKeysOwnValues) {
    SetValue(FPath, L"MRUList", L"cba");
    SetValue(FPath, L"a", L"C:\\first.txt");
    SetValue(FPath, L"", L"default value");
    SetValue(FPath + L"\\Child", L"kept", L"still here");
    ASSERT_EQ(ValueCount(FPath), 3u);

    DeleteRegistryValues(HKEY_CURRENT_USER, L"\\" + FPath);

    EXPECT_EQ(ValueCount(FPath), 0u);
    EXPECT_TRUE(RegistryKeyExists(HKEY_CURRENT_USER, L"\\" + FPath));
    EXPECT_EQ(ValueCount(FPath + L"\\Child"), 1u);
}

TEST_F(SystemRoutinesRegistry, MissingKeysAreSilentAndNotCreated) {
    const std::wstring missing = L"\\" + FPath + L"\\Missing";
    EXPECT_FALSE(RegistryKeyExists(HKEY_CURRENT_USER, missing));
    EXPECT_NO_THROW(DeleteRegistryValues(HKEY_CURRENT_USER, missing));
    EXPECT_FALSE(RegistryKeyExists(HKEY_CURRENT_USER, missing));
    SetValue(FPath, L"x", L"y");
    EXPECT_TRUE(RegistryKeyExists(HKEY_CURRENT_USER, FPath));  // the leading backslash is optional
}

// --- FormatSizeText ---

namespace {

// The expected text with "." standing for the user's decimal separator.
std::wstring Localised(std::wstring text) {
    wchar_t separator[8] = {};
    ::GetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_SDECIMAL, separator, 8);
    const size_t dot = text.find(L'.');
    if (dot != std::wstring::npos) text.replace(dot, 1, separator);
    return text;
}

constexpr double KB = 1024.0;
constexpr double GB = KB * KB * KB;

}  // namespace

TEST(SystemRoutinesFormatSizeText, UnitIsChosenBeforeRounding) {
    EXPECT_EQ(FormatSizeText(0), L"0 bytes");
    EXPECT_EQ(FormatSizeText(1023), L"1023 bytes");
    EXPECT_EQ(FormatSizeText(1024), L"1 KB");
    EXPECT_EQ(FormatSizeText(1536), Localised(L"1.5 KB"));
    EXPECT_EQ(FormatSizeText(1048575), L"1024 KB");
    EXPECT_EQ(FormatSizeText(KB * KB), L"1 MB");
    EXPECT_EQ(FormatSizeText(3.75 * KB * KB), Localised(L"3.8 MB"));
    EXPECT_EQ(FormatSizeText(1023.96 * KB * KB), L"1024 MB");
    EXPECT_EQ(FormatSizeText(GB), L"1 GB");
    EXPECT_EQ(FormatSizeText(5000 * GB), L"5000 GB");
    EXPECT_EQ(FormatSizeText(123456.7 * GB), Localised(L"123456.7 GB"));
}

TEST(SystemRoutinesFormatSizeText, NegativeAndNotANumberReadAsZero) {
    EXPECT_EQ(FormatSizeText(-1), L"0 bytes");
    EXPECT_EQ(FormatSizeText(-5000 * GB), L"0 bytes");
    EXPECT_EQ(FormatSizeText(std::numeric_limits<double>::quiet_NaN()), L"0 bytes");
}

TEST(SystemRoutinesFormatSizeText, TiesGoToEvenOnTheExactValue) {
    EXPECT_EQ(FormatSizeText(2304), Localised(L"2.2 KB"));  // 2.25
    EXPECT_EQ(FormatSizeText(3328), Localised(L"3.2 KB"));  // 3.25
    EXPECT_EQ(FormatSizeText(2816), Localised(L"2.8 KB"));  // 2.75
    EXPECT_EQ(FormatSizeText(0.25), Localised(L"0.2 bytes"));
    // 0.35 is stored as 0.34999999999999997…; times ten it is below the tie,
    // although the product rounded to a double is exactly 3.5.
    EXPECT_EQ(FormatSizeText(0.35), Localised(L"0.3 bytes"));
    EXPECT_EQ(FormatSizeText(0.15), Localised(L"0.1 bytes"));
}

TEST(SystemRoutinesFormatSizeText, UsesTheUsersDecimalSeparator) {
    wchar_t saved[8] = {};
    ASSERT_GT(::GetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_SDECIMAL, saved, 8), 0);
    std::wstring text;
    {
        TSandboxLock lock(L"Locale");
        if (!::SetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_SDECIMAL, L",")) GTEST_SKIP() << "locale is read-only";
        text = FormatSizeText(1536);
        ::SetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_SDECIMAL, saved);
    }
    EXPECT_EQ(text, L"1,5 KB");
}

// --- Event logs and URL history: Wine only stubs the clearing, so what can be
// checked is that the calls go through and raise nothing. ---

TEST(SystemRoutinesEventLog, ClearsEachLogByItsName) {
    EXPECT_STREQ(EventLogName(elApplication), L"APPLICATION");
    EXPECT_STREQ(EventLogName(elSecurity), L"SECURITY");
    EXPECT_STREQ(EventLogName(elSystem), L"SYSTEM");
    EXPECT_THROW(EventLogName(static_cast<TEventLogKind>(3)), EAssertionFailed);
    for (TEventLogKind kind : {elApplication, elSecurity, elSystem}) EXPECT_NO_THROW(ClearEventLog(kind));
}

TEST(SystemRoutinesUrlHistory, ClearsThroughTheSystemHistoryObject) {
    ASSERT_TRUE(SUCCEEDED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
    EXPECT_NO_THROW(ClearUrlHistory());
    ::CoUninitialize();
}

TEST(SystemRoutinesUrlHistory, CreationFailureNamesTheClass) {
    // A thread that never initialised COM cannot create the object.
    std::wstring message;
    std::thread worker([&message] {
        try {
            ClearUrlHistory();
        } catch (const Exception& e) {
            message = e.Message();
        }
    });
    worker.join();
    const std::wstring suffix = L", ClassID: {3C374A40-BAE4-11CF-BF7D-00AA006946EE}";
    ASSERT_GT(message.size(), suffix.size());
    EXPECT_EQ(message.substr(message.size() - suffix.size()), suffix);
}
