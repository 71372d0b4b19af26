#include "app/AutoMode.h"

#include <windows.h>
#include <shellapi.h>

namespace {

bool EqualsAsciiNoCase(const std::wstring& a, const wchar_t* b) {
    size_t i = 0;
    for (; i < a.size() && b[i] != L'\0'; ++i) {
        wchar_t x = a[i], y = b[i];
        if (x >= L'A' && x <= L'Z') x = static_cast<wchar_t>(x - L'A' + L'a');
        if (y >= L'A' && y <= L'Z') y = static_cast<wchar_t>(y - L'A' + L'a');
        if (x != y) return false;
    }
    return i == a.size() && b[i] == L'\0';
}

}  // namespace

bool IsAutoModeArgs(const std::vector<std::wstring>& args) {
    for (size_t i = 1; i < args.size(); ++i) {
        const std::wstring& arg = args[i];
        if (arg.empty() || (arg[0] != L'/' && arg[0] != L'-')) continue;
        if (EqualsAsciiNoCase(arg.substr(1), L"auto")) return true;
    }
    return false;
}

namespace {

std::vector<std::wstring> CommandLineArgs() {
    int count = 0;
    LPWSTR* argv = ::CommandLineToArgvW(::GetCommandLineW(), &count);
    if (argv == nullptr) return {};
    std::vector<std::wstring> args(argv, argv + count);
    ::LocalFree(argv);
    return args;
}

}  // namespace

bool IsAutoMode() { return IsAutoModeArgs(CommandLineArgs()); }

bool LanguageSwitchArgs(const std::vector<std::wstring>& args, TLanguage& Language) {
    bool given = false;
    for (size_t i = 1; i < args.size(); ++i) {
        const std::wstring& arg = args[i];
        if (arg.size() < 6 || (arg[0] != L'/' && arg[0] != L'-')) continue;
        if (!EqualsAsciiNoCase(arg.substr(1, 5), L"lang:")) continue;
        TLanguage language;
        if (ParseLanguageName(arg.substr(6), language)) {
            Language = language;
            given = true;
        }
    }
    return given;
}

bool LanguageSwitch(TLanguage& Language) { return LanguageSwitchArgs(CommandLineArgs(), Language); }
