#include "util/DateTime.h"

#include <cmath>

namespace ocelis {

namespace {
// Days from 1899-12-30 to 1970-01-01.
constexpr double kUnixEpochDays = 25569.0;

bool IsLeap(int y) {
    return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
}

// Days since 1970-01-01 of a proleptic Gregorian date (Howard Hinnant's algorithm).
long long DaysFromCivil(int y, unsigned m, unsigned d) {
    y -= m <= 2;
    const long long era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<long long>(doe) - 719468;
}
} // namespace

bool EncodeDateTime(int year, int month, int day, int hour, int minute, int second, int msec,
                    TDateTime& out) {
    static const int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (year < 1 || year > 9999 || month < 1 || month > 12 || day < 1)
        return false;
    int dim = kDays[month - 1] + (month == 2 && IsLeap(year) ? 1 : 0);
    if (day > dim || hour < 0 || hour > 23 || minute < 0 || minute > 59 || second < 0 ||
        second > 59 || msec < 0 || msec > 999)
        return false;
    double days = static_cast<double>(DaysFromCivil(year, static_cast<unsigned>(month),
                                                    static_cast<unsigned>(day))) +
                  kUnixEpochDays;
    double frac = (hour * 3600000.0 + minute * 60000.0 + second * 1000.0 + msec) / 86400000.0;
    // Before the epoch day the fraction counts away from zero, as the stored form has it.
    out = days >= 0 ? days + frac : days - frac;
    return true;
}

TDateTime UnixToLocalDateTime(std::time_t t) {
    std::tm lt{};
    localtime_r(&t, &lt);
    TDateTime r = 0;
    EncodeDateTime(lt.tm_year + 1900, lt.tm_mon + 1, lt.tm_mday, lt.tm_hour, lt.tm_min, lt.tm_sec,
                   0, r);
    return r;
}

std::time_t LocalDateTimeToUnix(TDateTime dt) {
    double whole = std::floor(dt);
    long long days = static_cast<long long>(whole) - static_cast<long long>(kUnixEpochDays);
    long long secs = std::llround((dt - whole) * 86400.0);
    // Treat the calendar fields as local time.
    std::time_t asUtc = static_cast<std::time_t>(days * 86400 + secs);
    std::tm fields{};
    gmtime_r(&asUtc, &fields);
    fields.tm_isdst = -1;
    return mktime(&fields);
}

long LocalUtcOffset(std::time_t t) {
    std::tm lt{};
    localtime_r(&t, &lt);
    return lt.tm_gmtoff;
}

} // namespace ocelis
