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

// The zero date (30 December 1899, 00:00) as a UTC instant.
constexpr std::time_t kZeroDateUnix = -2209161600;

// Seconds east of UTC of the local time at t.
long LocalUtcOffset(std::time_t t);

// The instant the local date-time 0 stands for now: the zero date less today's offset.
std::time_t LocalZeroDateUnix();

} // namespace ocelis
