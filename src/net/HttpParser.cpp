#include "net/HttpParser.h"

#include "util/Text.h"

#include <algorithm>
#include <cstring>

using ocelis::AnsiLower;
using ocelis::SameText;
using ocelis::Trim;

namespace {

constexpr std::size_t kHeaderReadSize = 16384;
constexpr std::size_t kMaxCookieSize = 4096;

bool ContainsNoCase(std::string_view hay, std::string_view needle) {
    return AnsiLower(hay).find(AnsiLower(needle)) != std::string::npos;
}

// Decimal, non-negative, no overflow; -1 otherwise.
int64_t ParseLength(const std::string& text) {
    auto v = ocelis::TryStrToInt64(Trim(text));
    if (!v || *v < 0)
        return -1;
    return *v;
}

} // namespace

std::string THttpResponse::Header(std::string_view name) const {
    std::string value;
    for (const std::string& h : Headers) {
        std::size_t colon = h.find(':');
        if (colon != std::string::npos && SameText(Trim(h.substr(0, colon)), name))
            value = Trim(h.substr(colon + 1));
    }
    return value;
}

bool THttpResponse::HasHeader(std::string_view name) const {
    for (const std::string& h : Headers) {
        std::size_t colon = h.find(':');
        if (colon != std::string::npos && SameText(Trim(h.substr(0, colon)), name))
            return true;
    }
    return false;
}

