// The automatic run's log: the size limit that drops the oldest half on a line
// boundary, the time stamps, and the one route for errors (box or log line).
#include "engine/Exceptions.h"
#include "engine/SystemRoutines.h"
#include "platform/ErrorBox.h"
#include "platform/LogFile.h"
#include "support/TempFolder.h"
#include "ui/ErrorReport.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

namespace {

std::string ReadAllBytes(const std::wstring& path) {
    HANDLE h = ::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) return "";
    std::string bytes(1 << 20, '\0');
    DWORD read = 0;
    ::ReadFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr);
    ::CloseHandle(h);
    bytes.resize(read);
    return bytes;
}

std::vector<std::string> SplitCrLf(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2)
        lines.push_back(text.substr(start, end - start));
    if (start != text.size()) lines.push_back(text.substr(start));  // an unfinished line
    return lines;
}

std::string Utf8(const std::wstring& text) {
    const int size = ::WideCharToMultiByte(CP_UTF8, 0, text.data(), int(text.size()), nullptr, 0, nullptr, nullptr);
    std::string result(size_t(size), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, text.data(), int(text.size()), result.data(), size, nullptr, nullptr);
    return result;
}

// "line 01\r\n" ... : Count lines of nine bytes each.
std::string NineByteLines(int count) {
    std::string text;
    for (int i = 1; i <= count; ++i) text += "line " + std::string(i < 10 ? "0" : "") + std::to_string(i) + "\r\n";
    return text;
}

}  // namespace

// --- Keeping the log below its limit ---

TEST(RunLog, OldestHalfGoesOnALineBoundaryOnlyWhenTheLimitWouldBeReached) {
    const std::string ten = NineByteLines(10);  // 90 bytes, lines start every 9 bytes
    EXPECT_EQ(KeptLogText(ten, 9, 100), ten);                  // 99 < 100: all stays
    // 100 would reach the limit. The middle (45) is the start of line 6, which stays.
    EXPECT_EQ(KeptLogText(ten, 10, 100), ten.substr(45));
    // From eleven lines (99 bytes) the middle (49) falls inside line 6: it goes with the older half.
    const std::string eleven = NineByteLines(11);
    EXPECT_EQ(KeptLogText(eleven, 9, 100), eleven.substr(54));
    EXPECT_EQ(KeptLogText(eleven, 9, 100).substr(0, 7), "line 07");
    // No line starts in the newer half, or it leaves no room: nothing stays.
    EXPECT_EQ(KeptLogText(std::string(60, 'x') + "\r\n", 50, 100), "");
    EXPECT_EQ(KeptLogText(ten, 60, 100), "");
    EXPECT_EQ(KeptLogText("", 100, 100), "");
}

TEST(RunLog, AppendedFileStaysBelowTheLimitWithTheNewestLinesWhole) {
    TTempFolder temp(L"runlog");
    const std::wstring log = temp.Path() + L"Vantrel.log";
    constexpr size_t limit = 400;
    bool shortened = false;
    size_t previous = 0;
    for (int i = 1; i <= 60; ++i) {
        AppendLogLine(log, L"第 " + std::to_wstring(i) + L" 行", limit);
        const std::string bytes = ReadAllBytes(log);
        ASSERT_LT(bytes.size(), limit) << i;
        shortened = shortened || bytes.size() < previous;
        previous = bytes.size();
        // Whole lines only, consecutive, ending with the one just written.
        const std::vector<std::string> lines = SplitCrLf(bytes);
        ASSERT_FALSE(lines.empty());
        ASSERT_EQ(bytes.substr(bytes.size() - 2), "\r\n");
        const int first = i - static_cast<int>(lines.size()) + 1;
        for (size_t k = 0; k < lines.size(); ++k)
            ASSERT_EQ(lines[k], Utf8(L"第 " + std::to_wstring(first + static_cast<int>(k)) + L" 行")) << i;
        if (shortened) ASSERT_GE(bytes.size(), limit / 2 - 20) << "more than the oldest half went at line " << i;
    }
    EXPECT_TRUE(shortened);
    EXPECT_FALSE(FileExists(log + L".new"));
}

