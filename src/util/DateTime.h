// Date-times are doubles counting days since 30 December 1899, in local time.
#pragma once

#include <ctime>

namespace ocelis {

using TDateTime = double;

// Local calendar fields to a date-time; out-of-range fields give nothing.
bool EncodeDateTime(int year, int month, int day, int hour, int minute, int second, int msec,
                    TDateTime& out);

// A UTC instant (seconds since the Unix epoch) as a local date-time.
TDateTime UnixToLocalDateTime(std::time_t t);

// A local date-time back to the UTC instant.
std::time_t LocalDateTimeToUnix(TDateTime dt);

} // namespace ocelis
