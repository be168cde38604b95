#include "settings/OptionsDialog.h"

#include <QCheckBox>
#include <QEvent>
#include <QFrame>
#include <QLabel>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>

#include "gui/WindowKit.h"
#include "settings/CamViewer.h"
#include "util/QtText.h"

namespace {

constexpr int kClientWidth = 328;
constexpr int kClientHeight = 263;
constexpr int kPanelHeight = 41;
constexpr int kBoxHeight = 17;
constexpr int kEditHeight = 21;
constexpr int kButtonWidth = 75;
constexpr int kButtonHeight = 25;

// A small window with two ticked boxes, drawn in code like the program's other icons.
QIcon OptionsIcon() {
    QIcon icon;
    for (int size : {16, 32}) {
        QPixmap pm(size, size);
        pm.fill(Qt::transparent);
        QPainter p(&pm);
        p.setRenderHint(QPainter::Antialiasing);
        const qreal u = size / 16.0;
        p.setPen(QPen(QColor(40, 60, 110), u));
        p.setBrush(QColor(245, 245, 245));
        p.drawRect(QRectF(0.5 * u, 0.5 * u, 15 * u, 15 * u));
        p.fillRect(QRectF(1 * u, 1 * u, 14 * u, 3 * u), QColor(40, 60, 110));
        for (int row = 0; row < 2; ++row) {
            const qreal top = (6 + row * 5) * u;
            p.setBrush(Qt::white);
            p.setPen(QPen(QColor(90, 90, 90), u * 0.8));
            p.drawRect(QRectF(3 * u, top, 3.5 * u, 3.5 * u));
            p.setPen(QPen(QColor(20, 140, 40), u * 1.2));
            p.drawLine(QPointF(3.6 * u, top + 1.8 * u), QPointF(4.6 * u, top + 2.9 * u));
            p.drawLine(QPointF(4.6 * u, top + 2.9 * u), QPointF(6.4 * u, top + 0.4 * u));
            p.setPen(QPen(QColor(120, 120, 120), u));
            p.drawLine(QPointF(8 * u, top + 1.8 * u), QPointF(13.5 * u, top + 1.8 * u));
        }
        p.end();
        icon.addPixmap(pm);
    }
    return icon;
}

QFrame* PlacedBevel(QWidget* parent, const char* name, int left, int top, int width) {
    QFrame* bevel = ocelis::NewBevel(parent, name);
    bevel->setGeometry(left, top, width, 2);
    return bevel;
}

// Labels keep a fixed place, so that a translated caption is neither clipped by an earlier
// size nor moved.
QLabel* PlacedLabel(QWidget* parent, const char* name, const QString& caption, const QRect& place,
                    Qt::Alignment align, bool greyed) {
    QLabel* label = ocelis::NewLabel(parent, name, caption);
    label->setAlignment(align | Qt::AlignVCenter);
    if (greyed) {
        QPalette pal = label->palette();
        pal.setColor(QPalette::WindowText, pal.color(QPalette::Disabled, QPalette::WindowText));
        label->setPalette(pal);
    }
    label->setGeometry(place);
    return label;
}

} // namespace

