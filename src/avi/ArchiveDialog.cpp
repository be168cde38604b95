#include "avi/ArchiveDialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateTimeEdit>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTimeEdit>
#include <QTimer>

#include "gui/OcDirectoryEdit.h"
#include "gui/WindowKit.h"
#include "settings/MessageTexts.h"
#include "settings/PlainText.h"
#include "util/QtText.h"
#include "util/Text.h"

namespace {

constexpr int kClientWidth = 420;
constexpr int kClientHeight = 300;
constexpr int kEditLeft = 130;
constexpr int kLabelHeight = 15;
constexpr int kBoxHeight = 17;
constexpr int kEditHeight = 22;
constexpr int kButtonWidth = 75;
constexpr int kButtonHeight = 25;
constexpr int kTypingPauseMs = 400;
// Days from the Julian day count's origin to 1970-01-01.
constexpr qint64 kUnixJulianDay = 2440588;

QString Shown(const std::string& text, const std::vector<std::string>& args) {
    return ocelis::DisplayText(ocelis::FillArgs(text, args));
}

int64_t WallSeconds(const QDateTime& t) {
    return (t.date().toJulianDay() - kUnixJulianDay) * ocelis::kSecondsPerDay +
           t.time().msecsSinceStartOfDay() / 1000;
}

QDateTime FromWallSeconds(int64_t local) {
    const int64_t day = local >= 0
                            ? local / ocelis::kSecondsPerDay
                            : -((-local + ocelis::kSecondsPerDay - 1) / ocelis::kSecondsPerDay);
    const int64_t second = local - day * ocelis::kSecondsPerDay;
    return {QDate::fromJulianDay(day + kUnixJulianDay),
            QTime::fromMSecsSinceStartOfDay(static_cast<int>(second * 1000))};
}

int32_t SecondOfDay(const QTimeEdit* edit) {
    return edit->time().msecsSinceStartOfDay() / 1000;
}

QTimeEdit* NewTimeEdit(QWidget* parent, const char* name, QTime time, int left, int top) {
    auto* edit = new QTimeEdit(time, parent);
    edit->setObjectName(QString::fromLatin1(name));
    // Fixed formats: the same in every language, and never a 12-hour clock.
    edit->setDisplayFormat(QStringLiteral("HH:mm"));
    edit->setGeometry(left, top, 64, kEditHeight);
    return edit;
}

QDateTimeEdit* NewDateTimeEdit(QWidget* parent, const char* name, int top) {
    auto* edit = new QDateTimeEdit(parent);
    edit->setObjectName(QString::fromLatin1(name));
    edit->setDisplayFormat(QStringLiteral("yyyy-MM-dd HH:mm"));
    edit->setCalendarPopup(true);
    edit->setGeometry(kEditLeft, top, 150, kEditHeight);
    return edit;
}

template <class W> W* Placed(W* widget, int left, int top, int width, int height) {
    widget->setGeometry(left, top, width, height);
    return widget;
}

} // namespace

