// winapp2.ini as text: encodings, every key and flag, variables, and the
// entries that are refused whole.
#include "catalogue/Winapp2Format.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

TWinapp2Folders MachineFolders() {
    TWinapp2Folders f;
    f.UsersFolder = L"C:\\Users";
    f.UserProfile = L"C:\\Users\\me";
    f.AppData = L"C:\\Users\\me\\AppData\\Roaming";
    f.LocalAppData = L"C:\\Users\\me\\AppData\\Local";
    f.LocalLowAppData = L"C:\\Users\\me\\AppData\\LocalLow";
    f.ProgramData = L"C:\\ProgramData";
    f.ProgramFiles = {L"C:\\Program Files", L"C:\\Program Files (x86)"};
    f.CommonProgramFiles = {L"C:\\Program Files\\Common Files", L"C:\\Program Files (x86)\\Common Files"};
    f.Documents = L"C:\\Users\\me\\Documents";
    f.Pictures = L"C:\\Users\\me\\Pictures";
    f.Music = L"C:\\Users\\me\\Music";
    f.Video = L"C:\\Users\\me\\Videos";
    f.Desktop = L"C:\\Users\\me\\Desktop";
    f.Public = L"C:\\Users\\Public";
    f.Downloads = L"C:\\Users\\me\\Downloads";
    f.SystemDrive = L"C:";
    f.WinDir = L"C:\\Windows";
    f.Temp = L"C:\\Users\\me\\AppData\\Local\\Temp";
    f.UserName = L"me";
    return f;
}

std::string Utf8(const std::wstring& text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        uint32_t c = static_cast<uint16_t>(text[i]);
        if (c >= 0xD800 && c < 0xDC00 && i + 1 < text.size()) {
            c = 0x10000 + ((c - 0xD800) << 10) + (static_cast<uint16_t>(text[++i]) - 0xDC00);
        }
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += static_cast<char>(0xE0 | (c >> 12));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (c >> 18));
            out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

std::string Utf16Le(const std::wstring& text) {
    std::string out = "\xFF\xFE";
    for (wchar_t c : text) {
        out += static_cast<char>(c & 0xFF);
        out += static_cast<char>((c >> 8) & 0xFF);
    }
    return out;
}

const wchar_t* const EveryKey =
    L"; a comment\n"
    L"[微信 *]\n"
    L"LangSecRef=3021\n"
    L"Detect=HKCU\\Software\\Tencent\\WeChat\n"
    L"Detect2=HKLM\\Software\\WOW6432Node\\Tencent\\WeChat\n"
    L"DetectFile=%AppData%\\Tencent\\WeChat\n"
    L"DetectFile2=%ProgramFiles%\\Tencent\\WeChat\\WeChat.exe\n"
    L"DetectOS=6.1|\n"
    L"SpecialDetect=DET_CHROME\n"
    L"Default=True\n"
    L"Warning=会删除聊天记录的缓存。\n"
    L"FileKey1=%AppData%\\Tencent\\WeChat\\log|*.xlog;*.log|RECURSE\n"
    L"FileKey2=%LocalAppData%\\Tencent\\WeChat\\Cache|*.*|REMOVESELF\n"
    L"ExcludeKey1=FILE|%AppData%\\Tencent\\WeChat\\log\\|keep.log\n"
    L"ExcludeKey2=PATH|%AppData%\\Tencent\\WeChat\\log\\pinned\\|*.*\n"
    L"ExcludeKey3=REG|HKCU\\Software\\Tencent\\WeChat\\Keep|Value\n"
    L"ExcludeKey4=FILE|%AppData%\\Tencent\\WeChat\\log\\other.log\n"
    L"RegKey1=HKCU\\Software\\Tencent\\WeChat\\Recent\n"
    L"RegKey2=HKCU\\Software\\Tencent\\WeChat|LastFile\n"
    L"\n"
    L"[Own Group *]\n"
    L"Section=聊天工具\n"
    L"FileKey1=%Temp%\\own|*.tmp\n";

}  // namespace

