#include "avi/AviCreator.h"

#include <QAction>
#include <QCheckBox>
#include <QCloseEvent>
#include <QFile>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QStyledItemDelegate>
#include <QTimer>
#include <algorithm>
#include <exception>
#include <filesystem>
#include <limits>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "avi/ArchiveDialog.h"
#include "avi/AviWriter.h"
#include "avi/OcProgressDlg.h"
#include "gui/OcFileDialog.h"
#include "gui/WindowKit.h"
#include "platform/Dialogs.h"
#include "settings/CamViewer.h"
#include "settings/MessageTexts.h"
#include "settings/PlainText.h"
#include "util/QtText.h"
#include "util/Text.h"

namespace {

constexpr int kClientWidth = 406;
// The layout's 283 pixels and a row for MjpegBox.
constexpr int kClientHeight = 304;
constexpr int kButtonWidth = 75;
constexpr int kButtonHeight = 25;
constexpr int kItemHeight = 13;
constexpr int kLabelHeight = 15;

class TFixedHeightDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        return {QStyledItemDelegate::sizeHint(option, index).width(), kItemHeight};
    }
};

// A fixed place up to the next control: a translated caption, or the face the window
// switches to when shown, gets the whole room instead of the English caption's width.
QLabel* PlacedLabel(QWidget* parent, const char* name, const QString& caption, int left, int top,
                    int width) {
    QLabel* label = ocelis::NewLabel(parent, name, caption);
    label->setGeometry(left, top, width, kLabelHeight);
    return label;
}

QPushButton* PlacedButton(QWidget* parent, const char* name, const QString& caption, int top) {
    QPushButton* button = ocelis::NewButton(parent, name, caption);
    button->setGeometry(322, top, kButtonWidth, kButtonHeight);
    return button;
}

int ClampToInt(size_t n) {
    return static_cast<int>(std::min<size_t>(n, std::numeric_limits<int>::max()));
}

// "2 of 6 files were skipped: not a JPEG picture."; empty when none was.
std::string SkippedText(const TAviOutcome& outcome) {
    const ocelis::TAviSkips& s = outcome.Skipped;
    const std::pair<size_t, const std::string*> reasons[] = {
        {s.NotJpeg, &SkipNotJpeg}, {s.Damaged, &SkipDamaged}, {s.Unreadable, &SkipUnreadable}};
    const auto kinds = std::count_if(std::begin(reasons), std::end(reasons),
                                     [](const auto& reason) { return reason.first > 0; });
    std::string why;
    for (const auto& [count, text] : reasons) {
        if (count == 0)
            continue;
        if (!why.empty())
            why += ", ";
        why += *text;
        if (kinds > 1)
            why += " (" + std::to_string(count) + ")";
    }
    if (why.empty())
        return {};
    return ocelis::FillArgs(s.Total() == 1 ? SkippedFile : SkippedFiles,
                            {std::to_string(s.Total()), std::to_string(outcome.Total), why});
}

std::string FailureText(const TAviOutcome& outcome) {
    switch (outcome.ErrorKind) {
    case ocelis::TAviErrorKind::FrameTooLarge:
        return ocelis::FillArgs(AviTooLarge,
                                {std::to_string(outcome.Width), std::to_string(outcome.Height)});
    case ocelis::TAviErrorKind::Mp4:
        return ocelis::FillArgs(Mp4Failed, {outcome.Error});
    case ocelis::TAviErrorKind::Other:
        break;
    }
    return outcome.Error;
}

} // namespace