TfoArchive::TfoArchive(QWidget* parent)
    : TSForm(QStringLiteral("foArchive"), parent,
             Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                 Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint) {
    setWindowTitle(QStringLiteral("Add from Archive"));
    setFixedSize(kClientWidth, kClientHeight);
    setSizeGripEnabled(false);
    setFont(QFont(QStringLiteral("MS Sans Serif"), 8));
    const int fullWidth = kClientWidth - 16;

    FolderLabel = Placed(ocelis::NewLabel(this, "FolderLabel", QStringLiteral("Archive folder")), 8,
                         11, kEditLeft - 12, kLabelHeight);
    FolderEdit =
        Placed(new TOcDirectoryEdit(this), kEditLeft, 8, kClientWidth - 8 - kEditLeft, kEditHeight);
    FolderEdit->setObjectName(QStringLiteral("FolderEdit"));
    FolderEdit->SetDialogText(QStringLiteral("Choose the archive folder"));

    WebcamLabel = Placed(ocelis::NewLabel(this, "WebcamLabel", QStringLiteral("Webcam")), 8, 39,
                         kEditLeft - 12, kLabelHeight);
    WebcamBox =
        Placed(new QComboBox(this), kEditLeft, 36, kClientWidth - 8 - kEditLeft, kEditHeight);
    WebcamBox->setObjectName(QStringLiteral("WebcamBox"));

    FromBox = Placed(ocelis::NewCheckBox(this, "FromBox", QStringLiteral("From")), 8, 68,
                     kEditLeft - 12, kBoxHeight);
    FromEdit = NewDateTimeEdit(this, "FromEdit", 66);
    ToBox = Placed(ocelis::NewCheckBox(this, "ToBox", QStringLiteral("To")), 8, 96, kEditLeft - 12,
                   kBoxHeight);
    ToEdit = NewDateTimeEdit(this, "ToEdit", 94);

    DailyBox = Placed(ocelis::NewCheckBox(this, "DailyBox", QStringLiteral("Every day from")), 8,
                      124, kEditLeft - 12, kBoxHeight);
    DayFromEdit = NewTimeEdit(this, "DayFromEdit", QTime(7, 0), kEditLeft, 122);
    DayToLabel = Placed(ocelis::NewLabel(this, "DayToLabel", QStringLiteral("to")), kEditLeft + 70,
                        126, 40, kLabelHeight);
    DayToEdit = NewTimeEdit(this, "DayToEdit", QTime(19, 0), kEditLeft + 114, 122);

    const int thinEdit = 268;
    AllRadio = Placed(new QRadioButton(QStringLiteral("All pictures"), this), 8, 156, fullWidth,
                      kBoxHeight);
    AllRadio->setObjectName(QStringLiteral("AllRadio"));
    AllRadio->setChecked(true);
    EveryRadio = Placed(new QRadioButton(QStringLiteral("At most one picture every"), this), 8, 182,
                        thinEdit - 12, kBoxHeight);
    EveryRadio->setObjectName(QStringLiteral("EveryRadio"));
    MinutesSpin = Placed(new QSpinBox(this), thinEdit, 180, 64, kEditHeight);
    MinutesSpin->setObjectName(QStringLiteral("MinutesSpin"));
    MinutesSpin->setRange(1, 7 * 24 * 60);
    MinutesSpin->setValue(10);
    MinutesLabel = Placed(ocelis::NewLabel(this, "MinutesLabel", QStringLiteral("minutes")),
                          thinEdit + 70, 184, kClientWidth - 8 - thinEdit - 70, kLabelHeight);
    NearestRadio = Placed(new QRadioButton(QStringLiteral("One picture a day, nearest to"), this),
                          8, 208, thinEdit - 12, kBoxHeight);
    NearestRadio->setObjectName(QStringLiteral("NearestRadio"));
    NearestEdit = NewTimeEdit(this, "NearestEdit", QTime(12, 0), thinEdit, 206);

    MatchLabel = Placed(ocelis::NewLabel(this, "MatchLabel", QString()), 8, 236, fullWidth, 26);
    MatchLabel->setWordWrap(true);
    MatchLabel->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    OkButton = Placed(ocelis::NewButton(this, "OkButton", QStringLiteral("&OK")),
                      kClientWidth - 8 - 2 * kButtonWidth - 6, 268, kButtonWidth, kButtonHeight);
    CancelButton = Placed(ocelis::NewButton(this, "CancelButton", QStringLiteral("&Cancel")),
                          kClientWidth - 8 - kButtonWidth, 268, kButtonWidth, kButtonHeight);
    OkButton->setEnabled(false);
    connect(OkButton, &QPushButton::clicked, this, &TfoArchive::OkButtonClick);
    connect(CancelButton, &QPushButton::clicked, this, &QDialog::reject);

    FTypingPause = new QTimer(this);
    FTypingPause->setSingleShot(true);
    FTypingPause->setInterval(kTypingPauseMs);
    connect(FTypingPause, &QTimer::timeout, this, &TfoArchive::StartListing);
    // Typed or browsed, a folder is listed once the changes pause.
    connect(FolderEdit->Edit(), &QLineEdit::textChanged, this, [this](const QString& text) {
        if (text != FListedFolder)
            FTypingPause->start();
    });

    const auto update = [this] { UpdateMatch(); };
    connect(WebcamBox, &QComboBox::currentIndexChanged, this, update);
    for (QCheckBox* box : {FromBox, ToBox, DailyBox})
        connect(box, &QCheckBox::toggled, this, update);
    for (QDateTimeEdit* edit : {FromEdit, ToEdit})
        connect(edit, &QDateTimeEdit::dateTimeChanged, this, update);
    for (QTimeEdit* edit : {DayFromEdit, DayToEdit, NearestEdit})
        connect(edit, &QTimeEdit::timeChanged, this, update);
    for (QRadioButton* radio : {AllRadio, EveryRadio, NearestRadio})
        connect(radio, &QRadioButton::toggled, this, update);
    connect(MinutesSpin, &QSpinBox::valueChanged, this, update);

    ocelis::CentreOnScreen(this);
    FinishCreate();
    UpdateMatch();
}

TfoArchive::~TfoArchive() {
    FLister.Stop();
}

void TfoArchive::SetFolder(const QString& folder) {
    FolderEdit->SetText(folder);
    StartListing();
}

int TfoArchive::WebcamCount() const {
    return WebcamBox->count();
}

