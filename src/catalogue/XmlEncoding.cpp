#include "catalogue/XmlEncoding.h"

#include <array>
#include <cstdint>

#include "util/Text.h"

namespace ocelis {

namespace {

constexpr std::string_view kBom = "\xEF\xBB\xBF";
constexpr std::string_view kReplacement = "\xEF\xBF\xBD";

// Code points of windows-1252's bytes 0x80 to 0x9F; the five it leaves undefined map to the
// control character of the same number, as the system's converter does.
constexpr std::array<uint16_t, 32> kCp1252High = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

void PutUtf8(std::string& out, uint32_t cp) {
    if (cp < 0x80) {
        out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
}

// Length of the well-formed UTF-8 sequence at i, or 0 when there is none.
size_t SequenceAt(std::string_view s, size_t i) {
    const auto b = [&](size_t k) { return static_cast<unsigned char>(s[i + k]); };
    const unsigned char c = b(0);
    if (c < 0x80)
        return 1;
    size_t len = 0;
    unsigned char lo = 0x80, hi = 0xBF;
    if (c >= 0xC2 && c <= 0xDF) {
        len = 2;
    } else if (c >= 0xE0 && c <= 0xEF) {
        len = 3;
        if (c == 0xE0)
            lo = 0xA0; // overlong
        if (c == 0xED)
            hi = 0x9F; // surrogates
    } else if (c >= 0xF0 && c <= 0xF4) {
        len = 4;
        if (c == 0xF0)
            lo = 0x90;
        if (c == 0xF4)
            hi = 0x8F; // past U+10FFFF
    } else {
        return 0;
    }
    if (s.size() - i < len || b(1) < lo || b(1) > hi)
        return 0;
    for (size_t k = 2; k < len; ++k)
        if (b(k) < 0x80 || b(k) > 0xBF)
            return 0;
    return len;
}

std::string RepairedUtf8(std::string_view s) {
    std::string out;
    out.reserve(s.size() + s.size() / 8);
    for (size_t i = 0; i < s.size();) {
        const size_t n = SequenceAt(s, i);
        if (n == 0) {
            out.append(kReplacement);
            ++i;
        } else {
            out.append(s.substr(i, n));
            i += n;
        }
    }
    return out;
}

std::string FromWindows1252(std::string_view s) {
    std::string out;
    out.reserve(s.size() + s.size() / 4);
    for (const char ch : s) {
        const auto c = static_cast<unsigned char>(ch);
        if (c >= 0x80 && c < 0xA0)
            PutUtf8(out, kCp1252High[c - 0x80]);
        else
            PutUtf8(out, c);
    }
    return out;
}

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

} // namespace

bool IsValidUtf8(std::string_view bytes) {
    for (size_t i = 0; i < bytes.size();) {
        // Runs of ASCII are by far the most common; skip them a byte at a time without the
        // sequence check.
        if (static_cast<unsigned char>(bytes[i]) < 0x80) {
            ++i;
            continue;
        }
        const size_t n = SequenceAt(bytes, i);
        if (n == 0)
            return false;
        i += n;
    }
    return true;
}

std::string DeclaredXmlEncoding(std::string_view bytes) {
    if (bytes.substr(0, kBom.size()) == kBom)
        bytes.remove_prefix(kBom.size());
    size_t i = 0;
    while (i < bytes.size() && IsBlank(bytes[i]))
        ++i;
    bytes.remove_prefix(i);
    if (bytes.substr(0, 6) != "<?xml " && bytes.substr(0, 6) != "<?xml\t")
        return {};
    const size_t end = bytes.find("?>");
    const std::string_view decl = bytes.substr(0, end);
    size_t at = decl.find("encoding");
    if (at == std::string_view::npos)
        return {};
    at += 8;
    while (at < decl.size() && IsBlank(decl[at]))
        ++at;
    if (at >= decl.size() || decl[at] != '=')
        return {};
    ++at;
    while (at < decl.size() && IsBlank(decl[at]))
        ++at;
    if (at >= decl.size() || (decl[at] != '"' && decl[at] != '\''))
        return {};
    const size_t close = decl.find(decl[at], at + 1);
    if (close == std::string_view::npos)
        return {};
    return AnsiLower(Trim(decl.substr(at + 1, close - at - 1)));
}

std::string XmlFileTextToUtf8(std::string bytes) {
    const bool bom = std::string_view(bytes).substr(0, kBom.size()) == kBom;
    if (bom)
        bytes.erase(0, kBom.size());
    const std::string declared = DeclaredXmlEncoding(bytes);
    const bool saysUtf8 = bom || declared == "utf-8" || declared == "utf8";
    if (IsValidUtf8(bytes))
        return bytes;
    if (saysUtf8)
        return RepairedUtf8(bytes);
    return FromWindows1252(bytes);
}

} // namespace ocelis
