#include "app/ShellRules.h"

namespace ocelis {

std::string MenuCaption(std::string_view name, bool exported) {
    std::string out;
    out.reserve(name.size() + 2);
    for (const char c : name) {
        if (c == '&' || (exported && c == '_'))
            out += c;
        out += c;
    }
    return out;
}

} // namespace ocelis
