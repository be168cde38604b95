#include "mosaic/MosaicGeometry.h"

#include "catalogue/CamCategory.h"
#include "imaging/Bitmap.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace ocelis {

namespace {

// Halves go to the even neighbour, as the layouts' rounding does.
int32_t RoundEven(double v) {
    return static_cast<int32_t>(std::nearbyint(v));
}

void AddWebcams(const TCamCategory& category, std::vector<const TCamWebcam*>& out) {
    for (int i = 0; i < category.Cams.Count(); ++i)
        out.push_back(category.Cams.Items(i));
    for (int i = 0; i < category.Categories.Count(); ++i)
        AddWebcams(*category.Categories.Items(i), out);
}

} // namespace

TMosaicCellSize MosaicCellSize(int32_t clientWidth, int32_t columns) {
    if (columns <= 0)
        return {};
    const int32_t width = std::max(0, clientWidth - 20) / columns;
    // width * 3 / 4 with the remainder deciding: exact in integers, halves to even.
    int32_t height = width * 3 / 4;
    const int32_t rest = width * 3 % 4;
    if (rest > 2 || (rest == 2 && height % 2 == 1))
        ++height;
    return {width, height};
}

int32_t MosaicRowCount(std::size_t cells, int32_t columns) {
    if (columns <= 0)
        return 1;
    const auto c = static_cast<std::size_t>(columns);
    return std::max<int32_t>(1, static_cast<int32_t>((cells + c - 1) / c));
}

TMosaicRect MosaicPictureRect(const TMosaicRect& cell, int32_t imageWidth, int32_t imageHeight) {
    TMosaicRect r{cell.Left + kMosaicInset, cell.Top + kMosaicInset, cell.Right - kMosaicInset,
                  cell.Bottom - kMosaicInset};
    if (r.Width() <= 0 || r.Height() <= 0 || imageWidth <= 0 || imageHeight <= 0)
        return {};
    const double factor = std::max(static_cast<double>(imageWidth) / r.Width(),
                                   static_cast<double>(imageHeight) / r.Height());
    if (factor == 0)
        return {};
    const int32_t dx = (r.Width() - RoundEven(imageWidth / factor)) / 2;
    const int32_t dy = (r.Height() - RoundEven(imageHeight / factor)) / 2;
    return {r.Left + dx, r.Top + dy, r.Right - dx, r.Bottom - dy};
}

TMosaicCellSize MosaicPictureBox(const TMosaicCellSize& cell) {
    return {std::max(0, cell.ColWidth - 2 * kMosaicInset),
            std::max(0, cell.RowHeight - 2 * kMosaicInset)};
}

bool MosaicPictureTooSmall(int32_t pictureWidth, int32_t pictureHeight,
                           const TMosaicCellSize& cell) {
    const TMosaicCellSize box = MosaicPictureBox(cell);
    if (pictureWidth <= 0 || pictureHeight <= 0 || box.ColWidth <= 0 || box.RowHeight <= 0)
        return false;
    int32_t w = 0, h = 0;
    FitSize(pictureWidth, pictureHeight, box.ColWidth, box.RowHeight, w, h);
    return w > pictureWidth || h > pictureHeight;
}

std::vector<const TCamWebcam*> MosaicWebcams(const TCamCategory& root) {
    std::vector<const TCamWebcam*> out;
    AddWebcams(root, out);
    return out;
}

bool MosaicLive(int32_t previousLength, TDateTime lastModified, TDateTime now) {
    if (previousLength != 0)
        return true;
    // In milliseconds first, so that 60 seconds stored as a fraction of a day stays 60.
    const auto ms = std::llround(std::fabs(now - lastModified) * 86400000.0);
    return ms / 1000 < 60;
}

TCellShade MosaicShade(bool selected, bool failed, bool stale, bool live) {
    if (selected)
        return TCellShade::Highlight;
    if (failed)
        return TCellShade::Offline;
    if (stale)
        return TCellShade::Stale;
    return live ? TCellShade::Live : TCellShade::Dark;
}

std::string MosaicAgeText(int64_t seconds) {
    seconds = std::max<int64_t>(0, seconds);
    if (seconds < 60)
        return "updated " + std::to_string(seconds) + " s ago";
    if (seconds < 3600)
        return "updated " + std::to_string(seconds / 60) + " min ago";
    if (seconds < 86400 * 2)
        return "updated " + std::to_string(seconds / 3600) + " h ago";
    return "updated " + std::to_string(seconds / 86400) + " days ago";
}

} // namespace ocelis
