// Rules of the application shell that need no window: the tray menu's webcam columns and
// the text of the generic error report.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace ocelis {

// Webcam entries of one submenu per column: the 30th, 59th, 88th ... entry starts a new
// column, so every column holds at most 29 (60 entries -> 29, 29, 2).
constexpr int kWebcamsPerColumn = 29;
std::vector<int> WebcamColumnSizes(int webcamCount);
// The column (from 0) of the webcam entry at index (from 0).
int WebcamColumnOf(int index);

// The caption of a menu entry that shows a name as plain text. Qt reads "&" as the mark of
// an accelerator; an exported menu's labels are read by the host, for which "_" is that mark.
std::string MenuCaption(std::string_view name, bool exported);

// The message of the error report: a full stop is appended when the last byte sorts after
// "." (so texts ending in a letter or digit get one).
std::string ErrorReportText(std::string_view message);

} // namespace ocelis
