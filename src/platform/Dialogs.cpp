#include "platform/Dialogs.h"

#include <QFileDialog>
#include <QInputDialog>
#include <QLabel>

namespace ocelis {

namespace {
struct TSeamState {
    bool TestMode = false;
    std::deque<std::optional<QString>> Answers;
    std::deque<std::optional<QStringList>> Files;
    std::deque<QMessageBox::StandardButton> Buttons;
    std::vector<TMessageRecord> Messages;
    QString StartPath;
};

TSeamState& State() {
    static TSeamState s;
    return s;
}

std::optional<QString> NextAnswer() {
    auto& q = State().Answers;
    if (q.empty())
        return std::nullopt;
    auto a = q.front();
    q.pop_front();
    return a;
}

std::optional<QString> NonEmpty(const QString& s) {
    if (s.isEmpty())
        return std::nullopt;
    return s;
}
} // namespace

std::optional<QString> TDialogs::SaveFileName(QWidget* parent, const QString& title,
                                              const QString& startPath, const QString& filter,
                                              bool confirmOverwrite) {
    State().StartPath = startPath;
    if (State().TestMode)
        return NextAnswer();
    const QFileDialog::Options options =
        confirmOverwrite ? QFileDialog::Options() : QFileDialog::DontConfirmOverwrite;
    return NonEmpty(
        QFileDialog::getSaveFileName(parent, title, startPath, filter, nullptr, options));
}

std::optional<QString> TDialogs::OpenFileName(QWidget* parent, const QString& title,
                                              const QString& startPath, const QString& filter) {
    State().StartPath = startPath;
    if (State().TestMode)
        return NextAnswer();
    return NonEmpty(QFileDialog::getOpenFileName(parent, title, startPath, filter));
}

std::optional<QStringList> TDialogs::OpenFileNames(QWidget* parent, const QString& title,
                                                   const QString& startPath,
                                                   const QString& filter) {
    State().StartPath = startPath;
    if (State().TestMode) {
        auto& q = State().Files;
        if (q.empty())
            return std::nullopt;
        auto a = q.front();
        q.pop_front();
        return a;
    }
    QStringList l = QFileDialog::getOpenFileNames(parent, title, startPath, filter);
    if (l.isEmpty())
        return std::nullopt;
    return l;
}

std::optional<QString> TDialogs::FolderName(QWidget* parent, const QString& title,
                                            const QString& startPath) {
    State().StartPath = startPath;
    if (State().TestMode)
        return NextAnswer();
    return NonEmpty(QFileDialog::getExistingDirectory(parent, title, startPath));
}

std::optional<QString> TDialogs::InputText(QWidget* parent, const QString& title,
                                           const QString& label, const QString& text) {
    if (State().TestMode)
        return NextAnswer();
    bool ok = false;
    QString r = QInputDialog::getText(parent, title, label, QLineEdit::Normal, text, &ok);
    if (!ok)
        return std::nullopt;
    return r;
}

QMessageBox::StandardButton TDialogs::Message(QWidget* parent, QMessageBox::Icon icon,
                                              const QString& title, const QString& text,
                                              QMessageBox::StandardButtons buttons,
                                              const QString& details) {
    if (State().TestMode) {
        State().Messages.push_back({icon, title, text, details});
        auto& q = State().Buttons;
        if (q.empty())
            return QMessageBox::Ok;
        auto b = q.front();
        q.pop_front();
        return b;
    }
    QMessageBox box(icon, title, text, buttons, parent);
    // Texts may come from language or webcam files: never interpret them as markup.
    box.setTextFormat(Qt::PlainText);
    if (!details.isEmpty()) {
        box.setInformativeText(details);
        for (QLabel* label : box.findChildren<QLabel*>())
            if (label->text() == details)
                label->setTextFormat(Qt::PlainText);
    }
    return static_cast<QMessageBox::StandardButton>(box.exec());
}

void TDialogs::SetTestMode(bool on) {
    State().TestMode = on;
}
bool TDialogs::TestMode() {
    return State().TestMode;
}
void TDialogs::QueueAnswer(std::optional<QString> answer) {
    State().Answers.push_back(std::move(answer));
}
void TDialogs::QueueFiles(std::optional<QStringList> files) {
    State().Files.push_back(std::move(files));
}
const QString& TDialogs::LastStartPath() {
    return State().StartPath;
}

void TDialogs::QueueButton(QMessageBox::StandardButton button) {
    State().Buttons.push_back(button);
}
const std::vector<TMessageRecord>& TDialogs::Messages() {
    return State().Messages;
}
void TDialogs::ClearTestState() {
    TSeamState& s = State();
    s.Answers.clear();
    s.Files.clear();
    s.StartPath.clear();
    s.Buttons.clear();
    s.Messages.clear();
}

} // namespace ocelis
