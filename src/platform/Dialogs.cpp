#include "platform/Dialogs.h"

#include <QFileDialog>
#include <QInputDialog>

namespace ocelis {

namespace {
struct SeamState {
    bool testMode = false;
    std::deque<std::optional<QString>> answers;
    std::deque<std::optional<QStringList>> files;
    std::deque<QMessageBox::StandardButton> buttons;
    std::vector<MessageRecord> messages;
};

SeamState& State() {
    static SeamState s;
    return s;
}

std::optional<QString> NextAnswer() {
    auto& q = State().answers;
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

std::optional<QString> Dialogs::SaveFileName(QWidget* parent, const QString& title,
                                             const QString& startPath, const QString& filter,
                                             bool confirmOverwrite) {
    if (State().testMode)
        return NextAnswer();
    const QFileDialog::Options options =
        confirmOverwrite ? QFileDialog::Options() : QFileDialog::DontConfirmOverwrite;
    return NonEmpty(
        QFileDialog::getSaveFileName(parent, title, startPath, filter, nullptr, options));
}

std::optional<QString> Dialogs::OpenFileName(QWidget* parent, const QString& title,
                                             const QString& startPath, const QString& filter) {
    if (State().testMode)
        return NextAnswer();
    return NonEmpty(QFileDialog::getOpenFileName(parent, title, startPath, filter));
}

std::optional<QStringList> Dialogs::OpenFileNames(QWidget* parent, const QString& title,
                                                  const QString& startPath, const QString& filter) {
    if (State().testMode) {
        auto& q = State().files;
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

std::optional<QString> Dialogs::FolderName(QWidget* parent, const QString& title,
                                           const QString& startPath) {
    if (State().testMode)
        return NextAnswer();
    return NonEmpty(QFileDialog::getExistingDirectory(parent, title, startPath));
}

std::optional<QString> Dialogs::InputText(QWidget* parent, const QString& title,
                                          const QString& label, const QString& text) {
    if (State().testMode)
        return NextAnswer();
    bool ok = false;
    QString r = QInputDialog::getText(parent, title, label, QLineEdit::Normal, text, &ok);
    if (!ok)
        return std::nullopt;
    return r;
}

QMessageBox::StandardButton Dialogs::Message(QWidget* parent, QMessageBox::Icon icon,
                                             const QString& title, const QString& text,
                                             QMessageBox::StandardButtons buttons) {
    if (State().testMode) {
        State().messages.push_back({icon, title, text});
        auto& q = State().buttons;
        if (q.empty())
            return QMessageBox::Ok;
        auto b = q.front();
        q.pop_front();
        return b;
    }
    QMessageBox box(icon, title, text, buttons, parent);
    // Texts may come from language or webcam files: never interpret them as markup.
    box.setTextFormat(Qt::PlainText);
    return static_cast<QMessageBox::StandardButton>(box.exec());
}

void Dialogs::SetTestMode(bool on) {
    State().testMode = on;
}
bool Dialogs::TestMode() {
    return State().testMode;
}
void Dialogs::QueueAnswer(std::optional<QString> answer) {
    State().answers.push_back(std::move(answer));
}
void Dialogs::QueueFiles(std::optional<QStringList> files) {
    State().files.push_back(std::move(files));
}
void Dialogs::QueueButton(QMessageBox::StandardButton button) {
    State().buttons.push_back(button);
}
const std::vector<MessageRecord>& Dialogs::Messages() {
    return State().messages;
}
void Dialogs::ClearTestState() {
    SeamState& s = State();
    s.answers.clear();
    s.files.clear();
    s.buttons.clear();
    s.messages.clear();
}

} // namespace ocelis