TEST(Winapp2Text, EveryEncodingAndLineEndReadsTheSame) {
    std::wstring crlf;
    for (const wchar_t* p = EveryKey; *p; ++p) {
        if (*p == L'\n') crlf += L'\r';
        crlf += *p;
    }
    const std::vector<std::string> files = {Utf8(EveryKey), "\xEF\xBB\xBF" + Utf8(EveryKey), Utf8(crlf),
                                            "\xEF\xBB\xBF" + Utf8(crlf), Utf16Le(EveryKey), Utf16Le(crlf)};
    for (const std::string& bytes : files) {
        const TWinapp2File file = ParseWinapp2(DecodeWinapp2Text(bytes));
        ASSERT_EQ(file.Entries.size(), 2u);
        EXPECT_EQ(file.Entries[0].Name, L"微信 *");
        EXPECT_EQ(file.Entries[0].FileKeys.size(), 2u);
        EXPECT_EQ(file.Entries[0].FileKeys[0].Patterns, (std::vector<std::wstring>{L"*.xlog", L"*.log"}));
        EXPECT_EQ(file.Entries[0].Warning, L"会删除聊天记录的缓存。");
        EXPECT_EQ(file.SkippedLines, 0);
    }
    // Bytes that are not UTF-8 do not stop the file.
    const TWinapp2File broken = ParseWinapp2(DecodeWinapp2Text("[A \xFF *]\nFileKey1=C:\\x|*.tmp\n"));
    ASSERT_EQ(broken.Entries.size(), 1u);
    EXPECT_EQ(broken.Entries[0].Name, L"A \xFFFD *");
}

TEST(Winapp2Text, EveryKeyAndFlagIsRead) {
    const TWinapp2File file = ParseWinapp2(EveryKey);
    ASSERT_EQ(file.Entries.size(), 2u);
    const TWinapp2Entry& e = file.Entries[0];
    EXPECT_EQ(e.LangSecRef, 3021);
    EXPECT_EQ(e.Detect, (std::vector<std::wstring>{L"HKCU\\Software\\Tencent\\WeChat",
                                                   L"HKLM\\Software\\WOW6432Node\\Tencent\\WeChat"}));
    EXPECT_EQ(e.DetectFile.size(), 2u);
    EXPECT_EQ(e.DetectOS, L"6.1|");
    EXPECT_EQ(e.SpecialDetect, std::vector<std::wstring>{L"DET_CHROME"});
    EXPECT_TRUE(e.Default);
    EXPECT_TRUE(e.FileKeys[0].Recurse);
    EXPECT_FALSE(e.FileKeys[0].RemoveSelf);
    // REMOVESELF reaches the folders below, and "*.*" takes every name.
    EXPECT_TRUE(e.FileKeys[1].RemoveSelf);
    EXPECT_TRUE(e.FileKeys[1].Recurse);
    EXPECT_EQ(e.FileKeys[1].Patterns, std::vector<std::wstring>{L"*"});
    ASSERT_EQ(e.Excludes.size(), 4u);
    EXPECT_EQ(e.Excludes[0].Kind, TWinapp2Exclude::ekFile);
    EXPECT_EQ(e.Excludes[0].Patterns, std::vector<std::wstring>{L"keep.log"});
    EXPECT_EQ(e.Excludes[1].Kind, TWinapp2Exclude::ekPath);
    EXPECT_EQ(e.Excludes[1].Patterns, std::vector<std::wstring>{L"*"});
    EXPECT_EQ(e.Excludes[2].Kind, TWinapp2Exclude::ekReg);
    EXPECT_EQ(e.Excludes[2].Value, L"Value");
    // FILE with the name in the path.
    EXPECT_EQ(e.Excludes[3].Path, L"%AppData%\\Tencent\\WeChat\\log");
    EXPECT_EQ(e.Excludes[3].Patterns, std::vector<std::wstring>{L"other.log"});
    EXPECT_EQ(e.FileKeys[0].Name, L"FileKey1");
    EXPECT_EQ(e.RegKeys[1].Name, L"RegKey2");
    ASSERT_EQ(e.RegKeys.size(), 2u);
    EXPECT_FALSE(e.RegKeys[0].Value.has_value());
    EXPECT_EQ(e.RegKeys[1].Value, std::optional<std::wstring>(L"LastFile"));
    EXPECT_EQ(e.Refusal, L"");
    EXPECT_EQ(Winapp2GroupName(e), L"应用程序");
    EXPECT_EQ(Winapp2GroupName(file.Entries[1]), L"聊天工具");
    EXPECT_EQ(Winapp2DisplayName(e.Name), L"微信");
}

TEST(Winapp2Text, UnreadableLinesAreCountedAndTheRestLoads) {
    const TWinapp2File file = ParseWinapp2(
        L"orphan=1\n"                 // before any entry
        L"[Good *]\n"
        L"this line has no equals\n"
        L"Colour=blue\n"              // a key the format does not know
        L"LangSecRef=abc\n"
        L"FileKey1=C:\\Good|*.tmp\n"
        L"[Broken\n"                  // its keys must not land in Good
        L"FileKey2=C:\\Other|*.tmp\n"
        L"[Later *]\n"
        L"FileKey1=C:\\Later|*.log\n");
    EXPECT_EQ(file.SkippedLines, 6);
    ASSERT_EQ(file.Entries.size(), 2u);
    EXPECT_EQ(file.Entries[0].FileKeys.size(), 1u);
    EXPECT_EQ(file.Entries[1].Name, L"Later *");
}

