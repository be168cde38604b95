#include "gui/SForm.h"

#include <QApplication>
#include <QFont>
#include <exception>

#include "gui/ErrorReport.h"
#include "gui/WindowKit.h"
#include "platform/Dialogs.h"
#include "settings/Translator.h"
#include "util/QtText.h"

std::vector<TSForm*> FormList;

namespace {

std::vector<QObject*> ListForms() {
    return std::vector<QObject*>(FormList.begin(), FormList.end());
}

bool NameTaken(const QString& name) {
    for (const TSForm* f : FormList)
        if (f->objectName() == name)
            return true;
    for (const QWidget* w : QApplication::topLevelWidgets())
        if (w->objectName() == name)
            return true;
    return false;
}

} // namespace

TSForm::TSForm(const QString& layoutName, QWidget* parent, Qt::WindowFlags flags)
    : QDialog(parent, flags) {
    static const bool kListerSet = [] {
        TOcTranslator::SetFormLister(&ListForms);
        return true;
    }();
    (void)kListerSet;
    setObjectName(UniqueName(layoutName));
    // Until FinishCreate a language file must not show the half-built window.
    setProperty("ocelisKeepHidden", true);
}

TSForm::~TSForm() {
    for (auto it = FormList.rbegin(); it != FormList.rend(); ++it)
        if (*it == this) {
            FormList.erase(std::next(it).base());
            break;
        }
}

QString TSForm::UniqueName(const QString& base) {
    if (!NameTaken(base))
        return base;
    for (int i = 1;; ++i) {
        const QString name = base + QLatin1Char('_') + QString::number(i);
        if (!NameTaken(name))
            return name;
    }
}

void TSForm::FinishCreate() {
    if (FListed)
        return;
    if (TOcTranslator* t = TOcTranslator::Instance())
        t->ApplyToForm(this);
    setProperty("ocelisKeepHidden", QVariant());
    FormList.push_back(this);
    FListed = true;
    try {
        FormCreate();
    } catch (const std::exception& e) {
        ocelis::ShowErrorReport(e.what());
    } catch (...) {
        ocelis::ShowErrorReport("Unknown error");
    }
}

void TSForm::showEvent(QShowEvent* event) {
    // Qt scales whole applications, never a single window, so there is nothing to switch
    // off per window; only the face is fixed.
    QFont f = font();
    f.setFamily(QStringLiteral("arial"));
    setFont(f);
    // Whatever placed the window, its first showing is inside the screen under the pointer.
    if (!FPlaced) {
        FPlaced = true;
        ocelis::KeepOnScreen(this);
    }
    QDialog::showEvent(event);
}

namespace ocelis {

void ShowErrorReport(const std::string& message) {
    TDialogs::Message(nullptr, QMessageBox::Critical, QStringLiteral("Ocelis"),
                      ToQ(ErrorReportText(message)));
}

} // namespace ocelis
