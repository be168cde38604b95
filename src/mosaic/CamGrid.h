// TCamGrid: the mosaic's grid of cells drawn by its owner: fixed column widths, rows of a
// default height that the mouse may resize, 1-pixel grid lines, one current cell, scrolled by
// whole rows with a vertical scroll bar only. The current cell is framed.
#pragma once

#include <QAbstractScrollArea>
#include <QPoint>
#include <QRect>
#include <QString>
#include <functional>
#include <vector>

class QPainter;

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
    // The current cell is framed in the highlight colour, this many pixels wide, over what
    // OnDrawCell drew: the cell's own colours stay visible inside the frame.
    int HighlightWidth = 2;

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
    void DrawHighlight(QPainter& p, const QRect& cell) const;

    int FColCount = 6;
    int FColWidth = 64;
    int FRowHeight = 64;
    std::vector<int> FRowHeights{64};
    int FCol = 0, FRow = 0, FTopRow = 0;
    int FSizingRow = -1; // the row being resized with the mouse
    int FSizingStart = 0, FSizingHeight = 0;
    QPoint FDblClickPos;
};