TfoAviCreator::TfoAviCreator(QWidget* parent)
    : TSForm(QStringLiteral("foAviCreator"), parent,
             Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                 Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint) {
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("AVI Creator"));
    setFixedSize(kClientWidth, kClientHeight);
    setSizeGripEnabled(false);
    setFont(QFont(QStringLiteral("MS Sans Serif"), 8));

    TipsLabel = ocelis::NewLabel(
        this, "TipsLabel",
        QStringLiteral("To create an AVI file, you have to select a few files having the same "
                       "resolution, then click on \"Produce\" and the animation will be saved "
                       "on your disk."));
    TipsLabel->setWordWrap(true);
    TipsLabel->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    TipsLabel->setGeometry(4, 4, 399, 41);

    FilesBox = new TOcDragListBox(this);
    FilesBox->setObjectName(QStringLiteral("FilesBox"));
    FilesBox->setGeometry(4, 50, 305, 200);
    FilesBox->setSelectionMode(QAbstractItemView::ExtendedSelection);
    FilesBox->setUniformItemSizes(true);
    FilesBox->setItemDelegate(new TFixedHeightDelegate(FilesBox));
    FilesBox->OnDragOver = [this](QObject* source, const QPoint& pos) {
        return FilesBoxDragOver(source, pos);
    };
    FilesBox->OnDragDrop = [this](QObject* source, const QPoint& pos) {
        FilesBoxDragDrop(source, pos);
    };

    AddButton = PlacedButton(this, "AddButton", QStringLiteral("&Add..."), 50);
    RemoveButton = PlacedButton(this, "RemoveButton", QStringLiteral("&Remove"), 83);
    ProduceButton = PlacedButton(this, "ProduceButton", QStringLiteral("&Produce..."), 116);
    // Two lines: the column is a button wide.
    ArchiveButton =
        PlacedButton(this, "ArchiveButton", QStringLiteral("Add &from\narchive..."), 149);
    ArchiveButton->resize(kButtonWidth, 2 * kButtonHeight - 8);

    PauseLabel = PlacedLabel(this, "PauseLabel", QStringLiteral("Pause"), 8, 259, 48 - 2 - 8);
    PauseSpin = new TOcSpinEdit(this);
    PauseSpin->setObjectName(QStringLiteral("PauseSpin"));
    PauseSpin->setGeometry(48, 255, 67, 22);
    PauseSpin->setRange(0, 10000000);
    PauseSpin->setValue(500);
    Pause2Label =
        PlacedLabel(this, "Pause2Label", QStringLiteral("milliseconds between each frame"), 122,
                    259, kClientWidth - 4 - 122);

    MjpegBox = ocelis::NewCheckBox(this, "MjpegBox",
                                   QStringLiteral("Keep JPEG compression (much smaller file)"));
    MjpegBox->setGeometry(8, 282, 393, 17);
    MjpegBox->setChecked(false);

    // Below the buttons: the free room of the column.
    Mp4Label = ocelis::NewLabel(this, "Mp4Label", QStringLiteral("MP4 CRF\n(lower: better)"));
    Mp4Label->setGeometry(322, 196, kClientWidth - 2 - 322, 2 * kLabelHeight);
    Mp4Spin = new TOcSpinEdit(this);
    Mp4Spin->setObjectName(QStringLiteral("Mp4Spin"));
    Mp4Spin->setGeometry(322, 228, kButtonWidth, 22);
    Mp4Spin->setRange(0, 51);
    Mp4Spin->setValue(ocelis::TMp4Options{}.Crf);
    Mp4Label->setBuddy(Mp4Spin);

    OpenPictureDialog1 = new TOcFileDialog(TOcFileDialog::TKind::OpenMany,
                                           QStringLiteral("OpenPictureDialog1"), this);
    OpenPictureDialog1->SetFilter(QStringLiteral("JPEG Image File (*.jpg)|*.jpg"));
    SaveDialog = new TOcFileDialog(TOcFileDialog::TKind::Save, QStringLiteral("SaveDialog"), this);
    SaveDialog->SetFilter(QStringLiteral("AVI File (*.avi)|*.avi"));
    SaveDialog->SetDefaultExt(QStringLiteral("avi"));
    SaveDialog->SetOverwritePrompt(false);

    ProgressDlg = new TOcProgressDlg(QStringLiteral("ProgressDlg"), this);
    ProgressDlg->SetText(QStringLiteral("Progress"));
    connect(ProgressDlg, &TOcProgressDlg::CancelClicked, this, [this] {
        FProduction.With([](TAviProduction& p) { p.Cancel(); });
        ProgressDlg->Form()->CancelButton->setEnabled(false);
    });

    ActionList1 = new QObject(this);
    ActionList1->setObjectName(QStringLiteral("ActionList1"));
    actAdd = ocelis::NewAction(this, "actAdd", QString(), QKeySequence(Qt::Key_Insert));
    actRemove = ocelis::NewAction(this, "actRemove", QString(), QKeySequence(Qt::Key_Delete));
    connect(actAdd, &QAction::triggered, this, &TfoAviCreator::actAddExecute);
    connect(actRemove, &QAction::triggered, this, &TfoAviCreator::actRemoveExecute);
    connect(AddButton, &QPushButton::clicked, this, &TfoAviCreator::AddButtonClick);
    connect(RemoveButton, &QPushButton::clicked, this, &TfoAviCreator::RemoveButtonClick);
    connect(ProduceButton, &QPushButton::clicked, this, &TfoAviCreator::ProduceButtonClick);
    connect(ArchiveButton, &QPushButton::clicked, this, &TfoAviCreator::ArchiveButtonClick);

    ocelis::CascadeOnScreen(this);

    FinishCreate();
}

TfoAviCreator::~TfoAviCreator() {
    FProduction.Stop();
}

void TfoAviCreator::FormCreate() {
    const QString start = CamViewer ? ocelis::ToQ(CamViewer->SavePath) : QString();
    OpenPictureDialog1->SetInitialDir(start);
    SaveDialog->SetInitialDir(start);
}

void TfoAviCreator::closeEvent(QCloseEvent* event) {
    if (FProducing) {
        event->ignore();
        return;
    }
    TSForm::closeEvent(event);
}

