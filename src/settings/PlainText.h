// Texts from language files and webcam records are always plain text: Qt guesses rich text
// on labels and tool tips, so everything shown there goes through these.
#pragma once

#include <QString>
#include <string_view>

class QLabel;

namespace ocelis {

// Bytes to QString with CR LF turned into the widgets' line break.
QString DisplayText(std::string_view bytes);
// CR LF / CR to LF.
QString NormalizeBreaks(QString text);
// A tool tip that shows exactly this text (escaped when Qt would take it for rich text).
QString PlainToolTip(const QString& text);
// Sets a label's text as plain text.
void SetPlainLabel(QLabel* label, const QString& text);

} // namespace ocelis
