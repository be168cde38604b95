#include "gui/OcStatusBar.h"

#include <QPainter>
#include <QStyle>
#include <QStyleOption>
#include <algorithm>

#include "settings/PlainText.h"

void TStatusPanel::SetText(const QString& text) {
    FText = ocelis::NormalizeBreaks(text);
    emit Changed();
}

void TStatusPanel::SetWidth(int width) {
    FWidth = std::clamp(width, 0, 32767);
    emit Changed();
}

TStatusPanel* TStatusPanels::Add(int width) {
    auto* p = new TStatusPanel(this);
    p->SetWidth(width);
    connect(p, &TStatusPanel::Changed, this, &TStatusPanels::Changed);
    FItems.push_back(p);
    emit Changed();
    return p;
}

TOcStatusBar::TOcStatusBar(QWidget* parent) : QWidget(parent), FPanels(new TStatusPanels(this)) {
    setFixedHeight(19);
    connect(FPanels, &TStatusPanels::Changed, this, qOverload<>(&QWidget::update));
}

void TOcStatusBar::SetSimpleText(const QString& text) {
    FSimpleText = ocelis::NormalizeBreaks(text);
    update();
}

QRect TOcStatusBar::PanelRect(int i) const {
    int left = 0;
    for (int k = 0; k < i; ++k)
        left += FPanels->Item(k)->Width();
    int w = FPanels->Item(i)->Width();
    if (i == FPanels->Count() - 1)
        w = std::max(w, width() - left);
    return QRect(left, 0, w, height());
}

void TOcStatusBar::paintEvent(QPaintEvent*) {
    QPainter p(this);
    const QColor line = palette().color(QPalette::Mid);
    // Plain drawText never interprets markup; one line per panel.
    auto drawCell = [&](const QRect& r, const QString& text) {
        p.setPen(line);
        p.drawRect(r.adjusted(0, 1, -2, -1));
        p.setPen(palette().color(QPalette::WindowText));
        const QRect tr = r.adjusted(3, 1, -4, -1);
        const QString first = text.section(QLatin1Char('\n'), 0, 0);
        p.drawText(tr, Qt::AlignVCenter | Qt::AlignLeft | Qt::TextSingleLine,
                   fontMetrics().elidedText(first, Qt::ElideRight, tr.width()));
    };
    if (FPanels->Count() == 0) {
        drawCell(rect(), FSimpleText);
        return;
    }
    for (int i = 0; i < FPanels->Count(); ++i)
        drawCell(PanelRect(i), FPanels->Item(i)->Text());
}
