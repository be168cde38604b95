#include "settings/QtTranslations.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QPointer>
#include <QTranslator>

namespace ocelis {

namespace {

struct TInstalled {
    QPointer<QTranslator> Translator;
    std::string Tag;
};

TInstalled& Installed() {
    static TInstalled installed;
    return installed;
}

bool IsAlnum(char c, bool lettersOnly) {
    const bool letter = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
    return letter || (!lettersOnly && c >= '0' && c <= '9');
}

} // namespace

std::string QtLanguageTag(std::string_view value) {
    // A language of 2 or 3 letters, then subtags of 2 to 8 letters or digits.
    std::string tag;
    size_t start = 0;
    for (size_t part = 0; start <= value.size(); ++part) {
        size_t end = value.find_first_of("-_", start);
        if (end == std::string_view::npos)
            end = value.size();
        const std::string_view sub = value.substr(start, end - start);
        const bool first = part == 0;
        if (sub.size() < 2 || sub.size() > (first ? 3u : 8u))
            return {};
        for (const char c : sub)
            if (!IsAlnum(c, first))
                return {};
        if (!first)
            tag += '_';
        tag += sub;
        start = end + 1;
    }
    return tag;
}

bool UseQtTranslations(std::string_view tag) {
    TInstalled& installed = Installed();
    if (installed.Translator && installed.Tag == tag)
        return true;
    QTranslator* next = nullptr;
    if (!tag.empty() && QCoreApplication::instance()) {
        next = new QTranslator(QCoreApplication::instance());
        const QString dir = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
        if (!next->load(QStringLiteral("qtbase_") + QString::fromLatin1(tag.data(), tag.size()),
                        dir)) {
            delete next;
            next = nullptr;
        }
    }
    if (installed.Translator) {
        QCoreApplication::removeTranslator(installed.Translator);
        delete installed.Translator;
    }
    installed.Tag.clear();
    if (next && QCoreApplication::installTranslator(next)) {
        installed.Translator = next;
        installed.Tag = std::string(tag);
        return true;
    }
    delete next;
    return false;
}

std::string QtTranslationsInUse() {
    const TInstalled& installed = Installed();
    return installed.Translator ? installed.Tag : std::string();
}

} // namespace ocelis
