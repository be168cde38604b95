// Every dialog a user answers (file, folder, input, message box) opens through here, so
// tests can pre-answer them instead of running a real modal loop.
#pragma once

#include <QMessageBox>
#include <QString>
#include <QStringList>
#include <deque>
#include <optional>
#include <vector>

class QWidget;

namespace ocelis {

struct TMessageRecord {
    QMessageBox::Icon Icon;
    QString Title;
    QString Text;
    QString Details;
};

class TDialogs {
public:
    // Save/open file dialogs; nothing when cancelled. confirmOverwrite false: an existing
    // file is chosen without a question.
    static std::optional<QString> SaveFileName(QWidget* parent, const QString& title,
                                               const QString& startPath, const QString& filter,
                                               bool confirmOverwrite = true);
    static std::optional<QString> OpenFileName(QWidget* parent, const QString& title,
                                               const QString& startPath, const QString& filter);
    static std::optional<QStringList> OpenFileNames(QWidget* parent, const QString& title,
                                                    const QString& startPath,
                                                    const QString& filter);
    static std::optional<QString> FolderName(QWidget* parent, const QString& title,
                                             const QString& startPath);
    // One-line input dialog; nothing when cancelled.
    static std::optional<QString> InputText(QWidget* parent, const QString& title,
                                            const QString& label, const QString& text);
    // Message box with plain text (never rich text). Returns the button pressed. details,
    // when given, shows below the text.
    static QMessageBox::StandardButton
    Message(QWidget* parent, QMessageBox::Icon icon, const QString& title, const QString& text,
            QMessageBox::StandardButtons buttons = QMessageBox::Ok,
            const QString& details = QString());

    // --- test seam ---
    // While test mode is on no real dialog is ever opened: each call takes the next queued
    // answer (a missing answer means "cancelled"), and messages are recorded.
    static void SetTestMode(bool on);
    static bool TestMode();
    static void QueueAnswer(std::optional<QString> answer);      // file, folder, input
    static void QueueFiles(std::optional<QStringList> files);    // OpenFileNames
    static void QueueButton(QMessageBox::StandardButton button); // Message
    static const std::vector<TMessageRecord>& Messages();
    // The start path the last file or folder dialog was given.
    static const QString& LastStartPath();
    static void ClearTestState();
};

} // namespace ocelis
