// TfoMire: the "Mosaic" window. Every webcam of the catalogue is a cell of a 6-column grid
// of thumbnails, each fetched again its own Refresh seconds after its last fetch by up to
// four threads sharing the window's schedule; the highlight frames the cell whose fetch
// ended last, the background tells whether a webcam looks live, and a double click opens a
// viewer.
#pragma once

#include "catalogue/CamCategory.h"
#include "gui/SForm.h"
#include "imaging/Bitmap.h"
#include "mosaic/CamGrid.h"
#include "mosaic/MireThread.h"
#include "mosaic/MosaicGeometry.h"
#include "net/WebcamHealth.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class TOcStatusBar;

// The state of one cell.
class TCamInfo {
public:
    TCamInfo() : Webcam(std::make_unique<TCamWebcam>()), Health(ocelis::HealthClock()) {}

    // The picture, decoded at the smallest DCT scale that covers the cell; empty when none.
    ocelis::TBitmap Image;
    std::unique_ptr<TCamWebcam> Webcam; // a copy of the catalogue's record
    std::string Referer;
    std::string Url;
    ocelis::TModifiedDate LastModified;
    ocelis::TChangeByContent Content; // how its server is polled, the last picture seen
    int32_t ContentLength = 0;
    bool Live = false;

    bool Fetched = false; // a fetch of this cell has been handed over
    bool Failed = false;  // the last one got no answer, an error, or no usable picture
    std::string FailReason;
    bool Refetch = false; // download at the next pass even when the server reports no change
    bool Changed = false; // a picture has been seen; LastChange is when it last changed
    std::chrono::steady_clock::time_point LastChange;
    std::size_t PictureHash = 0;

    // Whether the last request got a 2xx answer (a picture that is no JPEG apart).
    bool Answered = false;
    // Offline and stale by the viewers' rule, watched since the cell was made; it also keeps
    // the failures in a row and the last one's kind.
    ocelis::TWebcamHealth Health;
};

class TfoMire : public TSForm {
    Q_OBJECT
public:
    // Top-level with its own taskbar entry; destroyed when closed.
    explicit TfoMire(QWidget* parent = nullptr);
    ~TfoMire() override;

    TCamGrid* CamGrid = nullptr;
    TOcStatusBar* StatusBar = nullptr;

    // Set by the tray controller: opens or brings forward the viewer of a webcam.
    std::function<void(const TCamWebcam&)> OpenViewer;
    // Makes each new thread when set (tests give it their hand-over and timing).
    static inline std::function<TMireThread*()> NewThread;

    // Run after a cell's fetch has been handed over and its fields updated.
    std::function<void(std::size_t index)> OnCellFetched;

    // The thread hand-overs (GUI thread, worker waiting). ThreadPrepare fills in the inputs
    // of the cell at the thread's Index; ThreadNext first moves Index on to the next cell,
    // for a thread that goes round the cells in order without a schedule.
    void ThreadPrepare(TMireThread& thread);
    void ThreadNext(TMireThread& thread);
    void ThreadImage(TMireThread& thread);

    void FormResize();
    void CamGridDrawCell(QPainter& p, int col, int row, const QRect& rect, bool selected);
    void CamGridDblClick();
    QString CellHint(std::size_t index) const;

    std::size_t CellCount() const { return FCells.size(); }
    const TCamInfo& Cell(std::size_t i) const { return *FCells[i]; }
    bool ThreadRunning() const;
    std::size_t ThreadCount() const { return FThreads.size(); }
    const std::shared_ptr<ocelis::TMireQueue>& Queue() const { return FQueue; }
    // The cell's shade as drawn now (selection apart).
    ocelis::TCellShade Shade(std::size_t i, bool selected) const;

signals:
    // FormClose: the tray controller forgets its reference.
    void Closed();

protected:
    void FormCreate() override;
    void resizeEvent(QResizeEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void LayoutChildren();
    bool Stale(const TCamInfo& cell) const;
    bool Offline(const TCamInfo& cell) const;

    std::vector<std::unique_ptr<TCamInfo>> FCells;
    std::vector<TMireThreadRef> FThreads;
    std::shared_ptr<ocelis::TMireQueue> FQueue;
    ocelis::TMosaicCellSize FCellSize;
};
