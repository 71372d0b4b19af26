#include "platform/ErrorBox.h"

#include "engine/Exceptions.h"

#include <exception>
#include <new>

std::wstring SysErrorMessage(DWORD code) {
    wchar_t* buffer = nullptr;
    DWORD length = ::FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code,
        0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    std::wstring text;
    if (length != 0 && buffer != nullptr) text.assign(buffer, length);
    if (buffer != nullptr) ::LocalFree(buffer);
    while (!text.empty() && (text.back() == L'\r' || text.back() == L'\n' || text.back() == L' ')) text.pop_back();
    if (text.empty()) text = L"系统错误，代码: " + std::to_wstring(code);
    return text;
}

void RaiseOSError(DWORD code) { throw EOSError(code, SysErrorMessage(code)); }

void RaiseLastOSError() { RaiseOSError(::GetLastError()); }

namespace {
TErrorBoxHandler GErrorBoxHandler = nullptr;
}

void SetErrorBoxHandlerForTesting(TErrorBoxHandler handler) { GErrorBoxHandler = handler; }

void ShowErrorBox(HWND owner, const std::wstring& message) {
    if (GErrorBoxHandler != nullptr) {
        GErrorBoxHandler(message);
        return;
    }
    ::MessageBoxW(owner, message.c_str(), L"Vantrel", MB_OK | MB_ICONERROR);
}

std::wstring CurrentExceptionMessage() noexcept {
    try {
        try {
            throw;
        } catch (const Exception& e) {
            return e.Message();
        } catch (const std::bad_alloc&) {
            return L"内存不足。";
        } catch (const std::exception& e) {
            std::string narrow = e.what();
            return std::wstring(narrow.begin(), narrow.end());
        } catch (...) {
            return L"未知错误。";
        }
    } catch (...) {
        return std::wstring();  // no memory left for the text
    }
}
