// Qt's own texts (standard buttons, file dialogs, input boxes) in the language a language
// file names on its root element (attribute "Lang", e.g. Lang="de").
#pragma once

#include <string>
#include <string_view>

namespace ocelis {

// The language tag of a "Lang" value in Qt's file-name form ("pt-BR" -> "pt_BR"); empty when
// the value is not a plain language tag, so it can never name a file elsewhere.
std::string QtLanguageTag(std::string_view value);

// Installs Qt's translations for the tag (qtbase_<tag>.qm from Qt's translations folder) in
// place of those installed before; open windows are told. A tag without translations, or an
// empty one, leaves Qt's built-in English. Returns whether translations are installed now.
bool UseQtTranslations(std::string_view tag);

// The tag whose translations are installed; empty when none are.
std::string QtTranslationsInUse();

} // namespace ocelis
