// Feeds arbitrary bytes to the HTTP answer reader as a server would send them, in read sizes
// the input chooses, then hands every header to the cookie and date readers. Errors are
// fine; crashes, hangs, unbounded memory and a body that breaks the reader's own promises
// (its cap, its Content-Length, a complete body of the announced size) are not.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#include "net/HttpParser.h"
#include "support/StepByteSource.h"

namespace {

constexpr int64_t kCap = int64_t{1} << 16;

void CheckHeaders(const THttpResponse& response) {
    for (const std::string& h : response.Headers) {
        const std::size_t colon = h.find(':');
        if (colon == std::string::npos)
            continue;
        const std::string_view value = std::string_view(h).substr(colon + 1);
        ocelis::THttpCookie cookie;
        bool expired = false;
        if (ocelis::ParseSetCookie(value, "www.cam.example", 1700000000, cookie, expired) &&
            cookie.Name.empty())
            __builtin_trap();
        std::time_t t;
        (void)ocelis::ParseHttpDate(value, t);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2)
        return 0;
    const std::size_t step = 1 + data[0] % 64;
    const std::string_view bytes(reinterpret_cast<const char*>(data) + 2, size - 2);
    ocelis::test::TStepByteSource source(std::string(bytes), step);
    ocelis::THttpReader reader(source);
    reader.Limits.Portion = 1 + data[1] % 128;
    reader.Limits.MaxLineLength = 1024;
    reader.Limits.MaxHeaderSize = 16384;
    int64_t lastCount = 0;
    reader.OnPortion = [&](int64_t count) {
        if (count <= 0 || count > kCap + 1)
            __builtin_trap();
        lastCount = count;
    };
    THttpResponse response;
    try {
        int64_t budget = reader.Limits.MaxHeaderSize;
        bool gotAny = false;
        while (reader.ReadStatusAndHeaders(response, budget, gotAny) == 100)
            CheckHeaders(response);
        CheckHeaders(response);
        std::string body;
        reader.ReadBody(response, body, 0, kCap);
        const int64_t got = static_cast<int64_t>(body.size());
        if (got > kCap)
            __builtin_trap();
        if (response.ContentLength >= 1 &&
            (got > response.ContentLength ||
             (response.BodyComplete && got != response.ContentLength)))
            __builtin_trap();
    } catch (const EHttpError&) {
    }
    // The value readers also take any text on its own.
    std::time_t t;
    (void)ocelis::ParseHttpDate(bytes, t);
    (void)ocelis::ParseChunkSize(bytes);
    (void)ocelis::ParseStatusCode(bytes);
    return 0;
}
