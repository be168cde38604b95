// Byte-string helpers shared by every subsystem. Text is bytes in the locale's 8-bit
// encoding; case-insensitive work touches ASCII letters only.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace ocelis {

// Upper-cases ASCII letters; every other byte is kept.
std::string AnsiUpper(std::string_view s);
std::string AnsiLower(std::string_view s);

// Compares without regard to ASCII letter case.
bool SameText(std::string_view a, std::string_view b);

// Reads a whole decimal 64-bit integer with an optional sign (no blanks, no trailing text).
// Empty text, other characters or overflow give nothing.
std::optional<int64_t> TryStrToInt64(std::string_view s);

// Cuts to the low 32 bits, as the stored form asks for.
inline int32_t LowInt32(int64_t v) {
    return static_cast<int32_t>(static_cast<uint32_t>(v));
}

std::string Trim(std::string_view s);

// "%1" ... "%9" of a message text replaced by args, in one pass: a language file's text is
// never used as a format, and a value holding "%2" stays as it is.
std::string FillArgs(std::string_view text, const std::vector<std::string>& args);

// The most characters a stored value shows in a window title, a menu entry or a tip: a name
// of megabytes would otherwise go to the window system whole.
constexpr size_t kMaxShownChars = 80;

// Text of more than maxChars UTF-8 characters keeps its first and last characters around
// an ellipsis, maxChars in all; shorter text is returned as it is. Never splits a character.
std::string ElideMiddle(std::string_view text, size_t maxChars = kMaxShownChars);

} // namespace ocelis
