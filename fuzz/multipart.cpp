// Feeds arbitrary bytes to the stream reader in piece sizes the input chooses, with a
// boundary the input chooses. Crashes, hangs and unbounded memory are failures, and so is a
// part that breaks the reader's promises: none over the cap, and a part that announced its
// length has exactly that length.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "net/Multipart.h"

namespace {
constexpr int64_t kCap = 4096;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 3)
        return 0;
    const std::size_t step = 1 + data[0] % 64;
    const std::size_t boundaryLength = data[1] % 8;
    std::string_view rest(reinterpret_cast<const char*>(data) + 2, size - 2);
    const std::string_view boundary = rest.substr(0, std::min(boundaryLength, rest.size()));
    rest.remove_prefix(boundary.size());
    ocelis::TMultipartReader reader(boundary, kCap);
    const auto check = [](ocelis::TMultipartPart& part) {
        if (static_cast<int64_t>(part.Bytes.size()) > kCap)
            __builtin_trap();
        if (part.ContentLength >= 0 &&
            static_cast<int64_t>(part.Bytes.size()) != part.ContentLength)
            __builtin_trap();
        return true;
    };
    for (std::size_t i = 0; i < rest.size(); i += step) {
        reader.Feed(rest.substr(i, step), check);
        // The part being read, a boundary's tail and one piece of read-ahead at most.
        if (reader.Held() > static_cast<std::size_t>(kCap) + 65536 + 2 * step + 16384)
            __builtin_trap();
    }
    return 0;
}