TEST(Winapp2Text, AnEntryNamedTwiceKeepsTheLaterOne) {
    const TWinapp2File file = ParseWinapp2(L"[A *]\nFileKey1=C:\\one|*.a\n[B *]\n[a *]\nFileKey1=C:\\two|*.b\n");
    ASSERT_EQ(file.Entries.size(), 2u);
    EXPECT_EQ(file.Entries[0].Name, L"a *");
    EXPECT_EQ(file.Entries[0].FileKeys[0].Path, L"C:\\two");
}

TEST(Winapp2Text, AKeyThatCannotBeUsedIsPassedOverAndTheRestRuns) {
    const struct {
        const wchar_t* Key;
        const wchar_t* Reason;
    } cases[] = {
        {L"FileKey7=C:\\x", L"FileKey7 没有文件名"},
        {L"FileKey7=%LocalAppData%\\Dropbox\\", L"FileKey7 没有文件名"},
        {L"FileKey1=|*.tmp", L"FileKey1 没有路径"},
        {L"FileKey1=C:\\x|*.tmp|RECURSIVE", L"FileKey1 有未知的标志: RECURSIVE"},
        {L"FileKey1=C:\\x|sub\\*.tmp", L"FileKey1 的文件名不能含有路径: sub\\*.tmp"},
        {L"FileKey1=%Package\\LocalCache|*", L"FileKey1: 未知的变量: %Package\\LocalCache"},
        {L"RegKey1=HKCU\\Software\\X|", L"RegKey1 没有值的名称"},
        {L"RegKey1=HKXX\\Software\\App", L"RegKey1 的根键未知: HKXX\\Software\\App"},
        {L"RegKey1=HKCU\\Software\\App*", L"RegKey1 中不能有通配符: HKCU\\Software\\App*"},
    };
    for (const auto& c : cases) {
        TWinapp2File file = ParseWinapp2(std::wstring(L"[E *]\nFileKey2=C:\\ok|*.tmp\n") + c.Key + L"\n");
        ASSERT_EQ(file.Entries.size(), 1u);
        TWinapp2Entry& e = file.Entries[0];
        CheckWinapp2Entry(e, MachineFolders());
        EXPECT_EQ(e.Refusal, L"") << c.Key;
        EXPECT_EQ(e.KeyFaults, std::vector<std::wstring>{c.Reason}) << c.Key;
        ASSERT_EQ(e.FileKeys.size(), 1u) << c.Key;
        EXPECT_EQ(e.FileKeys[0].Name, L"FileKey2");
        // Alone, the key leaves nothing to run: the entry is refused with its reason.
        const TWinapp2File alone = ParseWinapp2(std::wstring(L"[E *]\n") + c.Key + L"\n");
        EXPECT_EQ(RefuseWinapp2Entry(alone.Entries[0], MachineFolders()), c.Reason);
    }
    // Without an ExcludeKey the entry would take what it means to keep: refused whole.
    const TWinapp2File exclude = ParseWinapp2(L"[E *]\nFileKey1=C:\\ok|*.tmp\nExcludeKey1=DIR|C:\\x\n");
    EXPECT_EQ(exclude.Entries[0].Refusal, L"ExcludeKey1 无法读取: DIR|C:\\x");
    // Two faults and nothing left.
    const TWinapp2File none = ParseWinapp2(L"[E *]\nFileKey1=C:\\x\nFileKey2=|*.tmp\n");
    EXPECT_EQ(RefuseWinapp2Entry(none.Entries[0], MachineFolders()), L"没有可用的键 (FileKey1 没有文件名 等 2 个)");
}

