// A status bar with fixed-width panels like the layouts describe (Qt's QStatusBar has no
// panels). Panel texts are painted as plain text; the last panel takes the remaining width.
// Child widgets (progress bar, buttons) may be placed over panels at fixed positions.
#pragma once

#include <QString>
#include <QWidget>
#include <vector>

#include "settings/Collection.h"

class TStatusPanel : public QObject {
    Q_OBJECT
    Q_PROPERTY(QString Text READ Text WRITE SetText)
    Q_PROPERTY(int Width READ Width WRITE SetWidth)
public:
    using QObject::QObject;
    QString Text() const { return FText; }
    void SetText(const QString& text);
    int Width() const { return FWidth; }
    void SetWidth(int width); // clamped to 0..32767
signals:
    void Changed();

private:
    QString FText;
    int FWidth = 50;
};

// The `Panels` collection of a TOcStatusBar.
class TStatusPanels : public TOcCollection {
    Q_OBJECT
public:
    using TOcCollection::TOcCollection;
    int Count() const override { return static_cast<int>(FItems.size()); }
    TStatusPanel* Item(int i) const override { return FItems.at(static_cast<size_t>(i)); }
    TStatusPanel* Add(int width);
signals:
    void Changed();

private:
    std::vector<TStatusPanel*> FItems; // children of this collection
};

class TOcStatusBar : public QWidget {
    Q_OBJECT
    Q_PROPERTY(QString SimpleText READ SimpleText WRITE SetSimpleText)
public:
    explicit TOcStatusBar(QWidget* parent = nullptr); // height 19, no panels
    TStatusPanels* Panels() const { return FPanels; }
    // With no panels the bar shows SimpleText across its width.
    QString SimpleText() const { return FSimpleText; }
    void SetSimpleText(const QString& text);
    // Left edge and width of panel i as painted (the last one stretches).
    QRect PanelRect(int i) const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    TStatusPanels* FPanels;
    QString FSimpleText;
};