namespace ocelis {

void THttpReader::Reset() {
    FBuffered.clear();
    FBufferedPos = 0;
    FClosed = false;
}

// Appends what the source has to the read-ahead; false when the peer closed.
bool THttpReader::Fill() {
    if (FBufferedPos > 0 && FBufferedPos == FBuffered.size()) {
        FBuffered.clear();
        FBufferedPos = 0;
    }
    const std::size_t base = FBuffered.size();
    FBuffered.resize(base + kHeaderReadSize);
    std::size_t n = 0;
    try {
        n = FSource.Read(FBuffered.data() + base, kHeaderReadSize, Limits.LineTimeout);
    } catch (...) {
        FBuffered.resize(base);
        throw;
    }
    FBuffered.resize(base + std::min(n, kHeaderReadSize));
    if (n == 0)
        FClosed = true;
    return n > 0;
}

bool THttpReader::ReadLine(std::string& line, int64_t& headerBudget) {
    const std::size_t maxLine = static_cast<std::size_t>(std::max(Limits.MaxLineLength, 0));
    for (;;) {
        std::size_t nl = FBuffered.find('\n', FBufferedPos);
        std::size_t have = (nl == std::string::npos ? FBuffered.size() : nl) - FBufferedPos;
        if (have > maxLine + 1)
            throw EHttpError("line too long", THttpFailure::TooLarge);
        if (nl != std::string::npos) {
            line.assign(FBuffered, FBufferedPos, have);
            FBufferedPos = nl + 1;
            headerBudget -= static_cast<int64_t>(have) + 1;
            break;
        }
        if (FClosed || !Fill()) {
            if (have == 0)
                return false;
            line.assign(FBuffered, FBufferedPos, have);
            FBufferedPos = FBuffered.size();
            headerBudget -= static_cast<int64_t>(have);
            break;
        }
    }
    if (!line.empty() && line.back() == '\r')
        line.pop_back();
    if (line.size() > maxLine)
        throw EHttpError("line too long", THttpFailure::TooLarge);
    if (headerBudget < 0)
        throw EHttpError("header block too large", THttpFailure::TooLarge);
    return true;
}

int32_t THttpReader::ReadStatusAndHeaders(THttpResponse& response, int64_t& headerBudget,
                                          bool& gotAny) {
    std::string line;
    if (!ReadLine(line, headerBudget))
        throw EHttpError("connection closed without an answer", THttpFailure::ClosedEarly);
    gotAny = true;
    response = THttpResponse{};
    response.ResponseText = line;
    response.ResponseCode = ParseStatusCode(line);
    while (ReadLine(line, headerBudget)) {
        if (line.empty())
            break;
        if ((line[0] == ' ' || line[0] == '\t') && !response.Headers.empty())
            response.Headers.back().append(1, ' ').append(Trim(line));
        else
            response.Headers.push_back(line);
    }
    response.ContentLength =
        response.HasHeader("Content-Length") ? ParseLength(response.Header("Content-Length")) : -1;
    const std::string modified = response.Header("Last-Modified");
    std::time_t utc = 0;
    if (!modified.empty() && ParseHttpDate(modified, utc)) {
        response.LastModified = {UnixToLocalDateTime(utc), utc, true};
    } else {
        response.LastModified = {HttpDateToLocal({}), kZeroDateUnix, false};
    }
    return response.ResponseCode;
}

// Reads n bytes (n < 0: up to a clean close) in portions of at most Limits.Portion,
// reporting each portion; false when the peer closed first.
bool THttpReader::ReadCounted(std::string& out, int64_t n, int64_t& count, int32_t timeoutMs,
                              int64_t& total, int64_t cap) {
    const std::size_t portion = static_cast<std::size_t>(std::max(Limits.Portion, 1));
    while (n < 0 || n > 0) {
        std::size_t want = portion;
        if (n > 0 && static_cast<uint64_t>(n) < want)
            want = static_cast<std::size_t>(n);
        if (total + static_cast<int64_t>(want) > cap)
            want = static_cast<std::size_t>(cap - total + 1); // one byte over tells the cap
        std::size_t got = 0;
        if (FBufferedPos < FBuffered.size()) {
            got = std::min(want, FBuffered.size() - FBufferedPos);
            out.append(FBuffered, FBufferedPos, got);
            FBufferedPos += got;
        } else {
            if (FClosed)
                return false;
            // Straight into the caller's buffer: no copy per portion.
            const std::size_t base = out.size();
            out.resize(base + want);
            try {
                got = std::min(FSource.Read(out.data() + base, want, timeoutMs), want);
            } catch (...) {
                out.resize(base);
                throw;
            }
            out.resize(base + got);
            if (got == 0) {
                FClosed = true;
                return false;
            }
        }
        total += static_cast<int64_t>(got);
        if (total > cap)
            throw EHttpError("body too large", THttpFailure::TooLarge);
        count += static_cast<int64_t>(got);
        if (n > 0)
            n -= static_cast<int64_t>(got);
        if (OnPortion)
            OnPortion(count);
        if (FSink && !(*FSink)(out)) {
            FSinkStopped = true;
            return true;
        }
    }
    return true;
}

bool THttpReader::ReadBodyTo(THttpResponse& response, const TBodySink& sink, int32_t timeoutMs) {
    std::string portion;
    FSink = &sink;
    FSinkStopped = false;
    try {
        ReadBody(response, portion, timeoutMs, INT64_MAX);
    } catch (...) {
        FSink = nullptr;
        throw;
    }
    FSink = nullptr;
    return FSinkStopped;
}

void THttpReader::ReadBody(THttpResponse& response, std::string& out, int32_t timeoutMs,
                           int64_t cap) {
    response.BodyComplete = false;
    int64_t total = 0;
    int64_t count = 0;
    const int64_t length = response.ContentLength;
    if (length >= 1) {
        if (length > cap)
            throw EHttpError("body too large", THttpFailure::TooLarge);
        // A close before the end still succeeds, but the body is marked as cut short.
        response.BodyComplete = ReadCounted(out, length, count, timeoutMs, total, cap);
        return;
    }
    if (ContainsNoCase(response.Header("Transfer-Encoding"), "chunked")) {
        int64_t budget = Limits.MaxHeaderSize;
        std::string line;
        for (;;) {
            if (!ReadLine(line, budget))
                throw EHttpError("connection closed in a chunked body", THttpFailure::ClosedEarly);
            int64_t size = ParseChunkSize(line);
            if (size < 0 || size > cap)
                throw EHttpError("chunk too large", THttpFailure::TooLarge);
            if (size == 0)
                break;
            count = 0;
            if (!ReadCounted(out, size, count, timeoutMs, total, cap))
                throw EHttpError("connection closed in a chunk", THttpFailure::ClosedEarly);
            if (FSink && FSinkStopped)
                return;
            if (!ReadLine(line, budget))
                throw EHttpError("connection closed in a chunked body", THttpFailure::ClosedEarly);
        }
        // The line after the last chunk; a server that closes instead is fine.
        ReadLine(line, budget);
        response.BodyComplete = true;
        return;
    }
    if (!response.HasHeader("Content-Length"))
        ReadCounted(out, -1, count, timeoutMs, total, cap);
    response.BodyComplete = true;
}

int32_t ParseStatusCode(std::string_view line) {
    std::size_t sp = line.find(' ');
    if (sp == std::string_view::npos)
        return -1;
    std::size_t end = line.find(' ', sp + 1);
    auto code = TryStrToInt64(
        line.substr(sp + 1, end == std::string_view::npos ? std::string_view::npos : end - sp - 1));
    if (code && *code >= INT32_MIN && *code <= INT32_MAX)
        return static_cast<int32_t>(*code);
    return -1;
}

int64_t ParseChunkSize(std::string_view line) {
    std::string t = Trim(line);
    std::size_t end = t.find_first_of(" \t;");
    if (end != std::string::npos)
        t.resize(end);
    if (t.empty())
        return 0;
    int64_t v = 0;
    for (char c : t) {
        int d;
        if (c >= '0' && c <= '9')
            d = c - '0';
        else if (c >= 'a' && c <= 'f')
            d = c - 'a' + 10;
        else if (c >= 'A' && c <= 'F')
            d = c - 'A' + 10;
        else
            return 0;
        if (v > (INT64_MAX - d) / 16)
            return -1;
        v = v * 16 + d;
    }
    return v;
}

bool ParseSetCookie(std::string_view value, std::string_view hostName, std::time_t now,
                    THttpCookie& c, bool& expired) {
    if (value.size() > kMaxCookieSize)
        return false;
    const std::string host = AnsiLower(hostName);
    // name=value; attr=...; attr
    c = THttpCookie{};
    c.Domain = host;
    c.Path = "/";
    expired = false;
    std::size_t pos = 0;
    bool first = true;
    while (pos <= value.size()) {
        std::size_t semi = value.find(';', pos);
        std::string part = Trim(value.substr(
            pos, semi == std::string_view::npos ? std::string_view::npos : semi - pos));
        pos = semi == std::string_view::npos ? value.size() + 1 : semi + 1;
        std::size_t eq = part.find('=');
        std::string key = Trim(part.substr(0, eq));
        std::string val = eq == std::string::npos ? std::string() : Trim(part.substr(eq + 1));
        if (first) {
            first = false;
            if (eq == std::string::npos || key.empty())
                return false;
            c.Name = key;
            c.Value = val;
            continue;
        }
        if (SameText(key, "Domain") && !val.empty()) {
            std::string d = AnsiLower(val);
            if (d[0] == '.')
                d.erase(0, 1);
            // Only the host itself or a domain above it.
            if (host == d || (host.size() > d.size() && d.find('.') != std::string::npos &&
                              host.compare(host.size() - d.size(), d.size(), d) == 0 &&
                              host[host.size() - d.size() - 1] == '.')) {
                c.Domain = d;
                c.HostOnly = host == d;
            }
        } else if (SameText(key, "Path") && !val.empty() && val[0] == '/') {
            c.Path = val;
        } else if (SameText(key, "Max-Age")) {
            auto age = TryStrToInt64(val);
            if (age && *age <= 0)
                expired = true;
        } else if (SameText(key, "Expires")) {
            std::time_t t;
            if (ParseHttpDate(val, t) && t < now)
                expired = true;
        }
    }
    return !c.Name.empty();
}

namespace {
int MonthOf(std::string_view t) {
    static const char* const kMonths[] = {"jan", "feb", "mar", "apr", "may", "jun",
                                          "jul", "aug", "sep", "oct", "nov", "dec"};
    if (t.size() < 3)
        return 0;
    std::string l = AnsiLower(t.substr(0, 3));
    for (int i = 0; i < 12; ++i)
        if (l == kMonths[i])
            return i + 1;
    return 0;
}

bool IsDayName(std::string_view t) {
    static const char* const kDays[] = {"mon", "tue", "wed", "thu", "fri", "sat", "sun"};
    if (t.size() < 3)
        return false;
    std::string l = AnsiLower(t.substr(0, 3));
    for (const char* d : kDays)
        if (l == d)
            return true;
    return false;
}

bool AllDigits(std::string_view t) {
    return !t.empty() &&
           std::all_of(t.begin(), t.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// "+hhmm" / "-hhmm" / "+hh:mm" as seconds east of GMT.
bool ZoneOffset(std::string_view t, long& seconds) {
    if (t.size() < 3 || (t[0] != '+' && t[0] != '-'))
        return false;
    std::string digits;
    for (char c : t.substr(1))
        if (c != ':')
            digits += c;
    if (!AllDigits(digits) || (digits.size() != 4 && digits.size() != 2))
        return false;
    int h = std::stoi(digits.substr(0, 2));
    int m = digits.size() == 4 ? std::stoi(digits.substr(2)) : 0;
    if (h > 23 || m > 59)
        return false;
    seconds = (h * 3600L + m * 60L) * (t[0] == '-' ? -1 : 1);
    return true;
}
} // namespace

bool ParseHttpDate(std::string_view text, std::time_t& utc) {
    if (text.size() > 200)
        return false;
    // Split at blanks and commas; a hyphen joins day, month and year in the RFC 850 form.
    std::vector<std::string> tokens;
    std::string cur;
    auto flush = [&] {
        if (!cur.empty())
            tokens.push_back(cur);
        cur.clear();
    };
    for (char c : text) {
        if (c == ' ' || c == '\t' || c == ',')
            flush();
        else if (c == '-' && !cur.empty() && cur[0] != '+' && cur[0] != '-' &&
                 !SameText(cur, "GMT") && !SameText(cur, "UTC") && !SameText(cur, "UT"))
            flush();
        else
            cur += c;
    }
    flush();
    int day = 0, month = 0, year = -1, hour = -1, minute = 0, second = 0;
    long offset = 0;
    for (std::size_t i = 0; i < tokens.size(); ++i) {
        std::string t = tokens[i];
        if (i == 0 && IsDayName(t) && MonthOf(t) == 0)
            continue;
        for (const char* zone : {"GMT", "UTC", "UT"}) {
            std::size_t zl = std::strlen(zone);
            if (t.size() >= zl && SameText(t.substr(0, zl), zone)) {
                t = t.substr(zl);
                break;
            }
        }
        if (t.empty() || SameText(t, "Z"))
            continue;
        if (t.find(':') != std::string::npos && t[0] != '+' && t[0] != '-') {
            int parts[3] = {0, 0, 0};
            int n = 0;
            std::size_t p = 0;
            while (n < 3 && p <= t.size()) {
                std::size_t c = t.find(':', p);
                std::string part = t.substr(p, c == std::string::npos ? std::string::npos : c - p);
                if (!AllDigits(part) || part.size() > 2)
                    return false;
                parts[n++] = std::stoi(part);
                p = c == std::string::npos ? t.size() + 1 : c + 1;
            }
            if (n < 2 || p <= t.size())
                return false;
            hour = parts[0];
            minute = parts[1];
            second = parts[2];
            continue;
        }
        long off;
        if (ZoneOffset(t, off)) {
            offset = off;
            continue;
        }
        if (int m = MonthOf(t); m != 0 && !AllDigits(t)) {
            if (month != 0)
                return false;
            month = m;
            continue;
        }
        if (AllDigits(t) && t.size() <= 4) {
            int v = std::stoi(t);
            if (day == 0 && t.size() <= 2 && year < 0)
                day = v;
            else if (year < 0) {
                if (t.size() <= 2)
                    v += v < 80 ? 2000 : 1900;
                year = v;
            } else
                return false;
            continue;
        }
        if (IsDayName(t))
            continue;
        return false;
    }
    if (day < 1 || month < 1 || year < 1 || year > 9999 || hour < 0 || hour > 23 || minute > 59 ||
        second > 60)
        return false;
    static const int kDim[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    if (day > kDim[month - 1] + (month == 2 && leap ? 1 : 0))
        return false;
    std::tm fields{};
    fields.tm_year = year - 1900;
    fields.tm_mon = month - 1;
    fields.tm_mday = day;
    fields.tm_hour = hour;
    fields.tm_min = minute;
    fields.tm_sec = std::min(second, 59);
    utc = timegm(&fields) - offset;
    return true;
}

TDateTime HttpDateToLocal(std::string_view text) {
    std::time_t t;
    if (!text.empty() && ParseHttpDate(text, t))
        return UnixToLocalDateTime(t);
    // The zero date, corrected by the local offset from UTC.
    return static_cast<double>(LocalUtcOffset(std::time(nullptr))) / 86400.0;
}

} // namespace ocelis
