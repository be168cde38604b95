#include "gui/OcFileDialog.h"

#include <QFileInfo>

#include "platform/Dialogs.h"

TOcFileDialog::TOcFileDialog(TKind kind, const QString& name, QObject* parent)
    : QObject(parent), FKind(kind) {
    setObjectName(name);
}

QString TOcFileDialog::QtFilter() const {
    const QStringList parts =
        (FAddedFilter.isEmpty() ? FFilter : FFilter + QLatin1Char('|') + FAddedFilter)
            .split(QLatin1Char('|'));
    QStringList out;
    for (int i = 0; i < parts.size(); i += 2) {
        QString desc = parts[i].trimmed();
        const QString pattern = i + 1 < parts.size() ? parts[i + 1].trimmed() : QString();
        if (desc.isEmpty() && pattern.isEmpty())
            continue;
        // Qt reads the patterns from the parentheses of the description.
        QString qtPattern = pattern;
        qtPattern.replace(QLatin1Char(';'), QLatin1Char(' '));
        if (!pattern.isEmpty() && !desc.contains(QLatin1Char('(')))
            desc += QStringLiteral(" (") + qtPattern + QLatin1Char(')');
        else if (!pattern.isEmpty() && !desc.endsWith(QLatin1Char(')')))
            desc += QStringLiteral(" (") + qtPattern + QLatin1Char(')');
        out << desc;
    }
    return out.join(QStringLiteral(";;"));
}

std::optional<QString> TOcFileDialog::Execute(QWidget* parent) {
    const QString start = FFileName.isEmpty() ? FInitialDir
                          : FInitialDir.isEmpty()
                              ? FFileName
                              : FInitialDir + QLatin1Char('/') + QFileInfo(FFileName).fileName();
    std::optional<QString> r;
    if (FKind == TKind::Save) {
        r = ocelis::TDialogs::SaveFileName(parent, FTitle, start, QtFilter(), FOverwritePrompt);
        if (r && !FDefaultExt.isEmpty() && QFileInfo(*r).suffix().isEmpty())
            *r += QLatin1Char('.') + FDefaultExt;
    } else if (FKind == TKind::Open) {
        r = ocelis::TDialogs::OpenFileName(parent, FTitle, start, QtFilter());
    } else {
        const auto many = ExecuteMany(parent);
        if (many && !many->isEmpty())
            r = many->first();
    }
    if (r)
        FFileName = *r;
    return r;
}

std::optional<QStringList> TOcFileDialog::ExecuteMany(QWidget* parent) {
    if (FKind != TKind::OpenMany) {
        const auto one = Execute(parent);
        if (!one)
            return std::nullopt;
        return QStringList{*one};
    }
    auto r = ocelis::TDialogs::OpenFileNames(parent, FTitle, FInitialDir, QtFilter());
    if (r && !r->isEmpty())
        FFileName = r->first();
    return r;
}
