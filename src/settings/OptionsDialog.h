// TfoOptions: the dialog in which the user changes the preferences of the settings object.
// It has no handlers of its own: the tray controller fills it, runs it and, on OK, applies
// it. Nothing is validated.
#pragma once

#include "gui/OcDirectoryEdit.h"
#include "gui/SForm.h"

#include <QWidget>

class QCheckBox;
class QFrame;
class QLabel;
class QPushButton;
class TCamViewer;

class TfoOptions : public TSForm {
    Q_OBJECT
public:
    explicit TfoOptions(QWidget* parent = nullptr);

    // Every check box from its setting, the folder field from SavePath.
    void Fill(const TCamViewer& settings);
    // Every control into the settings, in the order the preferences are listed; last
    // SetLaunchWindows, which writes or removes the autostart entry at once.
    void Apply(TCamViewer& settings) const;

    // Components (objectName = the name here), in tab order first.
    QCheckBox* AlwaysBox = nullptr;
    QCheckBox* PropBox = nullptr;
    QCheckBox* StatusBox = nullptr;
    QCheckBox* BeepBox = nullptr;
    QCheckBox* LaunchWindows = nullptr;
    QCheckBox* NotifyBox = nullptr; // placed beside the buttons, outside the tab order
    QCheckBox* ImagesBox = nullptr;
    QCheckBox* ImageSubBox = nullptr;
    TOcDirectoryEdit* Directory = nullptr;
    QPushButton* OkButton = nullptr;
    QPushButton* CancelButton = nullptr;

    QLabel* ViewerLabel = nullptr;
    QFrame* Bevel3 = nullptr;
    QLabel* SaveTitle = nullptr;
    QFrame* Bevel1 = nullptr;
    QLabel* DirectoryLabel = nullptr;
    QFrame* Bevel2 = nullptr;
    QWidget* Panel2 = nullptr;
    // Notify when a webcam goes offline or freezes: the box, and its caption beside it.
    QLabel* NotifyLabel = nullptr;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
};
