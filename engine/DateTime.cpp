#include "engine/DateTime.h"

#include <cmath>
#include <cstdlib>
#include <cwchar>

namespace {

constexpr int64_t MsPerDay = 86400000;

// Days from 1970-01-01 to the civil date (proleptic Gregorian).
int64_t DaysFromCivil(int64_t y, unsigned m, unsigned d) {
    y -= m <= 2;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<int64_t>(doe) - 719468;
}

// The civil date of a day count from 1970-01-01 (the inverse of DaysFromCivil).
void CivilFromDays(int64_t z, int64_t& y, unsigned& m, unsigned& d) {
    z += 719468;
    const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const unsigned doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    d = doy - (153 * mp + 2) / 5 + 1;
    m = mp < 10 ? mp + 3 : mp - 9;
    y = static_cast<int64_t>(yoe) + era * 400 + (m <= 2);
}

constexpr int64_t DaysFrom1899To1970 = 25569;

int64_t ToMilliseconds(TDateTime t) { return std::llround(t * static_cast<double>(MsPerDay)); }

}  // namespace

TDateTime EncodeDateTime(int year, int month, int day, int hour, int minute, int second, int millisecond) {
    const int64_t days = DaysFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day)) + DaysFrom1899To1970;
    const int64_t ms = ((static_cast<int64_t>(hour) * 60 + minute) * 60 + second) * 1000 + millisecond;
    return static_cast<double>(days) + static_cast<double>(ms) / static_cast<double>(MsPerDay);
}

std::wstring DateTimeStampText(TDateTime t) {
    const int64_t ms = ToMilliseconds(t);
    int64_t days = ms / MsPerDay, rest = ms % MsPerDay;
    if (rest < 0) {
        rest += MsPerDay;
        --days;
    }
    int64_t year = 0;
    unsigned month = 0, day = 0;
    CivilFromDays(days - DaysFrom1899To1970, year, month, day);
    const int64_t seconds = rest / 1000;
    wchar_t text[32];
    std::swprintf(text, 32, L"%04lld-%02u-%02u %02lld:%02lld:%02lld", static_cast<long long>(year), month, day,
                  static_cast<long long>(seconds / 3600), static_cast<long long>(seconds / 60 % 60),
                  static_cast<long long>(seconds % 60));
    return text;
}

int64_t SecondsBetween(TDateTime a, TDateTime b) { return std::llabs(ToMilliseconds(a) - ToMilliseconds(b)) / 1000; }

int64_t WeeksBetween(TDateTime a, TDateTime b) {
    return std::llabs(ToMilliseconds(a) - ToMilliseconds(b)) / (7 * MsPerDay);
}