TEST(Winapp2Paths, EveryVariableInAnyLetterCase) {
    const TWinapp2Folders f = MachineFolders();
    const struct {
        const wchar_t* Text;
        std::vector<std::wstring> Paths;
    } cases[] = {
        {L"%AppData%\\x", {L"C:\\Users\\me\\AppData\\Roaming\\x"}},
        {L"%APPDATA%\\x", {L"C:\\Users\\me\\AppData\\Roaming\\x"}},
        {L"%localappdata%\\x", {L"C:\\Users\\me\\AppData\\Local\\x"}},
        {L"%LocalLowAppData%\\x", {L"C:\\Users\\me\\AppData\\LocalLow\\x"}},
        {L"%ProgramData%\\x", {L"C:\\ProgramData\\x"}},
        {L"%CommonAppData%\\x", {L"C:\\ProgramData\\x"}},
        {L"%ProgramFiles%\\x", {L"C:\\Program Files\\x", L"C:\\Program Files (x86)\\x"}},
        {L"%CommonProgramFiles%\\x",
         {L"C:\\Program Files\\Common Files\\x", L"C:\\Program Files (x86)\\Common Files\\x"}},
        {L"%UserProfile%\\x", {L"C:\\Users\\me\\x"}},
        {L"%Documents%\\x", {L"C:\\Users\\me\\Documents\\x"}},
        {L"%Pictures%\\x", {L"C:\\Users\\me\\Pictures\\x"}},
        {L"%Music%\\x", {L"C:\\Users\\me\\Music\\x"}},
        {L"%Video%\\x", {L"C:\\Users\\me\\Videos\\x"}},
        {L"%Desktop%\\x", {L"C:\\Users\\me\\Desktop\\x"}},
        {L"%Public%\\x", {L"C:\\Users\\Public\\x"}},
        {L"%SystemDrive%\\x", {L"C:\\x"}},
        {L"%SystemDrive%", {L"C:\\"}},
        {L"%WinDir%\\x", {L"C:\\Windows\\x"}},
        {L"%SystemRoot%\\x", {L"C:\\Windows\\x"}},
        {L"%Temp%\\x", {L"C:\\Users\\me\\AppData\\Local\\Temp\\x"}},
        {L"C:\\Users\\%UserName%\\x", {L"C:\\Users\\me\\x"}},
        // Separators cleaned, wildcards kept for the folders they stand for.
        {L"%AppData%/a//b\\", {L"C:\\Users\\me\\AppData\\Roaming\\a\\b"}},
        {L"%AppData%\\*\\Cache?", {L"C:\\Users\\me\\AppData\\Roaming\\*\\Cache?"}},
    };
    for (const auto& c : cases) {
        std::wstring error;
        EXPECT_EQ(ExpandWinapp2Path(c.Text, f, error), c.Paths) << c.Text;
        EXPECT_EQ(error, L"") << c.Text;
    }
}

TEST(Winapp2Paths, UnknownVariablesRelativePathsAndDotsAreErrors) {
    TWinapp2Folders f = MachineFolders();
    f.Music.clear();  // a folder this computer has not got
    const struct {
        const wchar_t* Text;
        const wchar_t* Error;
    } cases[] = {
        {L"%Foo%\\x", L"未知的变量 %Foo%"},
        {L"%Music%\\x", L"未知的变量 %Music%"},
        {L"%AppData\\x", L"未知的变量: %AppData\\x"},
        {L"Logs\\x", L"不是完整的本机路径: Logs\\x"},
        {L"\\\\server\\share\\x", L"不是完整的本机路径: \\\\server\\share\\x"},
        {L"C:relative", L"不是完整的本机路径: C:relative"},
        {L"%AppData%\\..\\..\\x", L"路径中有 \"..\": C:\\Users\\me\\AppData\\Roaming\\..\\..\\x"},
        {L"C:\\a\\.\\b", L"路径中有 \".\": C:\\a\\.\\b"},
    };
    for (const auto& c : cases) {
        std::wstring error;
        EXPECT_TRUE(ExpandWinapp2Path(c.Text, f, error).empty()) << c.Text;
        EXPECT_EQ(error, c.Error) << c.Text;
    }
}

TEST(Winapp2Paths, WildcardsNeverCrossAFolder) {
    EXPECT_TRUE(MatchesPathPattern(L"C:\\A\\*\\CACHE", L"C:\\A\\B\\CACHE"));
    EXPECT_FALSE(MatchesPathPattern(L"C:\\A\\*\\CACHE", L"C:\\A\\B\\C\\CACHE"));
    EXPECT_TRUE(MatchesPathPattern(L"*.LOG", L"X.LOG"));
    EXPECT_TRUE(MatchesPathPattern(L"??.LOG", L"AB.LOG"));
    EXPECT_FALSE(MatchesPathPattern(L"??.LOG", L"ABC.LOG"));
    EXPECT_FALSE(MatchesPathPattern(L"C:\\A\\*", L"C:\\A\\B\\C"));
    EXPECT_TRUE(PatternMatchesEveryName(L"*.*"));
    EXPECT_TRUE(PatternMatchesEveryName(L"**"));
    EXPECT_FALSE(PatternMatchesEveryName(L"*.log"));
}

