// Local date-time values as days since 1899-12-30 (the fraction is the time of
// day), and the whole-unit spans the file protection rules use.
#pragma once

#include <cstdint>
#include <string>

using TDateTime = double;

TDateTime EncodeDateTime(int year, int month, int day, int hour, int minute, int second, int millisecond);

// "2024-05-01 03:00:12": the moment to the whole second (milliseconds dropped).
std::wstring DateTimeStampText(TDateTime t);

// Whole seconds / whole weeks between two moments: the absolute difference,
// truncated. Both are taken to the millisecond first, so values that went
// through floating point compare as the clock readings they came from.
int64_t SecondsBetween(TDateTime a, TDateTime b);
int64_t WeeksBetween(TDateTime a, TDateTime b);
