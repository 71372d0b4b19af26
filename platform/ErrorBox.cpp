#include "platform/ErrorBox.h"
#include "texts/Texts.h"

#include "engine/Exceptions.h"

#include <exception>
#include <new>

std::wstring SysErrorMessage(DWORD code) {
    wchar_t* buffer = nullptr;
    const DWORD flags = FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS;
    DWORD length = 0;
    // In English the system's own English text, where Windows has it; otherwise
    // (and always in Chinese) the text Windows picks for the user.
    if (CurrentLanguage() == TLanguage::English)
        length = ::FormatMessageW(flags, nullptr, code, MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US),
                                  reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    if (length == 0)
        length = ::FormatMessageW(flags, nullptr, code, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    std::wstring text;
    if (length != 0 && buffer != nullptr) text.assign(buffer, length);
    if (buffer != nullptr) ::LocalFree(buffer);
    while (!text.empty() && (text.back() == L'\r' || text.back() == L'\n' || text.back() == L' ')) text.pop_back();
    if (text.empty()) text = FormatText(TTextId::ErrorSystemCode, code);
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
            return LoadText(TTextId::ErrorOutOfMemory);
        } catch (const std::exception& e) {
            std::string narrow = e.what();
            return std::wstring(narrow.begin(), narrow.end());
        } catch (...) {
            return LoadText(TTextId::ErrorUnknown);
        }
    } catch (...) {
        return std::wstring();  // no memory left for the text
    }
}
