// ClearUrlCache against WinINet's real cache in the sandbox.
#include "engine/SystemRoutines.h"
#include "SandboxTestSupport.h"

#include <gtest/gtest.h>

#include <windows.h>
#include <wininet.h>

namespace {

int GProcessMessagesCalls = 0;
void CountProcessMessages() { ++GProcessMessagesCalls; }

// Seeds the cache with entries of its own and holds the cache for the test.
class SystemRoutinesUrlCache : public ::testing::Test {
protected:
    void SetUp() override {
        const std::wstring unique = std::to_wstring(::GetCurrentProcessId()) + L"-" + std::to_wstring(::GetTickCount64());
        FPage = L"http://vantrel.test/" + unique + L"/page.html";
        FLowerCookie = L"http://vantrel.test/" + unique + L"/cookie.js";
        FCookie = L"Cookie:tester@vantrel.test/" + unique + L"/";
        for (const auto* url : {&FPage, &FLowerCookie, &FCookie}) ASSERT_TRUE(Seed(*url));
        GProcessMessagesCalls = 0;
        SetProcessMessagesHandler(CountProcessMessages);
    }
    void TearDown() override {
        SetProcessMessagesHandler(nullptr);
        for (const auto* url : {&FPage, &FLowerCookie, &FCookie}) ::DeleteUrlCacheEntryW(url->c_str());
    }

    static bool Seed(const std::wstring& url) {
        wchar_t file[MAX_PATH] = {};
        if (!::CreateUrlCacheEntryW(url.c_str(), 0, L"txt", file, 0)) return false;
        if (!WriteTestFile(file, "cached")) return false;
        const FILETIME none = {};
        return ::CommitUrlCacheEntryW(url.c_str(), file, none, none, NORMAL_CACHE_ENTRY, nullptr, 0, nullptr,
                                      nullptr) != FALSE;
    }

    static bool Cached(const std::wstring& url) {
        DWORD size = 0;
        if (::GetUrlCacheEntryInfoW(url.c_str(), nullptr, &size)) return true;
        return ::GetLastError() == ERROR_INSUFFICIENT_BUFFER;
    }

    TSandboxLock FLock{L"UrlCache"};
    std::wstring FPage, FLowerCookie, FCookie;
};

}  // namespace

TEST_F(SystemRoutinesUrlCache, DeletesCookiesOnly) {
    ASSERT_TRUE(Cached(FPage) && Cached(FLowerCookie) && Cached(FCookie));
    ClearUrlCache(false, true);
    EXPECT_FALSE(Cached(FCookie));
    EXPECT_TRUE(Cached(FPage));
    EXPECT_TRUE(Cached(FLowerCookie));  // "cookie" in lower case is no cookie
    EXPECT_GE(GProcessMessagesCalls, 3);  // once per entry
}

TEST_F(SystemRoutinesUrlCache, DeletesEverythingButCookies) {
    ClearUrlCache(true, false);
    EXPECT_FALSE(Cached(FPage));
    EXPECT_FALSE(Cached(FLowerCookie));
    EXPECT_TRUE(Cached(FCookie));
}

TEST_F(SystemRoutinesUrlCache, DeletesBothOrNeither) {
    ClearUrlCache(false, false);
    EXPECT_TRUE(Cached(FPage) && Cached(FLowerCookie) && Cached(FCookie));
    ClearUrlCache(true, true);
    EXPECT_FALSE(Cached(FPage) || Cached(FLowerCookie) || Cached(FCookie));
}
