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

// A Last-Modified date as an answer gave it: the local date-time that is shown and stored,
// and the same instant in UTC, which comparisons use so that they do not jump with the
// local offset.
struct TModifiedDate {
    TDateTime Local = 0; // an answer without a date gives the zero date less the local offset
    std::time_t Utc = 0;
    bool Known = false; // the answer had a readable date

    // Strictly later; a date not known is earlier than every known one and not later than
    // another unknown one.
    bool LaterThan(const TModifiedDate& other) const {
        return Known && (!other.Known || Utc > other.Utc);
    }
};

// Seconds east of UTC of the local time at t.
long LocalUtcOffset(std::time_t t);

} // namespace ocelis
