// Turns the bytes of an XML file, in whichever 8-bit encoding it was written, into the
// program's UTF-8 text.
#pragma once

#include <string>
#include <string_view>

namespace ocelis {

// Whether the bytes are well-formed UTF-8 (no overlongs, surrogates or values past U+10FFFF).
bool IsValidUtf8(std::string_view bytes);

// The encoding named by a leading XML declaration, lower-cased; empty when there is none.
std::string DeclaredXmlEncoding(std::string_view bytes);

// A leading UTF-8 byte-order mark is dropped. A file declaring UTF-8 or starting with the mark
// is UTF-8 (broken sequences become U+FFFD). Any other file is UTF-8 when its bytes are valid
// UTF-8, which also covers the files older builds wrote (declared iso-8859-1 over UTF-8 bytes);
// else windows-1252, of which ISO-8859-1 is a subset for every printable character.
std::string XmlFileTextToUtf8(std::string bytes);

} // namespace ocelis
