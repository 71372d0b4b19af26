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

bool IsAutoMode() {
    int count = 0;
    LPWSTR* argv = ::CommandLineToArgvW(::GetCommandLineW(), &count);
    if (argv == nullptr) return false;
    std::vector<std::wstring> args(argv, argv + count);
    ::LocalFree(argv);
    return IsAutoModeArgs(args);
}