TEST(Winapp2Patterns, DotsAndStarsAreReadAsWindowsReadsThem) {
    // Only "*", "*.*" and "**" stand for every name; the rest are kept as written.
    for (const wchar_t* every : {L"*", L"*.*", L"**"}) EXPECT_TRUE(PatternMatchesEveryName(every)) << every;
    for (const wchar_t* other : {L".*", L"*.", L"?*", L"*?", L"*.*.*", L"."}) EXPECT_FALSE(PatternMatchesEveryName(other)) << other;
    const TWinapp2File file = ParseWinapp2(L"[E *]\nFileKey1=C:\\x|.*;*.;*.*\n");
    EXPECT_EQ(file.Entries[0].FileKeys[0].Patterns, (std::vector<std::wstring>{L".*", L"*.", L"*"}));
    const struct {
        const wchar_t* Pattern;
        const wchar_t* Name;
        bool Matches;
    } cases[] = {
        {L"*.", L"README", true},     {L"*.", L"A.TXT", false},      {L"*.", L".GITIGNORE", false},
        {L".*", L".GITIGNORE", true}, {L".*", L"A.TXT", false},      {L".*", L"README", false},
        {L"A.*", L"A", true},         {L"A.*", L"A.TXT", true},      {L"A.*", L"AB.TXT", false},
        {L"*.*", L"README", true},    {L"*.LOG", L"A.B.LOG", true},  {L"*.LOG", L"A.LOG.OLD", false},
        {L"~*.DOC*", L"~$A.DOCX", true}, {L"~*.DOC*", L"A.DOCX", false}, {L"DATA*.", L"DATA1", true},
        {L"DATA*.", L"DATA1.BIN", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(MatchesNamePattern(c.Pattern, c.Name), c.Matches) << c.Pattern << L" " << c.Name;
    // For the guards every pattern of only "*", "?" and "." is broad.
    for (const wchar_t* broad : {L"*", L"?*", L"*?", L".*", L"*.", L"??", L"*.*"}) EXPECT_TRUE(PatternIsBroad(broad)) << broad;
    EXPECT_FALSE(PatternIsBroad(L"*.log"));
    EXPECT_TRUE(PatternIsTypeOnly(L"*.log"));
    EXPECT_FALSE(PatternIsTypeOnly(L"~*.doc*"));
    EXPECT_FALSE(PatternIsTypeOnly(L"ZbThumbnail.info"));
}

TEST(Winapp2Patterns, ExcludeKeyPatternsAreSplitLikeAFileKeys) {
    const TWinapp2File file = ParseWinapp2(L"[E *]\nFileKey1=%LocalAppData%\\App|*|RECURSE\n"
                                           L"ExcludeKey1=FILE|%LocalAppData%\\App\\|*.ini;*.bak\n"
                                           L"ExcludeKey2=PATH|%LocalAppData%\\App\\Keep\\|*.*;a.log\n");
    const TWinapp2Entry& e = file.Entries[0];
    ASSERT_EQ(e.Excludes.size(), 2u);
    EXPECT_EQ(e.Excludes[0].Patterns, (std::vector<std::wstring>{L"*.ini", L"*.bak"}));
    EXPECT_EQ(e.Excludes[1].Patterns, (std::vector<std::wstring>{L"*", L"a.log"}));
}

TEST(Winapp2Refusal, BroadRulesOnSystemAndProfileFoldersAreRefused) {
    const TWinapp2Folders f = MachineFolders();
    const auto refusal = [&](const std::wstring& keys) {
        TWinapp2File file = ParseWinapp2(L"[E *]\n" + keys + L"\n");
        return RefuseWinapp2Entry(file.Entries.at(0), f);
    };
    const wchar_t* const refused[] = {
        L"FileKey1=C:\\|*.log|RECURSE",
        L"FileKey1=%SystemDrive%|*.*",
        L"FileKey1=%WinDir%|*.log|RECURSE",
        L"FileKey1=%ProgramFiles%|*.*",
        L"FileKey1=C:\\Program Files (x86)|*.tmp|RECURSE",
        L"FileKey1=C:\\Users|*.*|REMOVESELF",
        L"FileKey1=%UserProfile%|*.tmp|RECURSE",
        L"FileKey1=C:\\Users\\someone|*.*",   // another user's profile
        L"FileKey1=C:\\Users\\*|*.log|RECURSE",  // every profile at once
        L"FileKey1=%AppData%|*.*",
        L"FileKey1=%LocalAppData%|*.log|RECURSE",
        L"FileKey1=%ProgramData%|*.*|REMOVESELF",
        L"FileKey1=%UserProfile%\\AppData|*.tmp|RECURSE",  // holds AppData
        L"FileKey1=%Documents%|*.*",
        L"FileKey1=C:\\*|*.log|RECURSE",
        L"FileKey1=%AppData%\\ok|*.tmp\nFileKey2=%WinDir%|*.*",
    };
    for (const wchar_t* keys : refused)
        EXPECT_NE(refusal(keys).find(L"FileKey"), std::wstring::npos) << keys << L" -> " << refusal(keys);
    EXPECT_EQ(refusal(L"FileKey1=%WinDir%|*.log|RECURSE"), L"FileKey1 会清理受保护的文件夹: C:\\Windows");
    EXPECT_EQ(refusal(L"FileKey1=C:\\|*.log|RECURSE"), L"FileKey1 会清理整个驱动器: C:\\");
    const wchar_t* const allowed[] = {
        L"FileKey1=%AppData%|*.log",  // one kind of file in the folder itself
        L"FileKey1=%WinDir%|setupact.log",
        L"FileKey1=%AppData%\\App|*.*|REMOVESELF",
        L"FileKey1=%LocalAppData%\\*\\Cache|*.*|RECURSE",
        L"FileKey1=%ProgramFiles%\\App\\Logs|*.*|RECURSE",
        L"FileKey1=C:\\Users\\me\\AppData\\Local\\Temp\\App|*.*",
    };
    for (const wchar_t* keys : allowed) EXPECT_EQ(refusal(keys), L"") << keys;
}

TEST(Winapp2Refusal, EveryNameSpelledOtherwiseIsStillBroad) {
    const TWinapp2Folders f = MachineFolders();
    const auto refusal = [&](const std::wstring& keys) {
        TWinapp2File file = ParseWinapp2(L"[E *]\n" + keys + L"\n");
        return RefuseWinapp2Entry(file.Entries.at(0), f);
    };
    EXPECT_EQ(refusal(L"FileKey1=%AppData%|?*"), L"FileKey1 会清理受保护的文件夹: C:\\Users\\me\\AppData\\Roaming");
    EXPECT_EQ(refusal(L"FileKey1=%UserProfile%|*?"), L"FileKey1 会清理受保护的文件夹: C:\\Users\\me");
    EXPECT_EQ(refusal(L"FileKey1=%ProgramData%|?*"), L"FileKey1 会清理受保护的文件夹: C:\\ProgramData");
    EXPECT_NE(refusal(L"FileKey1=%AppData%|.*"), L"");
    EXPECT_NE(refusal(L"FileKey1=%AppData%|*."), L"");
    EXPECT_NE(refusal(L"FileKey1=%Documents%|*.*"), L"");
    // A recursing key with names specific enough is not broad, even on a user's folder.
    EXPECT_EQ(refusal(L"FileKey1=%UserProfile%\\Pictures|ZbThumbnail.info|RECURSE"), L"");
    EXPECT_EQ(refusal(L"FileKey1=%UserProfile%\\Documents|~*.doc*;~*.ppt*|RECURSE"), L"");
}

TEST(Winapp2Refusal, ARegKeyNeverReachesWindowsOwnConfiguration) {
    const TWinapp2Folders f = MachineFolders();
    const auto refusal = [&](const std::wstring& key) {
        TWinapp2File file = ParseWinapp2(L"[E *]\nRegKey1=" + key + L"\n");
        return RefuseWinapp2Entry(file.Entries.at(0), f);
    };
    EXPECT_EQ(refusal(L"HKCU\\Control Panel"), L"RegKey1 指向注册表的根: HKCU\\Control Panel");
    EXPECT_EQ(refusal(L"HKCU\\Environment|TEMP"), L"RegKey1 指向注册表的根: HKCU\\Environment");
    EXPECT_NE(refusal(L"HKCU\\Environment|TMP"), L"");
    const wchar_t* const refused[] = {
        L"HKCU\\Control Panel\\Desktop\\WindowMetrics",
        L"HKCU\\Keyboard Layout\\Preload",
        L"HKCU\\AppEvents\\Schemes",
        L"HKCU\\Console\\%SystemRoot%_system32_cmd.exe",
        L"HKCU\\Network\\Z",
        L"HKCU\\Printers\\Connections",
        L"HKLM\\System\\CurrentControlSet",
        L"HKLM\\SYSTEM\\ControlSet001\\Services",
        L"HKCU\\Software\\Microsoft\\Windows\\CurrentVersion",
        L"HKCU\\Software\\Microsoft\\Windows\\CurrentVersion|ProgramFilesDir",
        L"HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Run|App",
        L"HKLM\\Software\\WOW6432Node\\Microsoft\\Windows\\CurrentVersion\\RunOnce",
        L"HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\Explorer",
        L"HKLM\\Software\\Microsoft\\Windows NT\\CurrentVersion",
        L"HKU\\S-1-5-21-1\\Environment",
        L"HKCU\\Software\\Policies\\Microsoft",
    };
    for (const wchar_t* key : refused) EXPECT_NE(refusal(key), L"") << key;
    const wchar_t* const allowed[] = {
        L"HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\RecentDocs",
        L"HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Run\\APR_DEACTIVATED",
        L"HKLM\\System\\CurrentControlSet\\Services\\block_reader",
        L"HKLM\\System\\CurrentControlSet\\Control\\Session Manager\\AppCompatCache|AppCompatCache",
        L"HKCU\\360\\Safe\\Log",
        L"HKCU\\Software\\App\\Recent|Last",
    };
    for (const wchar_t* key : allowed) EXPECT_EQ(refusal(key), L"") << key;
}

TEST(Winapp2Refusal, AVariableExpandsToAtMostSixtyFourFolders) {
    TWinapp2Folders f = MachineFolders();
    std::wstring path;
    for (int i = 0; i < 20; ++i) path += L"%ProgramFiles%";
    std::wstring error;
    // Two folders twenty times: a million paths if it were built; refused at once.
    EXPECT_TRUE(ExpandWinapp2Path(path + L"\\x", f, error).empty());
    EXPECT_NE(error.find(L"展开后超过 64 个文件夹"), std::wstring::npos) << error;
    std::wstring six;
    for (int i = 0; i < 6; ++i) six += L"%ProgramFiles%";
    EXPECT_EQ(ExpandWinapp2Path(L"C:\\" + six.substr(0, 0) + L"x", f, error).size(), 1u);
    // 2^6 = 64 still expands (each to a path that is not local, so the error is another).
    ExpandWinapp2Path(six, f, error);
    EXPECT_EQ(error.find(L"展开后超过"), std::wstring::npos) << error;
    // The key is passed over; the entry's other keys run.
    TWinapp2File file = ParseWinapp2(L"[E *]\nFileKey1=" + path + L"|*.tmp\nFileKey2=%AppData%\\App|*.log\n");
    CheckWinapp2Entry(file.Entries[0], f);
    EXPECT_EQ(file.Entries[0].Refusal, L"");
    ASSERT_EQ(file.Entries[0].KeyFaults.size(), 1u);
    EXPECT_EQ(file.Entries[0].FileKeys.size(), 1u);
}

TEST(Winapp2Refusal, BroadKeysInsideAUsersOwnFoldersCarryAWarning) {
    TWinapp2Folders f = MachineFolders();
    f.Documents = L"D:\\Docs";  // redirected
    const auto warning = [&](const std::wstring& keys) {
        TWinapp2File file = ParseWinapp2(L"[E *]\n" + keys + L"\n");
        CheckWinapp2Entry(file.Entries.at(0), f);
        EXPECT_EQ(file.Entries[0].Refusal, L"") << keys;
        return file.Entries[0].UserFilesWarning;
    };
    // QQ's real key: its folder holds the chat history and every file received.
    EXPECT_EQ(warning(L"FileKey2=%UserProfile%\\Documents\\Tencent Files|*|RECURSE"),
              L"此条目会删除 C:\\Users\\me\\Documents\\Tencent Files 中的全部文件。");
    EXPECT_EQ(warning(L"FileKey5=%UserProfile%\\Videos\\DivX Movies|*|RECURSE"),
              L"此条目会删除 C:\\Users\\me\\Videos\\DivX Movies 中的全部文件。");
    EXPECT_EQ(warning(L"FileKey1=%Documents%\\App|*.*"), L"此条目会删除 D:\\Docs\\App 中的全部文件。");
    EXPECT_EQ(warning(L"FileKey1=%Public%\\Documents\\Vendor|*|REMOVESELF"),
              L"此条目会删除 C:\\Users\\Public\\Documents\\Vendor 中的全部文件。");
    EXPECT_EQ(warning(L"FileKey1=%UserProfile%\\Downloads\\App\\tmp|?*"),
              L"此条目会删除 C:\\Users\\me\\Downloads\\App\\tmp 中的全部文件。");
    EXPECT_EQ(warning(L"FileKey1=C:\\Users\\*\\Desktop\\App|*|RECURSE"),
              L"此条目会删除 C:\\Users\\*\\Desktop\\App 中的全部文件。");
    // GnuCash's backups are the user's books.
    EXPECT_EQ(warning(L"FileKey1=%UserProfile%\\*|*.gnucash.*.gnucash;*.gnucash.*.log;translog.*.log|RECURSE"),
              L"此条目会删除 C:\\Users\\me\\* 及其子文件夹中的 *.gnucash.*.gnucash 文件。");
    // Specific names need none; nor does a cache outside the user's folders.
    EXPECT_EQ(warning(L"FileKey1=%UserProfile%\\Pictures|ZbThumbnail.info|RECURSE"), L"");
    EXPECT_EQ(warning(L"FileKey1=%UserProfile%\\Documents|~*.doc*;~*.ppt*|RECURSE"), L"");
    EXPECT_EQ(warning(L"FileKey1=%UserProfile%\\Documents\\App\\Logs|*.log"), L"");
    EXPECT_EQ(warning(L"FileKey1=%LocalAppData%\\App\\Cache|*|RECURSE"), L"");
}

TEST(Winapp2Refusal, RegistryRootsAndUnknownVariablesAreRefused) {
    const TWinapp2Folders f = MachineFolders();
    const auto refusal = [&](const std::wstring& keys) {
        TWinapp2File file = ParseWinapp2(L"[E *]\n" + keys + L"\n");
        return RefuseWinapp2Entry(file.Entries.at(0), f);
    };
    EXPECT_EQ(refusal(L"RegKey1=HKCU"), L"RegKey1 指向注册表的根: HKCU");
    EXPECT_EQ(refusal(L"RegKey1=HKEY_CURRENT_USER\\Software\\"), L"RegKey1 指向注册表的根: HKEY_CURRENT_USER\\Software\\");
    EXPECT_NE(refusal(L"RegKey1=HKLM\\SYSTEM"), L"");
    EXPECT_NE(refusal(L"RegKey1=HKLM\\Classes"), L"");
    EXPECT_NE(refusal(L"RegKey1=HKCU\\Software\\Classes"), L"");
    EXPECT_NE(refusal(L"RegKey1=HKCU\\Software\\Microsoft|Value"), L"");
    EXPECT_NE(refusal(L"RegKey1=HKU\\S-1-5-21-1\\Software"), L"");
    EXPECT_EQ(refusal(L"RegKey1=HKXX\\Software\\App"), L"RegKey1 的根键未知: HKXX\\Software\\App");
    EXPECT_NE(refusal(L"RegKey1=HKCU\\Software\\App*"), L"");
    EXPECT_EQ(refusal(L"RegKey1=HKCU\\Software\\App\nRegKey2=HKLM\\Software\\WOW6432Node\\App|Last"), L"");
    EXPECT_EQ(refusal(L"FileKey1=%Nothing%\\x|*.tmp"), L"FileKey1: 未知的变量 %Nothing%");
    EXPECT_EQ(refusal(L"FileKey1=%AppData%\\ok|*.tmp\nExcludeKey1=FILE|logs\\|a.log"),
              L"ExcludeKey1: 不是完整的本机路径: logs");
    EXPECT_EQ(refusal(L"DetectFile=%Nothing%\\App"), L"DetectFile: 未知的变量 %Nothing%");
    EXPECT_EQ(refusal(L"FileKey1=%AppData%\\..\\x|a.log"),
              L"FileKey1: 路径中有 \"..\": C:\\Users\\me\\AppData\\Roaming\\..\\x");
}

TEST(Winapp2Detection, WindowsVersionRange) {
    EXPECT_TRUE(Winapp2OsMatches(L"", 6, 1));
    EXPECT_TRUE(Winapp2OsMatches(L"6.1|", 10, 0));
    EXPECT_FALSE(Winapp2OsMatches(L"6.2|", 6, 1));
    EXPECT_TRUE(Winapp2OsMatches(L"|6.3", 6, 3));
    EXPECT_FALSE(Winapp2OsMatches(L"|6.3", 10, 0));
    EXPECT_TRUE(Winapp2OsMatches(L"6.0|6.1", 6, 0));
    EXPECT_FALSE(Winapp2OsMatches(L"6.0|6.1", 5, 1));
    // Without "|": that version only.
    EXPECT_TRUE(Winapp2OsMatches(L"6.1", 6, 1));
    EXPECT_FALSE(Winapp2OsMatches(L"6.1", 6, 2));
    EXPECT_FALSE(Winapp2OsMatches(L"6.1", 10, 0));
    EXPECT_TRUE(Winapp2OsMatches(L"10.0", 10, 0));
}
