#include "util/Text.h"

#include <charconv>

namespace ocelis {

namespace {
char UpperByte(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}
char LowerByte(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}
} // namespace

std::string AnsiUpper(std::string_view s) {
    std::string r(s);
    for (char& c : r)
        c = UpperByte(c);
    return r;
}

std::string AnsiLower(std::string_view s) {
    std::string r(s);
    for (char& c : r)
        c = LowerByte(c);
    return r;
}

bool SameText(std::string_view a, std::string_view b) {
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (UpperByte(a[i]) != UpperByte(b[i]))
            return false;
    return true;
}

std::optional<int64_t> TryStrToInt64(std::string_view s) {
    if (s.empty())
        return std::nullopt;
    bool negative = false;
    size_t pos = 0;
    if (s[0] == '-' || s[0] == '+') {
        negative = s[0] == '-';
        pos = 1;
    }
    if (pos == s.size())
        return std::nullopt;
    uint64_t magnitude = 0;
    const char* first = s.data() + pos;
    const char* last = s.data() + s.size();
    auto [ptr, ec] = std::from_chars(first, last, magnitude);
    if (ec != std::errc() || ptr != last)
        return std::nullopt;
    constexpr uint64_t kMaxPositive = static_cast<uint64_t>(INT64_MAX);
    if (negative) {
        if (magnitude > kMaxPositive + 1)
            return std::nullopt;
        return magnitude == kMaxPositive + 1 ? INT64_MIN : -static_cast<int64_t>(magnitude);
    }
    if (magnitude > kMaxPositive)
        return std::nullopt;
    return static_cast<int64_t>(magnitude);
}

std::string Trim(std::string_view s) {
    size_t b = 0, e = s.size();
    while (b < e && static_cast<unsigned char>(s[b]) <= ' ')
        ++b;
    while (e > b && static_cast<unsigned char>(s[e - 1]) <= ' ')
        --e;
    return std::string(s.substr(b, e - b));
}

namespace {

bool StartsCharacter(char c) {
    return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
}

} // namespace

std::string ElideMiddle(std::string_view text, size_t maxChars) {
    size_t chars = 0;
    for (const char c : text)
        if (StartsCharacter(c) && ++chars > maxChars)
            break;
    if (chars <= maxChars)
        return std::string(text);
    constexpr std::string_view kEllipsis = "\u2026";
    if (maxChars == 0)
        return {};
    const size_t keep = maxChars - 1;
    size_t head = 0;
    for (size_t n = 0; n <= keep / 2 && head < text.size(); ++head)
        if (StartsCharacter(text[head]) && ++n > keep / 2)
            break;
    size_t tail = text.size();
    for (size_t n = 0; n < keep - keep / 2 && tail > head;)
        if (StartsCharacter(text[--tail]))
            ++n;
    std::string out;
    out.reserve(head + kEllipsis.size() + text.size() - tail);
    out.append(text.substr(0, head));
    out.append(kEllipsis);
    out.append(text.substr(tail));
    return out;
}

std::string FillArgs(std::string_view text, const std::vector<std::string>& args) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        const char next = i + 1 < text.size() ? text[i + 1] : '\0';
        if (text[i] == '%' && next >= '1' && next <= '9' &&
            static_cast<size_t>(next - '1') < args.size()) {
            out += args[static_cast<size_t>(next - '1')];
            ++i;
        } else {
            out += text[i];
        }
    }
    return out;
}

} // namespace ocelis
