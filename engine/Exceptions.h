// The program's error hierarchy. Every error carries a wide message that the
// standard error box shows as it stands.
#pragma once

#include <exception>
#include <string>
#include <utility>

class Exception : public std::exception {
public:
    explicit Exception(std::wstring message) : FMessage(std::move(message)) {}
    const std::wstring& Message() const noexcept { return FMessage; }
    // Narrow text is only for test frameworks and debuggers; the program shows Message().
    const char* what() const noexcept override { return "Vantrel exception (see Message())"; }

private:
    std::wstring FMessage;
};

// Raised by mask compilation only.
class EMaskException : public Exception {
public:
    using Exception::Exception;
};

// Misuse of an engine class: a programming error, not a user condition.
class EAssertionFailed : public Exception {
public:
    using Exception::Exception;
};

// A system call failed; Code is the system error code (GetLastError or an HRESULT).
class EOSError : public Exception {
public:
    EOSError(unsigned long code, std::wstring message) : Exception(std::move(message)), FCode(code) {}
    unsigned long Code() const noexcept { return FCode; }

private:
    unsigned long FCode;
};

// The settings document could not be parsed, read or written.
class EXmlError : public Exception {
public:
    using Exception::Exception;
};

// Throws EAssertionFailed with Text when Condition is false.
inline void Assert(bool condition, const wchar_t* text) {
    if (!condition) throw EAssertionFailed(text);
}

// An index outside a list.
class EListError : public Exception {
public:
    using Exception::Exception;
};