TfoOptions::TfoOptions(QWidget* parent)
    : TSForm(QStringLiteral("foOptions"), parent,
             Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                 Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint) {
    setWindowTitle(QStringLiteral("Options"));
    setWindowIcon(OptionsIcon());
    setFixedSize(kClientWidth, kClientHeight);
    setSizeGripEnabled(false);

    const int groupWidth = kClientWidth - 16;
    ViewerLabel = PlacedLabel(this, "ViewerLabel", QStringLiteral("Viewer "),
                              QRect(8, 2, groupWidth, 15), Qt::AlignLeft, true);
    Bevel3 = PlacedBevel(this, "Bevel3", 8, 18, groupWidth);

    const auto box = [this](const char* name, const QString& caption, int top) {
        QCheckBox* b = ocelis::NewCheckBox(this, name, caption);
        b->setGeometry(30, top, 280, kBoxHeight);
        return b;
    };
    AlwaysBox = box("AlwaysBox", QStringLiteral("Always on top"), 21);
    PropBox = box("PropBox", QStringLiteral("Proportional resize"), 43);
    StatusBox = box("StatusBox", QStringLiteral("Show status bar"), 65);
    BeepBox = box("BeepBox", QStringLiteral("Beep on new image"), 87);
    LaunchWindows = box("LaunchWindows", QStringLiteral("Start at login"), 109);

    SaveTitle = PlacedLabel(this, "SaveTitle", QStringLiteral("Save "),
                            QRect(8, 130, groupWidth, 15), Qt::AlignLeft, true);
    Bevel1 = PlacedBevel(this, "Bevel1", 8, 146, groupWidth);
    ImagesBox = box("ImagesBox", QStringLiteral("Archive images"), 149);
    ImageSubBox = box("ImageSubBox", QStringLiteral("Create subdirectories"), 171);

    // Ends at the field whatever the caption's width in the font at hand.
    DirectoryLabel = PlacedLabel(this, "DirectoryLabel", QStringLiteral("Directory"),
                                 QRect(4, 191, 72, kEditHeight), Qt::AlignRight, false);
    Directory = new TOcDirectoryEdit(this);
    Directory->setObjectName(QStringLiteral("Directory"));
    Directory->setGeometry(80, 191, 231, kEditHeight);

    const int panelTop = kClientHeight - kPanelHeight;
    Bevel2 = PlacedBevel(this, "Bevel2", 0, panelTop - 2, kClientWidth);
    Panel2 = new QWidget(this);
    Panel2->setObjectName(QStringLiteral("Panel2"));
    Panel2->setGeometry(0, panelTop, kClientWidth, kPanelHeight);
    const auto button = [this](const char* name, const QString& caption, int left) {
        QPushButton* b = ocelis::NewButton(Panel2, name, caption);
        b->setGeometry(left, (kPanelHeight - kButtonHeight) / 2, kButtonWidth, kButtonHeight);
        return b;
    };
    const int cancelLeft = kClientWidth - 8 - kButtonWidth;
    OkButton = button("OkButton", QStringLiteral("&Ok"), cancelLeft - 6 - kButtonWidth);
    CancelButton = button("CancelButton", QStringLiteral("&Cancel"), cancelLeft);
    // The dialog keeps its size and every control its place: the one free room is left of
    // the buttons, where the caption wraps beside its box. The caption's accelerator and a
    // click on it reach the box; Tab keeps the order it always had.
    NotifyBox = ocelis::NewCheckBox(this, "NotifyBox", QString());
    NotifyBox->setGeometry(4, panelTop + (kPanelHeight - kBoxHeight) / 2, kBoxHeight, kBoxHeight);
    const int labelLeft = 4 + kBoxHeight;
    NotifyLabel = PlacedLabel(
        this, "NotifyLabel", QStringLiteral("&Notify when a webcam goes offline or freezes"),
        // Three lines take one row more than the panel: the bevel's lower edge, which the
        // first line's leading leaves blank.
        QRect(labelLeft, panelTop - 1, cancelLeft - 6 - kButtonWidth - 2 - labelLeft,
              kPanelHeight + 1),
        Qt::AlignLeft, false);
    NotifyLabel->setWordWrap(true);
    NotifyLabel->setBuddy(NotifyBox);
    NotifyLabel->installEventFilter(this);
    connect(OkButton, &QPushButton::clicked, this, &QDialog::accept);
    connect(CancelButton, &QPushButton::clicked, this, &QDialog::reject);

    QWidget* order[] = {AlwaysBox,   PropBox,   StatusBox, BeepBox,  LaunchWindows, ImagesBox,
                        ImageSubBox, Directory, NotifyBox, OkButton, CancelButton};
    for (size_t i = 1; i < std::size(order); ++i)
        setTabOrder(order[i - 1], order[i]);

    ocelis::CentreOnScreen(this);

    FinishCreate();
}

bool TfoOptions::eventFilter(QObject* watched, QEvent* event) {
    if (watched == NotifyLabel && event->type() == QEvent::MouseButtonRelease) {
        NotifyBox->toggle();
        return true;
    }
    return TSForm::eventFilter(watched, event);
}

void TfoOptions::Fill(const TCamViewer& settings) {
    AlwaysBox->setChecked(settings.AlwaysOnTop);
    PropBox->setChecked(settings.PropResize);
    StatusBox->setChecked(settings.Status);
    BeepBox->setChecked(settings.Beep);
    ImagesBox->setChecked(settings.SaveImages);
    ImageSubBox->setChecked(settings.SubDirectory);
    Directory->SetText(ocelis::ToQ(settings.SavePath));
    LaunchWindows->setChecked(settings.LaunchWindows);
    NotifyBox->setChecked(settings.NotifyHealth);
}

void TfoOptions::Apply(TCamViewer& settings) const {
    settings.AlwaysOnTop = AlwaysBox->isChecked();
    settings.PropResize = PropBox->isChecked();
    settings.Status = StatusBox->isChecked();
    settings.Beep = BeepBox->isChecked();
    settings.SaveImages = ImagesBox->isChecked();
    settings.SubDirectory = ImageSubBox->isChecked();
    settings.SavePath = ocelis::FromQ(Directory->Text());
    settings.NotifyHealth = NotifyBox->isChecked();
    settings.SetLaunchWindows(LaunchWindows->isChecked());
}
