#include "mosaic/MireWindow.h"

#include "gui/OcStatusBar.h"
#include "gui/WindowKit.h"
#include "imaging/QtBitmap.h"
#include "net/Url.h"
#include "settings/CamViewer.h"
#include "settings/MessageTexts.h"
#include "settings/PlainText.h"
#include "util/QtText.h"
#include "util/Text.h"

#include <QPainter>
#include <algorithm>
#include <string_view>
#include <unordered_set>

using ocelis::TCellShade;

namespace {

constexpr int kStatusHeight = 21;
// A length no answer gives (-1 is a missing header): the next change test downloads.
constexpr int32_t kForceFetch = -2;

ocelis::TDateTime NowDateTime() {
    using namespace std::chrono;
    const auto now = system_clock::now();
    const auto secs = time_point_cast<seconds>(now);
    const double frac = duration<double>(now - secs).count();
    return ocelis::UnixToLocalDateTime(system_clock::to_time_t(secs)) + frac / 86400.0;
}

QColor ShadeColour(TCellShade shade, const QPalette& palette) {
    switch (shade) {
    case TCellShade::Highlight:
        return palette.color(QPalette::Highlight);
    case TCellShade::Offline:
        return QColor(128, 0, 0);
    case TCellShade::Stale:
        return QColor(150, 96, 0);
    case TCellShade::Live:
        return QColor(0, 128, 0);
    case TCellShade::Dark:
        break;
    }
    return Qt::black;
}

} // namespace

TfoMire::TfoMire(QWidget* parent) : TSForm(QStringLiteral("foMire"), parent, Qt::Window) {
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("Mosaic"));
    setMinimumSize(200, 200);
    resize(438, 330);
    ocelis::MoveOnScreen(this, 446, 285);
    setFont(QFont(QStringLiteral("MS Sans Serif"), 8));

    CamGrid = new TCamGrid(this);
    CamGrid->setObjectName(QStringLiteral("CamGrid"));
    CamGrid->SetColCount(ocelis::kMosaicColumns);
    CamGrid->OnDrawCell = [this](QPainter& p, int col, int row, const QRect& rect, bool sel) {
        CamGridDrawCell(p, col, row, rect, sel);
    };
    CamGrid->OnDblClick = [this] { CamGridDblClick(); };
    CamGrid->OnToolTip = [this](int col, int row) {
        return CellHint(static_cast<std::size_t>(row) * ocelis::kMosaicColumns +
                        static_cast<std::size_t>(col));
    };

    StatusBar = new TOcStatusBar(this);
    StatusBar->setObjectName(QStringLiteral("StatusBar"));
    StatusBar->setFixedHeight(kStatusHeight);

    LayoutChildren();
    FinishCreate();
}

TfoMire::~TfoMire() {
    // FormDestroy: stop the threads without waiting; the cells go with the list.
    for (TMireThreadRef& t : FThreads)
        t.Stop();
    if (FQueue)
        FQueue->Wake();
}

bool TfoMire::ThreadRunning() const {
    return std::any_of(FThreads.begin(), FThreads.end(),
                       [](const TMireThreadRef& t) { return t.Alive(); });
}

void TfoMire::LayoutChildren() {
    CamGrid->setGeometry(0, 0, width(), std::max(0, height() - kStatusHeight));
    StatusBar->setGeometry(0, height() - kStatusHeight, width(), kStatusHeight);
    FormResize();
}

void TfoMire::FormCreate() {
    FCells.clear();
    if (CamViewer && CamViewer->RootCategory) {
        const std::vector<const TCamWebcam*> cams = ocelis::MosaicWebcams(*CamViewer->RootCategory);
        FCells.reserve(cams.size());
        for (const TCamWebcam* cam : cams) {
            auto cell = std::make_unique<TCamInfo>();
            cell->Webcam->Assign(*cam);
            cell->Referer = cam->Referer;
            cell->Url = cam->Url;
            cell->Health.SetRefresh(cam->Refresh);
            FCells.push_back(std::move(cell));
        }
    }
    CamGrid->SetRowCount(ocelis::MosaicRowCount(FCells.size()));
    if (FCells.empty())
        return;
    std::vector<ocelis::TMireCell> cells;
    std::unordered_set<std::string> servers;
    cells.reserve(FCells.size());
    for (const auto& cell : FCells) {
        cells.push_back({ocelis::MireServer(cell->Url), cell->Webcam->Refresh, false});
        servers.insert(cells.back().Server);
    }
    FQueue = std::make_shared<ocelis::TMireQueue>();
    FQueue->SetCells(std::move(cells));
    StatusBar->SetSimpleText(ocelis::DisplayText(Refreshing) +
                             ocelis::ToQ(ocelis::UrlForDisplay(FCells.front()->Url)));
    // More threads than servers would only wait for one another.
    const std::size_t count = std::min(ocelis::TMireSchedule::kMaxInFlight, servers.size());
    for (std::size_t i = 0; i < count; ++i) {
        TMireThread* thread = NewThread ? NewThread() : new TMireThread();
        thread->Index = -1;
        thread->Queue = FQueue;
        thread->OnImage = [this](TMireThread& t) { ThreadImage(t); };
        thread->OnNext = [this](TMireThread& t) { ThreadPrepare(t); };
        // The first cells' inputs straight away: their fetches need no hand-over first.
        if (thread->TakeFirst())
            ThreadPrepare(*thread);
        FThreads.emplace_back(thread);
        thread->Resume();
    }
}

