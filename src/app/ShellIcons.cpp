#include "app/ShellIcons.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace ocelis {

namespace {

QPixmap DrawProgram(int size) {
    QPixmap pm(size, size);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size / 64.0, size / 64.0);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0x55, 0x55, 0x55));
    p.drawRect(QRectF(26, 46, 12, 8));
    p.setBrush(QColor(0x44, 0x44, 0x44));
    p.drawRoundedRect(QRectF(16, 54, 32, 6), 3, 3);
    p.setPen(QPen(QColor(0x17, 0x3a, 0x63), 3));
    p.setBrush(QColor(0x2d, 0x6c, 0xb5));
    p.drawEllipse(QPointF(32, 27), 23, 23);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0xf2, 0xf2, 0xf2));
    p.drawEllipse(QPointF(32, 27), 13, 13);
    p.setBrush(QColor(0x1b, 0x1b, 0x1b));
    p.drawEllipse(QPointF(32, 27), 8, 8);
    p.setBrush(Qt::white);
    p.drawEllipse(QPointF(29, 24), 3, 3);
    p.setBrush(QColor(0xe8, 0x40, 0x2b));
    p.drawEllipse(QPointF(47, 13), 3, 3);
    return pm;
}

} // namespace

QIcon ProgramIcon() {
    QIcon icon;
    for (int s : {16, 22, 24, 32, 48, 64})
        icon.addPixmap(DrawProgram(s));
    return icon;
}

QIcon ShellActionIcon(TShellGlyph glyph) {
    QPixmap pm(16, 16);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    const QColor ink(0x30, 0x30, 0x30);
    const QColor blue(0x2d, 0x6c, 0xb5);
    p.setPen(QPen(ink, 1.4));
    switch (glyph) {
    case TShellGlyph::Close:
        p.setPen(QPen(QColor(0xc0, 0x30, 0x20), 2));
        p.drawLine(QPointF(4, 4), QPointF(12, 12));
        p.drawLine(QPointF(12, 4), QPointF(4, 12));
        break;
    case TShellGlyph::Avi:
        p.setBrush(ink);
        p.drawRect(QRectF(2, 3, 12, 10));
        p.setBrush(Qt::white);
        for (int y : {4, 7, 10}) {
            p.drawRect(QRectF(3, y, 1.5, 1.5));
            p.drawRect(QRectF(11.5, y, 1.5, 1.5));
        }
        p.setBrush(blue);
        p.drawRect(QRectF(5.5, 5, 5, 6));
        break;
    case TShellGlyph::Edit:
        p.setBrush(QColor(0xf0, 0xf0, 0xf0));
        p.drawRect(QRectF(2.5, 2.5, 9, 11));
        for (double y : {5.5, 8.0, 10.5})
            p.drawLine(QPointF(4.5, y), QPointF(9.5, y));
        p.setPen(QPen(QColor(0xd0, 0x90, 0x20), 2.2));
        p.drawLine(QPointF(8, 14), QPointF(14, 8));
        break;
    case TShellGlyph::Mosaic:
        p.setPen(Qt::NoPen);
        for (int y = 0; y < 3; ++y)
            for (int x = 0; x < 3; ++x) {
                p.setBrush((x + y) % 2 ? blue : QColor(0x6a, 0xa8, 0x4f));
                p.drawRect(QRectF(1.5 + x * 4.6, 1.5 + y * 4.6, 4, 4));
            }
        break;
    case TShellGlyph::Options: {
        p.setPen(Qt::NoPen);
        p.setBrush(ink);
        for (int i = 0; i < 8; ++i) {
            p.save();
            p.translate(8, 8);
            p.rotate(i * 45.0);
            p.drawRect(QRectF(-1.3, -7, 2.6, 3));
            p.restore();
        }
        p.drawEllipse(QPointF(8, 8), 5, 5);
        p.setBrush(Qt::white);
        p.drawEllipse(QPointF(8, 8), 2, 2);
        break;
    }
    case TShellGlyph::Language:
        p.setPen(QPen(blue, 1.2));
        p.drawEllipse(QPointF(8, 8), 6.5, 6.5);
        p.drawEllipse(QPointF(8, 8), 3, 6.5);
        p.drawLine(QPointF(1.5, 8), QPointF(14.5, 8));
        p.drawLine(QPointF(8, 1.5), QPointF(8, 14.5));
        break;
    case TShellGlyph::Windows:
        p.setBrush(Qt::white);
        p.drawRect(QRectF(1.5, 1.5, 9, 7));
        p.drawRect(QRectF(5.5, 6.5, 9, 7));
        p.setPen(Qt::NoPen);
        p.setBrush(blue);
        p.drawRect(QRectF(6, 7, 8, 2));
        break;
    case TShellGlyph::Exit: {
        p.setPen(QPen(QColor(0xc0, 0x30, 0x20), 1.8, Qt::SolidLine, Qt::RoundCap));
        p.drawArc(QRectF(2.5, 3, 11, 11), 120 * 16, 300 * 16);
        p.drawLine(QPointF(8, 1.5), QPointF(8, 8));
        break;
    }
    }
    return QIcon(pm);
}

} // namespace ocelis
