#include "app/ShellRules.h"

#include "util/Text.h"

namespace ocelis {

std::string MenuCaption(std::string_view name, bool exported) {
    // Elided before escaping, so that an ellipsis never splits a doubled "&".
    const std::string shown = ElideMiddle(name);
    std::string out;
    out.reserve(shown.size() + 2);
    for (const char c : shown) {
        if (c == '&' || (exported && c == '_'))
            out += c;
        out += c;
    }
    return out;
}

} // namespace ocelis
