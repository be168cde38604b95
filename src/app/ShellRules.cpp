#include "app/ShellRules.h"

namespace ocelis {

std::vector<int> WebcamColumnSizes(int webcamCount) {
    std::vector<int> sizes;
    // Counted from 1; reaching 30 starts a column with that entry and restarts at 1.
    int count = 0;
    for (int i = 0; i < webcamCount; ++i) {
        ++count;
        if (sizes.empty() || count == kWebcamsPerColumn + 1) {
            sizes.push_back(0);
            if (count == kWebcamsPerColumn + 1)
                count = 1;
        }
        ++sizes.back();
    }
    return sizes;
}

int WebcamColumnOf(int index) {
    return index < 0 ? 0 : index / kWebcamsPerColumn;
}

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

std::string ErrorReportText(std::string_view message) {
    std::string text(message);
    if (!text.empty() && static_cast<unsigned char>(text.back()) > '.')
        text += '.';
    return text;
}

} // namespace ocelis
