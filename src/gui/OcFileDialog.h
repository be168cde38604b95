// The layouts' file dialog components (SaveDialog, OpenPictureDialog1) as named objects of
// their window, so a language file can set Filter and Title. The window opens the dialog
// through Execute, which goes through platform/Dialogs.h.
#pragma once

#include <QObject>
#include <QString>
#include <QStringList>
#include <optional>

class QWidget;

class TOcFileDialog : public QObject {
    Q_OBJECT
    Q_PROPERTY(QString Filter READ Filter WRITE SetFilter)
    Q_PROPERTY(QString Title READ Title WRITE SetTitle)
    Q_PROPERTY(QString DefaultExt READ DefaultExt WRITE SetDefaultExt)
    Q_PROPERTY(QString FileName READ FileName WRITE SetFileName)
    Q_PROPERTY(QString InitialDir READ InitialDir WRITE SetInitialDir)
public:
    enum class TKind { Open, OpenMany, Save };
    TOcFileDialog(TKind kind, const QString& name, QObject* parent);

    TKind DialogKind() const { return FKind; }
    // Layout notation: "JPEG File (*.jpg)|*.jpg|All (*.*)|*.*" (description|pattern pairs).
    QString Filter() const { return FFilter; }
    void SetFilter(const QString& filter) { FFilter = filter; }
    QString Title() const { return FTitle; }
    void SetTitle(const QString& title) { FTitle = title; }
    QString DefaultExt() const { return FDefaultExt; }
    void SetDefaultExt(const QString& ext) { FDefaultExt = ext; }
    QString FileName() const { return FFileName; }
    void SetFileName(const QString& name) { FFileName = name; }
    QString InitialDir() const { return FInitialDir; }
    void SetInitialDir(const QString& dir) { FInitialDir = dir; }
    // Save: whether choosing an existing file asks first (on by default).
    bool OverwritePrompt() const { return FOverwritePrompt; }
    void SetOverwritePrompt(bool on) { FOverwritePrompt = on; }

    // Entries after Filter in its notation, which a language file does not replace.
    QString AddedFilter() const { return FAddedFilter; }
    void SetAddedFilter(const QString& filter) { FAddedFilter = filter; }

    // Qt's notation of Filter and AddedFilter: "JPEG File (*.jpg);;All (*.*)"; a description
    // without its pattern in parentheses gets it appended.
    QString QtFilter() const;

    // Save / Open: the chosen path (Save adds DefaultExt to a name without a suffix) and
    // FileName is set to it; nothing when cancelled.
    std::optional<QString> Execute(QWidget* parent);
    // OpenMany: the chosen paths in the order the dialog returns them.
    std::optional<QStringList> ExecuteMany(QWidget* parent);

private:
    TKind FKind;
    QString FFilter, FAddedFilter, FTitle, FDefaultExt, FFileName, FInitialDir;
    bool FOverwritePrompt = true;
};