void TfoArchive::StartListing() {
    FTypingPause->stop();
    FLister.Stop();
    FListedFolder = FolderEdit->Text();
    FListingResult.reset();
    FMatches.clear();
    FListing = true;
    MatchLabel->setText(ocelis::DisplayText(ArchiveReading));
    OkButton->setEnabled(false);
    auto* lister = new TArchiveLister(QFile::encodeName(FListedFolder).toStdString());
    lister->OnDone = [this](const TArchiveListed& listed) { Listed(listed); };
    FLister = ocelis::TWorkerRef<TArchiveLister>(lister);
    lister->Resume();
}

void TfoArchive::Listed(const TArchiveListed& listed) {
    FLister.Forget();
    FListing = false;
    FListingResult = listed.Listing;
    {
        const QSignalBlocker block(WebcamBox);
        const QString before = WebcamBox->currentText();
        WebcamBox->clear();
        if (FListingResult)
            for (const std::string& prefix : FListingResult->Webcams)
                WebcamBox->addItem(ocelis::ToQ(prefix).trimmed());
        const int again = WebcamBox->findText(before);
        WebcamBox->setCurrentIndex(again >= 0 ? again : 0);
    }
    if (!FListingResult) {
        MatchLabel->setText(Shown(ArchiveUnreadable, {listed.Error}));
        return;
    }
    // The whole span as the starting range, unless the user has set one.
    if (!FListingResult->Pictures.empty()) {
        const QSignalBlocker blockFrom(FromEdit);
        const QSignalBlocker blockTo(ToEdit);
        if (!FromBox->isChecked())
            FromEdit->setDateTime(FromWallSeconds(FListingResult->Pictures.front().Local));
        if (!ToBox->isChecked())
            ToEdit->setDateTime(FromWallSeconds(FListingResult->Pictures.back().Local));
    }
    UpdateMatch();
}

ocelis::TArchiveRule TfoArchive::Rule() const {
    ocelis::TArchiveRule rule;
    rule.Webcam = WebcamBox->currentIndex();
    if (FromBox->isChecked())
        rule.From = WallSeconds(FromEdit->dateTime());
    // The whole minute shown.
    if (ToBox->isChecked())
        rule.To = WallSeconds(ToEdit->dateTime()) + 59;
    rule.Daily = DailyBox->isChecked();
    rule.DayFrom = SecondOfDay(DayFromEdit);
    rule.DayTo = SecondOfDay(DayToEdit);
    rule.Thinning = EveryRadio->isChecked()     ? ocelis::TThinning::EveryMinutes
                    : NearestRadio->isChecked() ? ocelis::TThinning::NearestTime
                                                : ocelis::TThinning::All;
    rule.Minutes = MinutesSpin->value();
    rule.TimeOfDay = SecondOfDay(NearestEdit);
    return rule;
}

void TfoArchive::UpdateMatch() {
    FromEdit->setEnabled(FromBox->isChecked());
    ToEdit->setEnabled(ToBox->isChecked());
    DayFromEdit->setEnabled(DailyBox->isChecked());
    DayToEdit->setEnabled(DailyBox->isChecked());
    MinutesSpin->setEnabled(EveryRadio->isChecked());
    NearestEdit->setEnabled(NearestRadio->isChecked());
    if (!FListingResult) {
        FMatches.clear();
        OkButton->setEnabled(false);
        return;
    }
    const std::vector<ocelis::TArchivePicture>& pictures = FListingResult->Pictures;
    FMatches = ocelis::SelectArchive(pictures, Rule());
    if (FMatches.empty())
        MatchLabel->setText(Shown(ArchiveNoMatch, {std::to_string(pictures.size())}));
    else if (FMatches.size() == 1)
        MatchLabel->setText(
            Shown(ArchiveOneMatch, {ocelis::WallTimeText(pictures[FMatches[0]].Local)}));
    else
        MatchLabel->setText(
            Shown(ArchiveMatches, {std::to_string(FMatches.size()),
                                   ocelis::WallTimeText(pictures[FMatches.front()].Local),
                                   ocelis::WallTimeText(pictures[FMatches.back()].Local)}));
    OkButton->setEnabled(!FMatches.empty());
}

QStringList TfoArchive::ChosenFiles() const {
    QStringList out;
    if (!FListingResult)
        return out;
    out.reserve(static_cast<qsizetype>(FMatches.size()));
    const QDir dir(FListedFolder);
    for (size_t i : FMatches)
        out << dir.filePath(QFile::decodeName(FListingResult->Pictures[i].Name.c_str()));
    return out;
}

void TfoArchive::OkButtonClick() {
    if (!FListing && !FMatches.empty())
        accept();
}
