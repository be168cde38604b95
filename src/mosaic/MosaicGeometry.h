// The mosaic's numbers as free functions over plain values: cell sizes, rows, the picture's
// place in its cell, the order of the cells, and how a cell is marked.
#pragma once

#include "util/DateTime.h"

#include <cstdint>
#include <string>
#include <vector>

class TCamCategory;
class TCamWebcam;

namespace ocelis {

constexpr int32_t kMosaicColumns = 6;
constexpr int32_t kMosaicInset = 4; // pixels between a cell's edge and its picture

struct TMosaicCellSize {
    int32_t ColWidth = 0;
    int32_t RowHeight = 0;
    bool operator==(const TMosaicCellSize&) const = default;
};

struct TMosaicRect {
    int32_t Left = 0, Top = 0, Right = 0, Bottom = 0;
    int32_t Width() const { return Right - Left; }
    int32_t Height() const { return Bottom - Top; }
    bool operator==(const TMosaicRect&) const = default;
};

// Column width (client width - 20) div columns; row height width x 0.75, halves to even.
TMosaicCellSize MosaicCellSize(int32_t clientWidth, int32_t columns = kMosaicColumns);

// Cells divided by columns, rounded up; at least one row.
int32_t MosaicRowCount(std::size_t cells, int32_t columns = kMosaicColumns);

// Where a picture of imageWidth x imageHeight is drawn in a cell: inset by 4 pixels, then
// scaled (up or down) to fit with its proportions kept, centred. Empty when nothing is
// drawn (an empty picture or no room).
TMosaicRect MosaicPictureRect(const TMosaicRect& cell, int32_t imageWidth, int32_t imageHeight);

// The room a cell of this size gives its picture.
TMosaicCellSize MosaicPictureBox(const TMosaicCellSize& cell);

// Whether a decoded picture is too small for the room its cell now gives it (its drawn size
// would be larger than the picture itself), so that it should be fetched again.
bool MosaicPictureTooSmall(int32_t pictureWidth, int32_t pictureHeight,
                           const TMosaicCellSize& cell);

// Every webcam below root in cell order: a category's own webcams, then those of each
// sub-category in turn (depth first); the root's own come first of all.
std::vector<const TCamWebcam*> MosaicWebcams(const TCamCategory& root);

// The live rule of a fetched cell: a non-zero Content-Length from the previous pass, or
// else a Last-Modified less than 60 whole seconds from now (either side).
bool MosaicLive(int32_t previousLength, TDateTime lastModified, TDateTime now);

enum class TCellShade { Highlight, Offline, Stale, Live, Dark };

// The background of a cell, by precedence.
TCellShade MosaicShade(bool selected, bool failed, bool stale, bool live);

// "updated 45 s ago", "updated 2 min ago", "updated 3 h ago", "updated 2 days ago".
std::string MosaicAgeText(int64_t seconds);

} // namespace ocelis
