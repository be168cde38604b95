#include "app/ShellRules.h"

#include "util/Text.h"

namespace ocelis {

namespace {

std::string Escaped(const std::string& shown, bool exported) {
    std::string out;
    out.reserve(shown.size() + 2);
    for (const char c : shown) {
        if (c == '&' || (exported && c == '_'))
            out += c;
        out += c;
    }
    return out;
}

} // namespace

std::string MenuCaption(std::string_view name, bool exported) {
    // Elided before escaping, so that an ellipsis never splits a doubled "&".
    return Escaped(ElideMiddle(name), exported);
}

std::string FitMenuText(std::string_view name, const TTextWidth& width, int budget) {
    std::string best = ElideMiddle(name);
    if (!width || width(best) <= budget)
        return best;
    // Widths grow with the characters kept: the longest that fits, by halving.
    size_t low = kMinMenuChars;
    size_t high = kMaxShownChars - 1;
    best = ElideMiddle(name, low);
    while (low < high) {
        const size_t mid = low + (high - low + 1) / 2;
        std::string candidate = ElideMiddle(name, mid);
        if (width(candidate) <= budget) {
            low = mid;
            best = std::move(candidate);
        } else {
            high = mid - 1;
        }
    }
    return best;
}

std::string MenuCaption(std::string_view name, bool exported, const TTextWidth& width, int budget) {
    return Escaped(FitMenuText(name, width, budget), exported);
}

} // namespace ocelis
