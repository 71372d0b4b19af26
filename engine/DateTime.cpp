#include "engine/DateTime.h"

#include <cmath>
#include <cstdlib>

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

constexpr int64_t DaysFrom1899To1970 = 25569;

int64_t ToMilliseconds(TDateTime t) { return std::llround(t * static_cast<double>(MsPerDay)); }

}  // namespace

TDateTime EncodeDateTime(int year, int month, int day, int hour, int minute, int second, int millisecond) {
    const int64_t days = DaysFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day)) + DaysFrom1899To1970;
    const int64_t ms = ((static_cast<int64_t>(hour) * 60 + minute) * 60 + second) * 1000 + millisecond;
    return static_cast<double>(days) + static_cast<double>(ms) / static_cast<double>(MsPerDay);
}

int64_t SecondsBetween(TDateTime a, TDateTime b) { return std::llabs(ToMilliseconds(a) - ToMilliseconds(b)) / 1000; }

int64_t WeeksBetween(TDateTime a, TDateTime b) {
    return std::llabs(ToMilliseconds(a) - ToMilliseconds(b)) / (7 * MsPerDay);
}
