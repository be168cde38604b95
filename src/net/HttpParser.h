// Reading an HTTP answer (status line, header block, counted and chunked bodies) and the
// values in it (cookies, dates) from any source of bytes, so that no socket is needed to
// exercise the parsing.
#pragma once

#include "net/HttpFailure.h"
#include "util/DateTime.h"

#include <cstddef>
#include <cstdint>
#include <ctime>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

struct THttpResponse {
    std::string ResponseText;
    int32_t ResponseCode = -1;
    int64_t ContentLength = -1;
    ocelis::TModifiedDate LastModified;
    // False when the server closed before the end of the body it announced.
    bool BodyComplete = true;
    // The answer was a stream of pictures (multipart/x-mixed-replace) that was read as one.
    bool Streamed = false;
    std::vector<std::string> Headers; // "Name: value" as received

    // The value of the last header with this name (any letter case), trimmed; empty when absent.
    std::string Header(std::string_view name) const;
    bool HasHeader(std::string_view name) const;
};

namespace ocelis {

// Where an answer's bytes come from: the connection in the program, a string in tests.
class ByteSource {
public:
    virtual ~ByteSource() = default;
    // Up to max (at least 1) bytes into dst, waiting at most timeoutMs (0: no limit) for the
    // first of them; 0 when the peer has closed cleanly. Failures throw EHttpError.
    virtual std::size_t Read(char* dst, std::size_t max, int32_t timeoutMs) = 0;
};

struct THttpReadLimits {
    int32_t LineTimeout = 0; // ms, for status, header and chunk-size lines
    int32_t Portion = 32768; // largest single read of a body
    int32_t MaxLineLength = 16384;
    int64_t MaxHeaderSize = int64_t{1} << 20; // the lines of one answer, chunk lines apart
};

// Reads one answer after another from its source; keeps what it read ahead.
class THttpReader {
public:
    // count: body bytes since the transfer (for a chunked body: the chunk) began.
    using TPortionEvent = std::function<void(int64_t count)>;

    explicit THttpReader(ByteSource& source) : FSource(source) {}

    THttpReadLimits Limits;
    TPortionEvent OnPortion;

    // Forgets the bytes read ahead and the peer's close (a new connection).
    void Reset();
    bool PeerClosed() const { return FClosed; }

    // One line without its line end; false when the peer closed before any of it.
    bool ReadLine(std::string& line, int64_t& headerBudget);
    // One status line and its headers; response is refilled. Returns the code.
    int32_t ReadStatusAndHeaders(THttpResponse& response, int64_t& headerBudget, bool& gotAny);
    // Appends the body the response announces; sets response.BodyComplete.
    void ReadBody(THttpResponse& response, std::string& out, int32_t timeoutMs, int64_t cap);
    // Hands the body to sink portion by portion, without a cap; sink empties what it takes,
    // and ends the reading by returning false. True when sink ended it.
    using TBodySink = std::function<bool(std::string& portion)>;
    bool ReadBodyTo(THttpResponse& response, const TBodySink& sink, int32_t timeoutMs);

private:
    bool Fill();
    bool ReadCounted(std::string& out, int64_t n, int64_t& count, int32_t timeoutMs, int64_t& total,
                     int64_t cap);

    ByteSource& FSource;
    std::string FBuffered;
    std::size_t FBufferedPos = 0;
    bool FClosed = false;
    const TBodySink* FSink = nullptr;
    bool FSinkStopped = false;
};

struct THttpCookie {
    std::string Name;
    std::string Value;
    std::string Domain; // lower case
    bool HostOnly = true;
    std::string Path;
};

// One Set-Cookie value as sent by host; false when it names no cookie or is too long.
// expired: the server asks to drop the cookie (Max-Age 0 or less, Expires before now).
bool ParseSetCookie(std::string_view value, std::string_view host, std::time_t now,
                    THttpCookie& cookie, bool& expired);

// The status line's code: the number after its first space; -1 when not a number.
int32_t ParseStatusCode(std::string_view line);
// The hexadecimal chunk size before the first blank (or extension); 0 when not
// hexadecimal, -1 when it does not fit.
int64_t ParseChunkSize(std::string_view line);

// The HTTP date forms (with zone offsets) read as GMT; false when unreadable.
bool ParseHttpDate(std::string_view text, std::time_t& utc);
// The Last-Modified value as the client reports it: local date-time, zero date corrected.
TDateTime HttpDateToLocal(std::string_view text);

} // namespace ocelis
