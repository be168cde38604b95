#include "net/Multipart.h"

#include "util/Text.h"

#include <algorithm>

namespace ocelis {

namespace {

// Longest line looked at between parts, and the most header bytes of one part: whatever is
// longer is noise, and only its end is kept.
constexpr std::size_t kMaxLine = 4096;
constexpr std::size_t kMaxHeaders = 16384;
// Read-ahead consumed beyond this is given back before more is appended.
constexpr std::size_t kCompactAt = 65536;

std::string_view TrimLineEnd(std::string_view line) {
    while (!line.empty() && (line.back() == '\r' || line.back() == ' ' || line.back() == '\t'))
        line.remove_suffix(1);
    return line;
}

int64_t ParseCount(std::string_view text) {
    const std::string t = Trim(text);
    if (t.empty() || t.size() > 18 ||
        !std::all_of(t.begin(), t.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return -1;
    return std::stoll(t);
}

} // namespace

std::optional<std::string> StreamBoundary(std::string_view contentType) {
    const std::size_t semi = contentType.find(';');
    if (!SameText(Trim(contentType.substr(0, semi)), "multipart/x-mixed-replace"))
        return std::nullopt;
    std::string boundary;
    std::size_t pos = semi;
    while (pos != std::string_view::npos) {
        const std::size_t next = contentType.find(';', pos + 1);
        const std::string param = Trim(contentType.substr(
            pos + 1, next == std::string_view::npos ? std::string_view::npos : next - pos - 1));
        pos = next;
        const std::size_t eq = param.find('=');
        if (eq == std::string::npos || !SameText(Trim(param.substr(0, eq)), "boundary"))
            continue;
        boundary = Trim(param.substr(eq + 1));
        if (boundary.size() >= 2 && boundary.front() == '"' && boundary.back() == '"')
            boundary = boundary.substr(1, boundary.size() - 2);
        break;
    }
    if (boundary.size() > kMaxLine / 2)
        boundary.clear(); // learnt from the body instead
    return boundary;
}

TMultipartReader::TMultipartReader(std::string_view boundary, int64_t maxPart)
    : FBoundary(boundary), FMaxPart(std::max<int64_t>(maxPart, 0)) {}

bool TMultipartReader::IsBoundaryLine(std::string_view line) {
    line = TrimLineEnd(line);
    if (FBoundary.empty()) {
        // No boundary in the header: the first delimiter-like line names it.
        if (line.size() <= 2 || line.substr(0, 2) != "--" || line.size() > kMaxLine / 2)
            return false;
        FBoundary = std::string(line.substr(2));
        return true;
    }
    if (line.size() >= 2 && line.substr(line.size() - 2) == "--" &&
        line.size() > FBoundary.size() + 1)
        line.remove_suffix(2); // a closing delimiter: what follows, if anything, goes on
    return line == FBoundary || (line.size() == FBoundary.size() + 2 && line.substr(0, 2) == "--" &&
                                 line.substr(2) == FBoundary);
}

void TMultipartReader::StartPart() {
    FPart.ContentType.clear();
    FPart.ContentLength = -1;
    FPart.Bytes.clear();
    FHeaderBytes = 0;
    FSkipDelimited = false;
    FSearchFrom = 0;
    FState = TState::Headers;
}

void TMultipartReader::EndPartSkipped() {
    ++FSkipped;
    FPart.Bytes.clear();
    FState = TState::Boundary;
}

std::size_t TMultipartReader::FindDelimiter(std::size_t& partEnd) const {
    // A delimiter stands at the start of a line, as "--boundary" or the bare boundary, and
    // is followed by the end of its line, blanks or "--".
    const std::string dashed = "\n--" + FBoundary;
    const std::string bare = "\n" + FBoundary;
    std::size_t from = FPos + FSearchFrom;
    for (;;) {
        const std::size_t a = FBuf.find(dashed, from);
        const std::size_t b = FBuf.find(bare, from);
        const std::size_t at = std::min(a, b);
        if (at == std::string::npos)
            return std::string::npos;
        const std::size_t after = at + (at == a ? dashed.size() : bare.size());
        if (after >= FBuf.size())
            return std::string::npos; // wait for the byte that tells
        const char c = FBuf[after];
        if (c == '\r' || c == '\n' || c == ' ' || c == '\t' || c == '-') {
            partEnd = at > FPos && FBuf[at - 1] == '\r' ? at - 1 : at;
            return at + 1;
        }
        from = at + 1;
    }
}

void TMultipartReader::Compact() {
    if (FPos == 0)
        return;
    if (FPos == FBuf.size()) {
        FBuf.clear();
        FPos = 0;
    } else if (FPos >= kCompactAt && FPos * 2 >= FBuf.size()) {
        FBuf.erase(0, FPos);
        FPos = 0;
    }
}

bool TMultipartReader::Feed(std::string_view bytes, const TPartEvent& onPart) {
    if (FStopped)
        return false;
    Compact();
    FBuf.append(bytes);
    bool stop = false;
    while (Step(onPart, stop)) {
    }
    if (stop) {
        FStopped = true;
        return false;
    }
    return true;
}

// One move of the state machine; false when it needs more bytes (or must stop).
bool TMultipartReader::Step(const TPartEvent& onPart, bool& stop) {
    const std::size_t avail = FBuf.size() - FPos;
    switch (FState) {
    case TState::Boundary:
    case TState::Headers: {
        const std::size_t nl = FBuf.find('\n', FPos);
        if (nl == std::string::npos) {
            const std::size_t limit = FState == TState::Boundary
                                          ? kMaxLine
                                          : kMaxHeaders - std::min(FHeaderBytes, kMaxHeaders);
            if (avail > limit) {
                if (FState == TState::Headers)
                    FState = TState::Boundary; // no part header is that long: noise
                FPos = std::max(FPos, FBuf.size() - std::min(avail, kMaxLine));
            }
            return false;
        }
        const std::string_view line(FBuf.data() + FPos, nl - FPos);
        FPos = nl + 1;
        if (FState == TState::Boundary) {
            if (line.size() <= kMaxLine && IsBoundaryLine(line))
                StartPart();
            return true;
        }
        FHeaderBytes += line.size() + 1;
        const std::string_view text = TrimLineEnd(line);
        if (FHeaderBytes > kMaxHeaders) {
            FState = TState::Boundary;
        } else if (text.empty()) {
            if (FPart.ContentLength > FMaxPart) {
                FLeft = FPart.ContentLength;
                FState = TState::Skipping;
            } else if (FPart.ContentLength >= 0) {
                FLeft = FPart.ContentLength;
                FPart.Bytes.reserve(static_cast<std::size_t>(FLeft));
                FState = TState::Counted;
            } else {
                FState = TState::Delimited;
            }
        } else if (IsBoundaryLine(text)) {
            StartPart(); // an empty part without its blank line
        } else if (const std::size_t colon = text.find(':'); colon != std::string_view::npos) {
            const std::string name = Trim(text.substr(0, colon));
            if (SameText(name, "Content-Type"))
                FPart.ContentType = Trim(text.substr(colon + 1));
            else if (SameText(name, "Content-Length"))
                FPart.ContentLength = ParseCount(text.substr(colon + 1));
        }
        return true;
    }
    case TState::Counted:
    case TState::Skipping: {
        if (avail == 0)
            return false;
        const std::size_t n =
            static_cast<std::size_t>(std::min<int64_t>(FLeft, static_cast<int64_t>(avail)));
        if (FState == TState::Counted)
            FPart.Bytes.append(FBuf, FPos, n);
        FPos += n;
        FLeft -= static_cast<int64_t>(n);
        if (FLeft > 0)
            return false;
        if (FState == TState::Skipping) {
            EndPartSkipped();
            return true;
        }
        FState = TState::Boundary;
        if (!onPart(FPart)) {
            stop = true;
            return false;
        }
        return true;
    }
    case TState::Delimited: {
        std::size_t partEnd = 0;
        const std::size_t next = FindDelimiter(partEnd);
        if (next == std::string::npos) {
            // Searched up to where a delimiter could still begin; a part grown past the cap
            // is dropped as it comes, keeping only that tail.
            const std::size_t tail = FBoundary.size() + 4;
            FSearchFrom = avail > tail ? avail - tail : 0;
            if (FSkipDelimited ||
                static_cast<int64_t>(avail) > FMaxPart + static_cast<int64_t>(tail)) {
                FSkipDelimited = true;
                FPos += FSearchFrom;
                FSearchFrom = 0;
            }
            return false;
        }
        const std::size_t length = partEnd - FPos;
        if (FSkipDelimited || static_cast<int64_t>(length) > FMaxPart) {
            FPos = next;
            EndPartSkipped();
            return true;
        }
        FPart.Bytes.assign(FBuf, FPos, length);
        FPos = next;
        FState = TState::Boundary;
        if (!onPart(FPart)) {
            stop = true;
            return false;
        }
        return true;
    }
    }
    return false;
}

} // namespace ocelis
