#include "avi/OcProgressDlg.h"

#include <QCloseEvent>
#include <QFrame>
#include <QKeyEvent>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>

#include "gui/WindowKit.h"
#include "settings/PlainText.h"

namespace {

constexpr int kFormWidth = 314;
// The bar's 60 pixels and a row for the Cancel button below it.
constexpr int kFormHeight = 92;
constexpr int kButtonWidth = 75;
constexpr int kButtonHeight = 25;

} // namespace

TFormProg::TFormProg()
    : QWidget(nullptr, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint) {
    setObjectName(QStringLiteral("FormProg"));
    setFixedSize(kFormWidth, kFormHeight);
    setFont(QFont(QStringLiteral("MS Sans Serif"), 8));

    Panel1 = new QFrame(this);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    Panel1->setFrameStyle(QFrame::Panel | QFrame::Raised);
    Panel1->setLineWidth(1);
    Panel1->setGeometry(0, 0, kFormWidth, kFormHeight);

    Label1 = ocelis::NewLabel(Panel1, "Label1", QStringLiteral("Progress"));
    Label1->move(18, 10);
    Label1->adjustSize();

    ProgressBar1 = new QProgressBar(Panel1);
    ProgressBar1->setObjectName(QStringLiteral("ProgressBar1"));
    ProgressBar1->setGeometry(24, 28, 271, 15);
    ProgressBar1->setRange(0, 100);
    ProgressBar1->setValue(0);
    ProgressBar1->setTextVisible(false);

    CancelButton = ocelis::NewButton(Panel1, "CancelButton", QStringLiteral("Cancel"));
    CancelButton->setGeometry((kFormWidth - kButtonWidth + 1) / 2, 56, kButtonWidth, kButtonHeight);
}

void TFormProg::closeEvent(QCloseEvent* event) {
    if (Closable)
        event->accept();
    else
        event->ignore();
}

void TFormProg::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape) {
        event->accept();
        return;
    }
    QWidget::keyPressEvent(event);
}

TOcProgressDlg::TOcProgressDlg(const QString& name, QObject* owner)
    : QObject(owner), FForm(std::make_unique<TFormProg>()) {
    setObjectName(name);
    connect(FForm->CancelButton, &QPushButton::clicked, this, &TOcProgressDlg::CancelClicked);
}

TOcProgressDlg::~TOcProgressDlg() = default;

void TOcProgressDlg::SetMaximum(int maximum) {
    FMaximum = maximum;
    FForm->ProgressBar1->setMaximum(maximum);
}

void TOcProgressDlg::SetValue(int value) {
    if (value == FValue)
        return;
    FValue = value;
    FForm->ProgressBar1->setValue(value);
}

void TOcProgressDlg::SetText(const QString& text) {
    if (text == FText)
        return;
    FText = text;
    FForm->Label1->setText(text);
    FForm->Label1->adjustSize();
}

QString TOcProgressDlg::CancelCaption() const {
    return FForm->CancelButton->text();
}

void TOcProgressDlg::SetCancelCaption(const QString& caption) {
    FForm->CancelButton->setText(ocelis::NormalizeBreaks(caption));
}

void TOcProgressDlg::SetStayOnTop(bool on) {
    FStayOnTop = on;
    ApplyStayOnTop();
}

void TOcProgressDlg::ApplyStayOnTop() {
    if (FForm->windowFlags().testFlag(Qt::WindowStaysOnTopHint) == FStayOnTop)
        return;
    const bool visible = FForm->isVisible();
    FForm->setWindowFlag(Qt::WindowStaysOnTopHint, FStayOnTop);
    // Changing a window's flags hides it.
    if (visible)
        FForm->show();
}

void TOcProgressDlg::Show() {
    ApplyStayOnTop();
    FForm->Label1->setText(FText);
    FForm->Label1->adjustSize();
    FForm->Closable = false;
    ocelis::CentreOnScreen(FForm.get(), ocelis::TScreenArea::Whole);
    FForm->show();
}

void TOcProgressDlg::Close() {
    FForm->Closable = true;
    FForm->close();
}