TEST(RunLog, TimeStampsAreLocalIsoLikeToTheSecond) {
    EXPECT_EQ(DateTimeStampText(EncodeDateTime(2024, 2, 29, 23, 59, 59, 999)), L"2024-02-29 23:59:59");
    EXPECT_EQ(DateTimeStampText(EncodeDateTime(1999, 12, 31, 0, 0, 0, 0)), L"1999-12-31 00:00:00");
    EXPECT_EQ(DateTimeStampText(EncodeDateTime(2100, 3, 1, 7, 5, 3, 0)), L"2100-03-01 07:05:03");
    EXPECT_EQ(DateTimeStampText(0.0), L"1899-12-30 00:00:00");
}

// --- One route for errors ---

namespace {

std::vector<std::wstring> GBoxes;
void RecordBox(const std::wstring& message) { GBoxes.push_back(message); }
TDateTime FixedNow() { return EncodeDateTime(2026, 3, 10, 4, 30, 15, 0); }
uint64_t FixedTicks() { return 1000; }

class ErrorReporting : public ::testing::Test {
protected:
    void SetUp() override {
        GBoxes.clear();
        ResetErrorReportingForTesting();
        SetErrorBoxHandlerForTesting(RecordBox);
        SetClockForTesting(FixedNow, FixedTicks);
    }
    void TearDown() override {
        ResetErrorReportingForTesting();
        SetErrorBoxHandlerForTesting(nullptr);
        SetClockForTesting(nullptr, nullptr);
    }
    TTempFolder Temp{L"errorreport"};
    const std::wstring Log = Temp.Path() + L"Vantrel.log";
};

}  // namespace

TEST_F(ErrorReporting, AutomaticRunWritesLinesWithTimeAndActionAndShowsNoBox) {
    StartAutomaticErrorReporting();
    EXPECT_FALSE(ErrorsReported());
    // Before the log's name is known (start-up), the line waits.
    ReportError(nullptr, L"无法启动。", L"启动");
    EXPECT_TRUE(ErrorsReported());
    SetRunLogFileName(Log);
    ReportError(nullptr, L"无法保存设置文件 C:\\x\\Vantrel.cfg\r\n拒绝访问。", L"保存设置");
    try {
        throw EOSError(5, L"\"Remove\": The item cannot be deleted.");
    } catch (...) {
        ReportCurrentException(nullptr, L"清理操作 \"清空 Outlook 已删除对象的文件\"");
    }
    WriteRunLogLine(L"自动清理结束。");

    EXPECT_TRUE(GBoxes.empty());
    EXPECT_EQ(SplitCrLf(ReadAllBytes(Log)),
              (std::vector<std::string>{
                  Utf8(L"2026-03-10 04:30:15  错误 (启动): 无法启动。"),
                  Utf8(L"2026-03-10 04:30:15  错误 (保存设置): 无法保存设置文件 C:\\x\\Vantrel.cfg 拒绝访问。"),
                  Utf8(L"2026-03-10 04:30:15  错误 (清理操作 \"清空 Outlook 已删除对象的文件\"): \"Remove\": "
                       L"The item cannot be deleted."),
                  Utf8(L"2026-03-10 04:30:15  自动清理结束。"),
              }));
}

TEST_F(ErrorReporting, AutomaticRunCutsAHugeMessageToOneShortLine) {
    StartAutomaticErrorReporting();
    SetRunLogFileName(Log);
    ReportError(nullptr, std::wstring(100000, L'长') + L"\r\n\r\n尾");
    const std::vector<std::string> lines = SplitCrLf(ReadAllBytes(Log));
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_LT(lines[0].size(), 8000u);
    EXPECT_EQ(lines[0].rfind(Utf8(L"2026-03-10 04:30:15  错误: 长长"), 0), 0u);
}

TEST_F(ErrorReporting, InteractiveRunShowsTheBoxAsItIsAndWritesNoLog) {
    SetRunLogFileName(Log);  // never set by an interactive run, and ignored if it were
    ReportError(nullptr, L"第一行\r\n第二行", L"保存设置");
    try {
        throw std::bad_alloc();
    } catch (...) {
        ReportCurrentException(nullptr);
    }
    WriteRunLogLine(L"自动清理结束。");
    EXPECT_EQ(GBoxes, (std::vector<std::wstring>{L"第一行\r\n第二行", L"内存不足。"}));
    EXPECT_TRUE(ErrorsReported());
    EXPECT_FALSE(FileExists(Log));
}
