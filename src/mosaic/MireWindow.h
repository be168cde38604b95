// TfoMire: the "Mosaic" window. Every webcam of the catalogue is a cell of a 6-column grid
// of thumbnails that one fetch thread refreshes in an endless cycle; the highlight follows
// the cell fetched last, the background tells whether a webcam looks live, and a double
// click opens a viewer.
#pragma once

#include "catalogue/CamCategory.h"
#include "gui/SForm.h"
#include "imaging/Bitmap.h"
#include "mosaic/MireThread.h"
#include "mosaic/MosaicGeometry.h"

#include <QAbstractScrollArea>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class QPainter;
class TOcStatusBar;

// A grid of cells drawn by its owner: fixed column widths, rows of a default height that
// the mouse may resize, 1-pixel grid lines, one current cell, scrolled by whole rows with a
// vertical scroll bar only.
class TCamGrid : public QAbstractScrollArea {
    Q_OBJECT
public:
    explicit TCamGrid(QWidget* parent = nullptr);

    int ColCount() const { return FColCount; }
    void SetColCount(int n);
    int RowCount() const { return static_cast<int>(FRowHeights.size()); }
    void SetRowCount(int n); // at least 1
    int DefaultColWidth() const { return FColWidth; }
    void SetDefaultColWidth(int w);
    int DefaultRowHeight() const { return FRowHeight; }
    // Also gives every row that height.
    void SetDefaultRowHeight(int h);
    int RowHeight(int row) const;
    void SetRowHeight(int row, int h);

    int Col() const { return FCol; }
    int Row() const { return FRow; }
    // Makes the cell current, scrolls it into view and redraws the old and new cell.
    void SetCurrent(int col, int row);
    int TopRow() const { return FTopRow; }
    void SetTopRow(int row);

    // The cell's rectangle in viewport coordinates; empty when it is not in view.
    QRect CellRect(int col, int row) const;
    // The cell under a viewport point; false when there is none.
    bool MouseToCell(const QPoint& pos, int& col, int& row) const;

    std::function<void(QPainter& p, int col, int row, const QRect& rect, bool selected)> OnDrawCell;
    std::function<void()> OnDblClick;
    // Where the last double click was made (viewport coordinates).
    QPoint DblClickPos() const { return FDblClickPos; }
    std::function<QString(int col, int row)> OnToolTip;

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    bool viewportEvent(QEvent* event) override;

private:
    void UpdateScrollBar();
    int MaxTopRow() const;
    // The row whose bottom grid line lies under y (viewport), or -1.
    int RowEdgeAt(int y) const;
    void UpdateCell(int col, int row);

    int FColCount = 6;
    int FColWidth = 64;
    int FRowHeight = 64;
    std::vector<int> FRowHeights{64};
    int FCol = 0, FRow = 0, FTopRow = 0;
    int FSizingRow = -1; // the row being resized with the mouse
    int FSizingStart = 0, FSizingHeight = 0;
    QPoint FDblClickPos;
};

// The state of one cell.
class TCamInfo {
public:
    TCamInfo() : Webcam(std::make_unique<TCamWebcam>()) {}

    // The picture, decoded at the smallest DCT scale that covers the cell; empty when none.
    ocelis::Bitmap Image;
    std::unique_ptr<TCamWebcam> Webcam; // a copy of the catalogue's record
    std::string Referer;
    std::string Url;
    ocelis::TModifiedDate LastModified;
    int32_t ContentLength = 0;
    bool Live = false;

    bool Fetched = false; // a fetch of this cell has been handed over
    bool Failed = false;  // the last one got no answer, an error, or no usable picture
    std::string FailReason;
    bool Refetch = false; // download at the next pass even when the server reports no change
    bool Changed = false; // a picture has been seen; LastChange is when it last changed
    std::chrono::steady_clock::time_point LastChange;
    std::size_t PictureHash = 0;
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

    // The thread hand-overs (GUI thread, worker waiting).
    void ThreadNext(TMireThread& thread);
    void ThreadImage(TMireThread& thread);

    void FormResize();
    void CamGridDrawCell(QPainter& p, int col, int row, const QRect& rect, bool selected);
    void CamGridDblClick();
    QString CellHint(std::size_t index) const;

    std::size_t CellCount() const { return FCells.size(); }
    const TCamInfo& Cell(std::size_t i) const { return *FCells[i]; }
    bool ThreadRunning() const { return FThread.Alive(); }
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

    std::vector<std::unique_ptr<TCamInfo>> FCells;
    TMireThreadRef FThread;
    ocelis::TMosaicCellSize FCellSize;
};
