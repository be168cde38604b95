// Rules of the application shell that need no window: the tray menu's webcam columns.
#pragma once

#include <vector>

namespace ocelis {

// Webcam entries of one submenu per column: the 30th, 59th, 88th ... entry starts a new
// column, so every column holds at most 29 (60 entries -> 29, 29, 2).
constexpr int kWebcamsPerColumn = 29;
std::vector<int> WebcamColumnSizes(int webcamCount);
// The column (from 0) of the webcam entry at index (from 0).
int WebcamColumnOf(int index);

} // namespace ocelis