void TfoMire::resizeEvent(QResizeEvent* event) {
    TSForm::resizeEvent(event);
    if (CamGrid && StatusBar)
        LayoutChildren();
}

void TfoMire::closeEvent(QCloseEvent* event) {
    TSForm::closeEvent(event);
    emit Closed();
}

void TfoMire::FormResize() {
    const ocelis::TMosaicCellSize size = ocelis::MosaicCellSize(CamGrid->width());
    const bool larger = size.ColWidth > FCellSize.ColWidth || size.RowHeight > FCellSize.RowHeight;
    FCellSize = size;
    CamGrid->SetDefaultColWidth(size.ColWidth);
    CamGrid->SetDefaultRowHeight(size.RowHeight);
    if (!larger)
        return;
    // A picture decoded for smaller cells would now be drawn enlarged: fetch it again at the
    // next pass, even from a camera whose picture never changes.
    for (auto& cell : FCells)
        if (ocelis::MosaicPictureTooSmall(cell->Image.Width, cell->Image.Height, size))
            cell->Refetch = true;
}

void TfoMire::ThreadNext(TMireThread& thread) {
    if (FCells.empty())
        return;
    thread.Index = thread.Index + 1 >= static_cast<int32_t>(FCells.size()) ? 0 : thread.Index + 1;
    ThreadPrepare(thread);
}

void TfoMire::ThreadPrepare(TMireThread& thread) {
    if (thread.Index < 0 || static_cast<std::size_t>(thread.Index) >= FCells.size())
        return;
    TCamInfo& cell = *FCells[static_cast<std::size_t>(thread.Index)];
    thread.Url = cell.Url;
    thread.LastModified = cell.Refetch ? ocelis::TModifiedDate{} : cell.LastModified;
    thread.ContentLength = cell.Refetch ? kForceFetch : cell.ContentLength;
    // A refetch wants the picture decoded again, even the same bytes.
    thread.Content = cell.Refetch ? ocelis::TChangeByContent{} : cell.Content;
    cell.Live = false;
    StatusBar->SetSimpleText(ocelis::DisplayText(Refreshing) +
                             ocelis::ToQ(ocelis::UrlForDisplay(cell.Url)));
    thread.Referer = cell.Referer;
    const ocelis::TMosaicCellSize box = ocelis::MosaicPictureBox(FCellSize);
    thread.PictureWidth = std::max(1, box.ColWidth);
    thread.PictureHeight = std::max(1, box.RowHeight);
}

void TfoMire::ThreadImage(TMireThread& thread) {
    if (thread.Index < 0 || static_cast<std::size_t>(thread.Index) >= FCells.size())
        return;
    TCamInfo& cell = *FCells[static_cast<std::size_t>(thread.Index)];
    try {
        bool failed = !thread.Answered;
        std::string reason = thread.FailReason;
        cell.Content = thread.Content;
        const bool delivered =
            thread.Downloaded && !thread.Unchanged && thread.Answered && !thread.Data.empty();
        if (delivered && thread.PictureFailed) {
            failed = true;
            reason = thread.PictureCutShort ? "picture cut short" : "not a JPEG picture";
        }
        cell.Live =
            ocelis::MosaicLive(cell.ContentLength, thread.LastModified.Local, NowDateTime());
        cell.Fetched = true;
        cell.Failed = failed;
        cell.FailReason = reason;
        cell.Answered = thread.Answered;
        // A failed fetch keeps the values of the last good one, so that the next pass asks
        // for the picture again instead of taking the failure's values as the known state.
        if (!failed) {
            cell.ContentLength = thread.ContentLength;
            cell.LastModified = thread.LastModified;
            if (thread.Downloaded)
                cell.Refetch = false;
        }
        bool changed = false;
        if (delivered && !thread.PictureCutShort) {
            // A body that is no picture leaves the cell without one.
            cell.Image = std::move(thread.Picture);
            const std::size_t hash = std::hash<std::string_view>()(thread.Data);
            if (!cell.Changed || hash != cell.PictureHash) {
                changed = !thread.PictureFailed;
                cell.Changed = true;
                cell.LastChange = std::chrono::steady_clock::now();
                cell.PictureHash = hash;
            }
        }
        const double t = ocelis::HealthClock();
        if (!thread.Answered) {
            ocelis::TFetchFailure f;
            f.Kind = thread.FailKind;
            f.Text = reason;
            cell.Health.Failed(t, f);
        } else if (changed) {
            cell.Health.Changed(t);
        } else {
            cell.Health.Unchanged(t);
        }
    } catch (...) {
        // Drawing shows what the cell has.
    }
    CamGrid->SetCurrent(thread.Index % ocelis::kMosaicColumns,
                        thread.Index / ocelis::kMosaicColumns);
    if (OnCellFetched)
        OnCellFetched(static_cast<std::size_t>(thread.Index));
}

