// The size text shown to the user.
#include "engine/SystemRoutines.h"

#include <windows.h>

#include <charconv>
#include <cmath>

namespace {

// Value rounded to the nearest integer, ties to even, decided on the exact
// product Value × 10 rather than on its double rounding.
double RoundTenthsTimesTen(double value) {
    const double product = value * 10.0;
    const double rounded = std::nearbyint(product);  // default mode: ties to even
    const double floor = std::floor(product);
    if (product - floor != 0.5) return rounded;
    // The double product sits on a tie; the exact one may lie just above or below it.
    const double error = std::fma(value, 10.0, -product);
    if (error > 0) return floor + 1;
    if (error < 0) return floor;
    return rounded;
}

std::wstring DecimalSeparator() {
    wchar_t buffer[8] = {};
    const int length = ::GetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_SDECIMAL, buffer, 8);
    return length > 1 ? std::wstring(buffer, length - 1) : std::wstring(L".");
}

// Shortest general form with up to 15 significant digits ("1", "1.5", "1023.9").
std::wstring GeneralNumberText(double value) {
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof(buffer), value, std::chars_format::general, 15);
    std::wstring text;
    const std::wstring separator = DecimalSeparator();
    for (const char* p = buffer; p != result.ptr; ++p) {
        if (*p == '.')
            text += separator;
        else
            text += static_cast<wchar_t>(*p);
    }
    return text;
}

}  // namespace

std::wstring FormatSizeText(double Size) {
    // Not-a-number reads as nothing, like a negative size.
    double value = Size > 0 ? Size : 0;
    const wchar_t* unit = L" bytes";
    const wchar_t* const largerUnits[] = {L" KB", L" MB", L" GB"};
    for (const wchar_t* larger : largerUnits) {
        if (value < 1024) break;
        value /= 1024;
        unit = larger;
    }
    return GeneralNumberText(RoundTenthsTimesTen(value) / 10.0) + unit;
}
