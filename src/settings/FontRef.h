// What the `Font` property of a widget holds for the translator: Name, Size and Style
// forwarded to the widget's font.
#pragma once

#include <QObject>
#include <QPointer>
#include <QWidget>

class TOcFontRef : public QObject {
    Q_OBJECT
public:
    explicit TOcFontRef(QWidget* widget) : FWidget(widget) {}
    QWidget* Widget() const { return FWidget; }

private:
    QPointer<QWidget> FWidget;
};
