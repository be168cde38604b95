#include "mosaic/CamGrid.h"

#include "settings/PlainText.h"

#include <QHelpEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QToolTip>
#include <algorithm>
#include <cstdlib>

namespace {

constexpr int kSizingGrip = 3; // pixels around a row's bottom line that start a resize

} // namespace

TCamGrid::TCamGrid(QWidget* parent) : QAbstractScrollArea(parent) {
    setFrameShape(QFrame::NoFrame);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    viewport()->setMouseTracking(true);
    viewport()->setAttribute(Qt::WA_OpaquePaintEvent);
    setFocusPolicy(Qt::StrongFocus);
}

void TCamGrid::SetColCount(int n) {
    FColCount = std::max(1, n);
    viewport()->update();
}

void TCamGrid::SetRowCount(int n) {
    FRowHeights.resize(static_cast<size_t>(std::max(1, n)), FRowHeight);
    FRow = std::min(FRow, RowCount() - 1);
    UpdateScrollBar();
    viewport()->update();
}

void TCamGrid::SetDefaultColWidth(int w) {
    FColWidth = std::max(0, w);
    viewport()->update();
}

void TCamGrid::SetDefaultRowHeight(int h) {
    FRowHeight = std::max(0, h);
    std::fill(FRowHeights.begin(), FRowHeights.end(), FRowHeight);
    UpdateScrollBar();
    viewport()->update();
}

int TCamGrid::RowHeight(int row) const {
    return row >= 0 && row < RowCount() ? FRowHeights[static_cast<size_t>(row)] : FRowHeight;
}

void TCamGrid::SetRowHeight(int row, int h) {
    if (row < 0 || row >= RowCount())
        return;
    FRowHeights[static_cast<size_t>(row)] = std::max(0, h);
    UpdateScrollBar();
    viewport()->update();
}

int TCamGrid::MaxTopRow() const {
    // The first row from which the rest fits in the view.
    int used = 0;
    int top = RowCount();
    const int room = viewport()->height();
    while (top > 0 && used + RowHeight(top - 1) + 1 <= room) {
        used += RowHeight(top - 1) + 1;
        --top;
    }
    return std::min(top, RowCount() - 1);
}

void TCamGrid::UpdateScrollBar() {
    const int max = MaxTopRow();
    QScrollBar* bar = verticalScrollBar();
    bar->setRange(0, max);
    bar->setPageStep(std::max(1, RowCount() - max));
    bar->setSingleStep(1);
    if (FTopRow > max)
        SetTopRow(max);
}

void TCamGrid::SetTopRow(int row) {
    row = std::clamp(row, 0, std::max(0, MaxTopRow()));
    if (row == FTopRow)
        return;
    FTopRow = row;
    if (verticalScrollBar()->value() != row)
        verticalScrollBar()->setValue(row);
    viewport()->update();
}

void TCamGrid::scrollContentsBy(int, int) {
    SetTopRow(verticalScrollBar()->value());
}

void TCamGrid::resizeEvent(QResizeEvent* event) {
    QAbstractScrollArea::resizeEvent(event);
    UpdateScrollBar();
}

QRect TCamGrid::CellRect(int col, int row) const {
    if (col < 0 || col >= FColCount || row < FTopRow || row >= RowCount())
        return {};
    int y = 0;
    for (int r = FTopRow; r < row; ++r) {
        y += RowHeight(r) + 1;
        if (y >= viewport()->height())
            return {};
    }
    return QRect(col * (FColWidth + 1), y, FColWidth, RowHeight(row));
}

bool TCamGrid::MouseToCell(const QPoint& pos, int& col, int& row) const {
    if (pos.x() < 0 || pos.y() < 0 || FColWidth <= 0)
        return false;
    col = pos.x() / (FColWidth + 1);
    if (col >= FColCount)
        return false;
    int y = 0;
    for (int r = FTopRow; r < RowCount() && y < viewport()->height(); ++r) {
        y += RowHeight(r) + 1;
        if (pos.y() < y) {
            row = r;
            return true;
        }
    }
    return false;
}

int TCamGrid::RowEdgeAt(int y) const {
    int bottom = 0;
    for (int r = FTopRow; r < RowCount() && bottom <= viewport()->height(); ++r) {
        bottom += RowHeight(r) + 1;
        if (std::abs(y - (bottom - 1)) <= kSizingGrip)
            return r;
    }
    return -1;
}

void TCamGrid::UpdateCell(int col, int row) {
    const QRect r = CellRect(col, row);
    if (!r.isEmpty())
        viewport()->update(r);
}

