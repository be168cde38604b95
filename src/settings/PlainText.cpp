#include "settings/PlainText.h"

#include <QLabel>
#include <QTextDocument>

#include "util/QtText.h"

namespace ocelis {

QString NormalizeBreaks(QString text) {
    text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return text;
}

QString DisplayText(std::string_view bytes) {
    return NormalizeBreaks(ToQ(bytes));
}

QString PlainToolTip(const QString& text) {
    const QString t = NormalizeBreaks(text);
    if (!Qt::mightBeRichText(t))
        return t;
    // Escaped into rich text that shows the characters as they are.
    return Qt::convertFromPlainText(t, Qt::WhiteSpacePre);
}

void SetPlainLabel(QLabel* label, const QString& text) {
    label->setTextFormat(Qt::PlainText);
    label->setText(NormalizeBreaks(text));
}

} // namespace ocelis
