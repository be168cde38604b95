// Applies arbitrary bytes as a language file to the main window and to windows holding
// every kind of component, then opens a new window from whatever document was kept.
// Crashes, hangs, leaks and half-built windows are failures.
#include <QApplication>
#include <QLabel>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string_view>

#include "gui/GuiProps.h"
#include "gui/SForm.h"
#include "settings/LangTestWindow.h"
#include "settings/MessageTexts.h"
#include "settings/Translator.h"

namespace {

QApplication* gApp = nullptr;
QWidget* gMain = nullptr;
TOcTranslator* gTranslator = nullptr;
int gComponents = 0;
class TfoFuzz;
TfoFuzz* gOpen = nullptr;

class TfoFuzz : public TSForm {
public:
    TfoFuzz() : TSForm(QStringLiteral("foViewer")) {
        ocelis_test::BuildAllComponents(this);
        FinishCreate();
    }
};

int CountNamed(QObject* o) {
    int n = 0;
    for (QObject* c : o->findChildren<QObject*>())
        n += c->objectName().isEmpty() || c->objectName().startsWith(QLatin1String("qt_")) ? 0 : 1;
    return n;
}

void Fail(const char* what, QObject* window) {
    fprintf(stderr, "%s\n", what);
    if (window)
        for (QObject* c : window->findChildren<QObject*>())
            fprintf(stderr, "  %s %s\n", c->metaObject()->className(), qPrintable(c->objectName()));
    std::abort();
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    gApp = new QApplication(*argc, *argv);
    ocelis::RegisterGuiPropAdapters();
    gMain = new QWidget;
    gMain->setObjectName(QStringLiteral("foCamMain"));
    gMain->setProperty("ocelisKeepHidden", true);
    gTranslator = new TOcTranslator(gMain);
    TOcTranslator::SetInstance(gTranslator);
    auto* variables = new TOcTranslatorStrings(gMain);
    ocelis::RegisterMessageTexts(*variables);
    gOpen = new TfoFuzz;
    gComponents = CountNamed(gOpen);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    {
        // The open window keeps what earlier inputs did to it, as a real window would.
        gTranslator->ApplyLanguageText(bytes);
        // A new window (foViewer_1) is translated from what the document kept, also after
        // an error.
        TfoFuzz later;
        for (TfoFuzz* w : {gOpen, &later})
            if (CountNamed(w) != gComponents)
                Fail("a component went missing or appeared", w);
        if (gMain->isVisible())
            Fail("the hidden main window was shown", nullptr);
        if (FormList.size() != 2)
            Fail("FormList does not hold the two windows", nullptr);
    }
    if (FormList.size() != 1)
        Fail("FormList kept a destroyed window", nullptr);
    ocelis::ResetMessageTexts();
    return 0;
}
