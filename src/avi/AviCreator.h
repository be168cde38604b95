// TfoAviCreator: collects JPEG files, puts them in order and produces an AVI animation from
// them. The production runs on a worker thread; meanwhile the window takes no input and the
// progress window's Cancel button is the only way to stop it. Any number of these windows
// may be open, each producing on its own.
#pragma once

#include "avi/AviProduction.h"
#include "gui/SForm.h"

#include <QListWidget>
#include <QSpinBox>
#include <atomic>
#include <functional>
#include <string>

class QAction;
class QCheckBox;
class QLabel;
class QPushButton;
class TOcFileDialog;
class TOcProgressDlg;

// Whole numbers with up and down buttons.
class TOcSpinEdit : public QSpinBox {
    Q_OBJECT
    Q_PROPERTY(int Value READ value WRITE setValue)
    Q_PROPERTY(int MinValue READ minimum WRITE setMinimum)
    Q_PROPERTY(int MaxValue READ maximum WRITE setMaximum)
public:
    explicit TOcSpinEdit(QWidget* parent = nullptr) : QSpinBox(parent) {}
};

// A list box whose entries are dragged within itself; the window decides what a drop does.
class TOcDragListBox : public QListWidget {
    Q_OBJECT
public:
    explicit TOcDragListBox(QWidget* parent = nullptr);

    // (source of the drag, position in the viewport): accept the drop here?
    std::function<bool(QObject*, const QPoint&)> OnDragOver;
    std::function<void(QObject*, const QPoint&)> OnDragDrop;

protected:
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;
};

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

    bool Producing() const { return FProducing; }

    // Components (objectName = the name here).
    QLabel* TipsLabel = nullptr;
    TOcDragListBox* FilesBox = nullptr;
    QPushButton* AddButton = nullptr;
    QPushButton* RemoveButton = nullptr;
    QPushButton* ProduceButton = nullptr;
    QLabel* PauseLabel = nullptr;
    TOcSpinEdit* PauseSpin = nullptr;
    QLabel* Pause2Label = nullptr;
    QCheckBox* MjpegBox = nullptr;
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
