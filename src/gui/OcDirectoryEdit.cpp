#include "gui/OcDirectoryEdit.h"

#include <QLineEdit>
#include <QStyle>
#include <QToolButton>
#include <algorithm>
#include <optional>

#include "platform/Dialogs.h"

TOcDirectoryEdit::TOcDirectoryEdit(QWidget* parent) : QWidget(parent) {
    FEdit = new QLineEdit(this);
    FButton = new QToolButton(this);
    FButton->setIcon(style()->standardIcon(QStyle::SP_DirOpenIcon));
    // The browse button is no tab stop of its own: tabbing visits the field only.
    FButton->setFocusPolicy(Qt::NoFocus);
    setFocusPolicy(Qt::StrongFocus);
    setFocusProxy(FEdit);
    connect(FButton, &QToolButton::clicked, this, &TOcDirectoryEdit::ButtonClick);
}

QString TOcDirectoryEdit::Text() const {
    return FEdit->text();
}

void TOcDirectoryEdit::SetText(const QString& text) {
    FEdit->setText(text);
}

void TOcDirectoryEdit::ButtonClick() {
    const std::optional<QString> folder =
        ocelis::TDialogs::FolderName(window(), FDialogText, FEdit->text());
    if (folder)
        FEdit->setText(*folder);
}

void TOcDirectoryEdit::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    const int h = height();
    FEdit->setGeometry(0, 0, std::max(0, width() - h), h);
    FButton->setGeometry(std::max(0, width() - h), 0, h, h);
}
