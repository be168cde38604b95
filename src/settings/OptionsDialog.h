// TfoOptions: the dialog in which the user changes the preferences of the settings object.
// It has no handlers of its own: the tray controller fills it, runs it and, on OK, applies
// it. Nothing is validated.
#pragma once

#include "gui/SForm.h"

#include <QString>
#include <QWidget>

class QCheckBox;
class QFrame;
class QLabel;
class QLineEdit;
class QPushButton;
class QToolButton;
class TCamViewer;

// The layouts' folder edit: a text field with a button that opens the folder browser (through
// the dialog seam) and puts the chosen folder into the field. Tab stops at the field only.
class TOcDirectoryEdit : public QWidget {
    Q_OBJECT
    Q_PROPERTY(QString Text READ Text WRITE SetText)
    Q_PROPERTY(QString DialogText READ DialogText WRITE SetDialogText)
public:
    explicit TOcDirectoryEdit(QWidget* parent = nullptr);

    QString Text() const;
    void SetText(const QString& text);
    // The folder browser's title.
    QString DialogText() const { return FDialogText; }
    void SetDialogText(const QString& text) { FDialogText = text; }

    QLineEdit* Edit() const { return FEdit; }
    QToolButton* Button() const { return FButton; }

    // Opens the folder browser at the field's folder; a chosen folder replaces the text.
    void ButtonClick();

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    QLineEdit* FEdit = nullptr;
    QToolButton* FButton = nullptr;
    QString FDialogText;
};

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
};
