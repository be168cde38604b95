// TfoAviCreator: collects JPEG files, puts them in order and produces an AVI animation from
// them. The production runs on a worker thread; meanwhile the window takes no input and the
// progress window's Cancel button is the only way to stop it. Any number of these windows
// may be open, each producing on its own.
#pragma once

#include "avi/AviProduction.h"
#include "gui/OcDragListBox.h"
#include "gui/OcSpinEdit.h"
#include "gui/SForm.h"

#include <atomic>
#include <string>

class QAction;
class QCheckBox;
class QLabel;
class QPushButton;
class TOcFileDialog;
class TOcProgressDlg;

class TfoAviCreator : public TSForm {
    Q_OBJECT
public:
    explicit TfoAviCreator(QWidget* parent = nullptr);
    // A production still running is cancelled and waited for (its temporary file removed).
    ~TfoAviCreator() override;

    void AddButtonClick();
    void RemoveButtonClick();
    void actAddExecute();
    void actRemoveExecute();
    bool FilesBoxDragOver(QObject* source, const QPoint& pos) const;
    void FilesBoxDragDrop(QObject* source, const QPoint& pos);
    // Asks for the output name, then starts the production and returns at once.
    void ProduceButtonClick();
    // Appends the pictures the archive dialog selects, in capture order.
    void ArchiveButtonClick();

    bool Producing() const { return FProducing; }

    // Components (objectName = the name here).
    QLabel* TipsLabel = nullptr;
    TOcDragListBox* FilesBox = nullptr;
    QPushButton* AddButton = nullptr;
    QPushButton* RemoveButton = nullptr;
    QPushButton* ProduceButton = nullptr;
    QPushButton* ArchiveButton = nullptr;
    QLabel* PauseLabel = nullptr;
    TOcSpinEdit* PauseSpin = nullptr;
    QLabel* Pause2Label = nullptr;
    QCheckBox* MjpegBox = nullptr;
    QLabel* Mp4Label = nullptr;
    TOcSpinEdit* Mp4Spin = nullptr; // the MP4's constant quality (CRF)
    TOcFileDialog* OpenPictureDialog1 = nullptr;
    TOcFileDialog* SaveDialog = nullptr;
    TOcProgressDlg* ProgressDlg = nullptr;
    QObject* ActionList1 = nullptr;
    QAction* actAdd = nullptr;
    QAction* actRemove = nullptr;

protected:
    void FormCreate() override;
    // The window is destroyed when closed; not while it produces.
    void closeEvent(QCloseEvent* event) override;
    // No button of this window answers Esc.
    void keyPressEvent(QKeyEvent* event) override;

private:
    void ProductionDone(const TAviOutcome& production);

    ocelis::TWorkerRef<TAviProduction> FProduction;
    bool FProducing = false;
};
