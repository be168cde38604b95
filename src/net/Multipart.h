// The parts of a multipart/x-mixed-replace body (a camera's stream of pictures), read from
// bytes as they arrive. Pure: no socket, no clock.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace ocelis {

struct TMultipartPart {
    std::string ContentType;
    int64_t ContentLength = -1; // as announced; -1 when the part had none
    std::string Bytes;
};

// The boundary of a Content-Type that announces a stream: empty when the header names none
// (the reader then takes the first "--" line of the body); nullopt when it is no stream.
std::optional<std::string> StreamBoundary(std::string_view contentType);

class TMultipartReader {
public:
    // A complete part; the handler may take its Bytes. False ends the reading.
    using TPartEvent = std::function<bool(TMultipartPart& part)>;

    // maxPart: a bigger part is skipped, the stream goes on.
    TMultipartReader(std::string_view boundary, int64_t maxPart);

    // False when the handler asked to stop; later calls then do nothing.
    bool Feed(std::string_view bytes, const TPartEvent& onPart);

    int64_t PartsSkipped() const { return FSkipped; }
    // Bytes held: the part being read and what waits to be looked at.
    std::size_t Held() const { return FBuf.size() - FPos + FPart.Bytes.size(); }

private:
    enum class TState { Boundary, Headers, Counted, Delimited, Skipping };
    bool Step(const TPartEvent& onPart, bool& stop);
    bool IsBoundaryLine(std::string_view line);
    // Where the next delimiter line of a part without a length begins in FBuf, from FPos;
    // npos when none yet. lineEnd: the line break before it.
    std::size_t FindDelimiter(std::size_t& partEnd) const;
    void Compact();
    void StartPart();
    void EndPartSkipped();

    std::string FBoundary; // without a leading "--"
    int64_t FMaxPart;
    std::string FBuf;
    std::size_t FPos = 0;
    std::size_t FSearchFrom = 0; // of a delimited part: FBuf offset already searched
    TState FState = TState::Boundary;
    TMultipartPart FPart;
    int64_t FLeft = 0;           // bytes of a counted part (or a skipped one) still to come
    bool FSkipDelimited = false; // skipping up to the next delimiter rather than a count
    std::size_t FHeaderBytes = 0;
    int64_t FSkipped = 0;
    bool FStopped = false;
};

} // namespace ocelis