void TfoAviCreator::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape) {
        event->accept();
        return;
    }
    TSForm::keyPressEvent(event);
}

void TfoAviCreator::AddButtonClick() {
    const std::optional<QStringList> files = OpenPictureDialog1->ExecuteMany(this);
    if (files)
        FilesBox->addItems(*files);
}

void TfoAviCreator::ArchiveButtonClick() {
    TfoArchive dialog(this);
    dialog.SetFolder(CamViewer ? ocelis::ToQ(CamViewer->SavePath) : QString());
    if (dialog.exec() == QDialog::Accepted)
        FilesBox->addItems(dialog.ChosenFiles());
}

void TfoAviCreator::RemoveButtonClick() {
    for (int i = FilesBox->count() - 1; i >= 0; --i)
        if (FilesBox->item(i)->isSelected())
            delete FilesBox->takeItem(i);
}

void TfoAviCreator::actAddExecute() {
    AddButton->click();
}

void TfoAviCreator::actRemoveExecute() {
    RemoveButton->click();
}

bool TfoAviCreator::FilesBoxDragOver(QObject* source, const QPoint& pos) const {
    // Only the list's own entries: a drop from elsewhere has nothing to exchange.
    return source == FilesBox && FilesBox->currentRow() >= 0 &&
           FilesBox->viewport()->rect().contains(pos);
}

void TfoAviCreator::FilesBoxDragDrop(QObject* source, const QPoint& pos) {
    if (source != FilesBox || FilesBox->count() == 0)
        return;
    const int from = FilesBox->currentRow();
    if (from < 0)
        return;
    const QModelIndex at = FilesBox->indexAt(pos);
    // The empty space below the last entry counts as the last entry.
    const int to = at.isValid() ? at.row() : FilesBox->count() - 1;
    if (from == to)
        return;
    QListWidgetItem* a = FilesBox->item(from);
    QListWidgetItem* b = FilesBox->item(to);
    const QString text = a->text();
    a->setText(b->text());
    b->setText(text);
    FilesBox->setCurrentRow(to, QItemSelectionModel::ClearAndSelect);
}

void TfoAviCreator::ProduceButtonClick() {
    if (FProducing)
        return;
    // After the language file's Filter, which knows only AVI.
    SaveDialog->SetAddedFilter(ocelis::DisplayText(Mp4Filter) + QStringLiteral("|*.mp4"));
    const std::optional<QString> name = SaveDialog->Execute(this);
    if (!name)
        return;
    try {
        QSize screen(640, 480);
        if (const QScreen* s = QGuiApplication::primaryScreen())
            screen = s->geometry().size();
        ocelis::TAviWriter writer(screen.width(), screen.height());
        writer.FileName = QFile::encodeName(*name).toStdString();
        std::vector<std::filesystem::path> files;
        files.reserve(static_cast<size_t>(FilesBox->count()));
        for (int i = 0; i < FilesBox->count(); ++i)
            files.emplace_back(QFile::encodeName(FilesBox->item(i)->text()).toStdString());
        writer.Stretch = false;
        writer.FrameTime = PauseSpin->value();
        writer.KeepJpeg = MjpegBox->isChecked();
        writer.Mp4.Crf = Mp4Spin->value();

        ProgressDlg->SetMaximum(ClampToInt(files.size()));
        ProgressDlg->SetValue(0);
        ProgressDlg->Form()->CancelButton->setEnabled(true);
        FProducing = true;
        setEnabled(false);
        ProgressDlg->Show();

        auto* production = new TAviProduction(std::move(writer), std::move(files));
        production->OnProgress = [this](size_t done) { ProgressDlg->SetValue(ClampToInt(done)); };
        // Reported from the GUI loop, not inside the hand-over: the report may be modal.
        production->OnDone = [this](const TAviOutcome& outcome) {
            QTimer::singleShot(0, this, [this, outcome] { ProductionDone(outcome); });
        };
        FProduction = ocelis::TWorkerRef<TAviProduction>(production);
        production->Resume();
    } catch (const std::exception& e) {
        TAviOutcome failed;
        failed.Failed = true;
        failed.Error = e.what();
        ProductionDone(failed);
    }
}

void TfoAviCreator::ProductionDone(const TAviOutcome& production) {
    FProduction.Forget();
    ProgressDlg->Close();
    FProducing = false;
    setEnabled(true);
    if (production.Failed)
        ocelis::ShowErrorReport(FailureText(production));
    else if (production.Written)
        ocelis::TDialogs::Message(this, QMessageBox::NoIcon,
                                  QString::fromLatin1(ocelis::kProductName),
                                  ocelis::DisplayText(production.Mp4 ? Mp4Generated : AviGenerated),
                                  QMessageBox::Ok, ocelis::DisplayText(SkippedText(production)));
}
