// The text rule of the generic error report, which needs no window.
#pragma once

#include <string>
#include <string_view>

namespace ocelis {

// The message of the error report: a full stop is appended when the last byte sorts after
// "." (so texts ending in a letter or digit get one).
std::string ErrorReportText(std::string_view message);

} // namespace ocelis