void TCamGrid::SetCurrent(int col, int row) {
    col = std::clamp(col, 0, FColCount - 1);
    row = std::clamp(row, 0, RowCount() - 1);
    const int oldCol = FCol, oldRow = FRow;
    FCol = col;
    FRow = row;
    UpdateCell(oldCol, oldRow);
    if (row < FTopRow) {
        SetTopRow(row);
    } else {
        // Scroll down until the whole row is in view (or it is the top row).
        int bottom = 0;
        for (int r = FTopRow; r <= row; ++r)
            bottom += RowHeight(r) + 1;
        int top = FTopRow;
        while (top < row && bottom > viewport()->height()) {
            bottom -= RowHeight(top) + 1;
            ++top;
        }
        SetTopRow(top);
    }
    UpdateCell(col, row);
}

void TCamGrid::paintEvent(QPaintEvent* event) {
    QPainter p(viewport());
    const QRect dirty = event->rect();
    p.fillRect(dirty, palette().color(QPalette::Base));
    const QColor line = palette().color(QPalette::Mid);
    const int height = viewport()->height();
    int y = 0;
    for (int r = FTopRow; r < RowCount() && y < height; ++r) {
        const int h = RowHeight(r);
        if (y + h + 1 > dirty.top() && y < dirty.bottom() + 1) {
            for (int c = 0; c < FColCount; ++c) {
                const QRect cell(c * (FColWidth + 1), y, FColWidth, h);
                if (!cell.adjusted(0, 0, 1, 1).intersects(dirty))
                    continue;
                p.fillRect(QRect(cell.right() + 1, y, 1, h + 1), line);
                p.fillRect(QRect(cell.left(), cell.bottom() + 1, FColWidth, 1), line);
                const bool selected = c == FCol && r == FRow;
                if (OnDrawCell) {
                    p.save();
                    p.setClipRect(cell);
                    OnDrawCell(p, c, r, cell, selected);
                    p.restore();
                }
                if (selected)
                    DrawHighlight(p, cell);
            }
        }
        y += h + 1;
    }
}

void TCamGrid::DrawHighlight(QPainter& p, const QRect& cell) const {
    if (HighlightWidth <= 0 || cell.width() <= 0 || cell.height() <= 0)
        return;
    const QColor colour = palette().color(QPalette::Highlight);
    const int w = std::min({HighlightWidth, cell.width(), cell.height()});
    p.fillRect(QRect(cell.left(), cell.top(), cell.width(), w), colour);
    p.fillRect(QRect(cell.left(), cell.bottom() - w + 1, cell.width(), w), colour);
    p.fillRect(QRect(cell.left(), cell.top(), w, cell.height()), colour);
    p.fillRect(QRect(cell.right() - w + 1, cell.top(), w, cell.height()), colour);
}

void TCamGrid::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton)
        return;
    const QPoint pos = event->position().toPoint();
    const int edge = RowEdgeAt(pos.y());
    if (edge >= 0) {
        FSizingRow = edge;
        FSizingStart = pos.y();
        FSizingHeight = RowHeight(edge);
        return;
    }
    int col = 0, row = 0;
    if (MouseToCell(pos, col, row))
        SetCurrent(col, row);
}

void TCamGrid::mouseMoveEvent(QMouseEvent* event) {
    const QPoint pos = event->position().toPoint();
    if (FSizingRow >= 0) {
        SetRowHeight(FSizingRow, std::max(1, FSizingHeight + pos.y() - FSizingStart));
        return;
    }
    viewport()->setCursor(RowEdgeAt(pos.y()) >= 0 ? Qt::SplitVCursor : Qt::ArrowCursor);
}

void TCamGrid::mouseReleaseEvent(QMouseEvent*) {
    FSizingRow = -1;
}

void TCamGrid::mouseDoubleClickEvent(QMouseEvent* event) {
    FDblClickPos = event->position().toPoint();
    if (event->button() == Qt::LeftButton && OnDblClick)
        OnDblClick();
}

bool TCamGrid::viewportEvent(QEvent* event) {
    if (event->type() == QEvent::ToolTip) {
        auto* help = static_cast<QHelpEvent*>(event);
        int col = 0, row = 0;
        const QString text =
            OnToolTip && MouseToCell(help->pos(), col, row) ? OnToolTip(col, row) : QString();
        if (text.isEmpty())
            QToolTip::hideText();
        else
            QToolTip::showText(help->globalPos(), ocelis::PlainToolTip(text), viewport(),
                               CellRect(col, row));
        return true;
    }
    return QAbstractScrollArea::viewportEvent(event);
}
