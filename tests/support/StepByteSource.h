// Bytes handed to the HTTP answer reader at most `step` at a time, then a clean close: a
// server's answer without a socket, for the reader's tests and its fuzzer.
#pragma once

#include "net/HttpParser.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <utility>

namespace ocelis::test {

class TStepByteSource : public ByteSource {
public:
    TStepByteSource(std::string bytes, std::size_t step) : FBytes(std::move(bytes)), FStep(step) {}
    std::size_t Read(char* dst, std::size_t max, int32_t) override {
        const std::size_t n = std::min({max, FStep, FBytes.size() - FPos});
        std::memcpy(dst, FBytes.data() + FPos, n);
        FPos += n;
        return n;
    }

private:
    std::string FBytes;
    std::size_t FStep;
    std::size_t FPos = 0;
};

} // namespace ocelis::test
