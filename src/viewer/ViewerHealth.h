// The health of a viewer's webcam on screen: the reason in the picture area while there is
// no picture, a small mark in a corner of a picture that is stale or offline, and the tips.
// A live webcam shows none of it.
#pragma once

#include "net/WebcamHealth.h"

#include <QObject>
#include <QString>
#include <functional>
#include <optional>
#include <string>

class QLabel;
class QTimer;
class QWidget;
class TOcImage;
class TOcStatusBar;

class TViewerHealth : public QObject {
    Q_OBJECT
public:
    // picture: the viewer's picture control; statusBar: its panel 3 gets the tip.
    TViewerHealth(TOcImage* picture, TOcStatusBar* statusBar, QObject* parent);

    // A webcam is watched from now on.
    void Start(const std::string& url, int32_t refresh);
    void SetRefresh(int32_t refresh);
    // Fetching stopped by the user: time alone no longer makes the webcam stale.
    void Pause();
    void Resume();
    // One fetch ended: failure empty when it was answered.
    void Fetched(const std::optional<ocelis::TFetchFailure>& failure);
    void NewPicture();
    // Re-judges with the time alone (staleness); the timer calls it too.
    void Check();

    ocelis::THealthState State() const;
    const ocelis::TWebcamHealth& Health() const { return FHealth; }
    // The reason shown in the picture area; empty when none is.
    QString ShownReason() const;
    // The mark's tip; empty while no mark is shown.
    QString MarkTip() const;
    // The tip of the name panel; empty while the webcam is live.
    QString PanelTip() const { return FPanelTip; }
    // Follows the picture control's size.
    void Layout();

    // Wall-clock seconds; tests may replace it.
    std::function<double()> Clock;
    // Called when the state changed or a notice is due (notice None: the state alone).
    std::function<void(ocelis::THealthNotice)> OnChange;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void Show(ocelis::THealthNotice notice);

    ocelis::TWebcamHealth FHealth;
    std::string FUrl;
    int32_t FRefresh = 0;
    ocelis::THealthState FState = ocelis::THealthState::Live;
    TOcImage* FPicture;
    TOcStatusBar* FStatusBar;
    QLabel* FReason;
    QWidget* FMark;
    QTimer* FTimer;
    QString FPanelTip;
};