bool TfoMire::Stale(const TCamInfo& cell) const {
    return cell.Health.State(ocelis::HealthClock()) == ocelis::THealthState::Stale;
}

bool TfoMire::Offline(const TCamInfo& cell) const {
    // A server that answers with no usable picture is marked at once; one that does not
    // answer only by the viewers' rule (never after one miss).
    return (cell.Failed && cell.Answered) ||
           cell.Health.State(ocelis::HealthClock()) == ocelis::THealthState::Offline;
}

TCellShade TfoMire::Shade(std::size_t i, bool selected) const {
    const TCamInfo& cell = *FCells[i];
    const bool offline = cell.Fetched && Offline(cell);
    return ocelis::MosaicShade(selected, offline, cell.Fetched && !offline && Stale(cell),
                               cell.Live);
}

void TfoMire::CamGridDrawCell(QPainter& p, int col, int row, const QRect& rect, bool) {
    const auto index =
        static_cast<std::size_t>(col) + static_cast<std::size_t>(row) * ocelis::kMosaicColumns;
    if (index >= FCells.size())
        return;
    try {
        // The grid frames the selected cell: its state colour stays visible.
        p.fillRect(rect, ShadeColour(Shade(index, false), palette()));
        const ocelis::TBitmap& image = FCells[index]->Image;
        if (image.Empty())
            return;
        const ocelis::TMosaicRect r = ocelis::MosaicPictureRect(
            {rect.left(), rect.top(), rect.left() + rect.width(), rect.top() + rect.height()},
            image.Width, image.Height);
        if (r.Width() <= 0 || r.Height() <= 0)
            return;
        p.setRenderHint(QPainter::SmoothPixmapTransform);
        p.drawImage(QRect(r.Left, r.Top, r.Width(), r.Height()), ocelis::ViewAsQImage(image));
    } catch (...) {
        // A cell that cannot be drawn shows its background.
    }
}

void TfoMire::CamGridDblClick() {
    try {
        // The click's own position: the cursor may have moved on since.
        const QPoint pos = CamGrid->DblClickPos();
        int col = 0, row = 0;
        if (!CamGrid->MouseToCell(pos, col, row))
            return;
        const auto index =
            static_cast<std::size_t>(row) * ocelis::kMosaicColumns + static_cast<std::size_t>(col);
        if (index < FCells.size() && OpenViewer)
            OpenViewer(*FCells[index]->Webcam);
    } catch (...) {
    }
}

QString TfoMire::CellHint(std::size_t index) const {
    if (index >= FCells.size())
        return {};
    const TCamInfo& cell = *FCells[index];
    std::string state;
    if (!cell.Fetched)
        state = "not fetched yet";
    else if (Offline(cell))
        state = "offline: " + cell.FailReason;
    else if (cell.Failed)
        state = "last fetch failed: " + cell.FailReason;
    else if (Stale(cell))
        state = "stale: the picture has not changed for a long time";
    else if (cell.Live)
        state = "live";
    else
        state = "answering, no recent picture";
    QString text = ocelis::ToQ(ocelis::ElideMiddle(cell.Webcam->Name)) + QLatin1Char('\n') +
                   ocelis::ToQ(state);
    if (cell.Changed) {
        const auto age = std::chrono::duration_cast<std::chrono::seconds>(
                             std::chrono::steady_clock::now() - cell.LastChange)
                             .count();
        text += QLatin1Char('\n') + ocelis::ToQ(ocelis::MosaicAgeText(age));
    }
    return text;
}
