// Bytes of text as a terminal shows them: printable ASCII as it is, and on
// a terminal that shows UTF-8 the letters of UTF-8 and Latin-1 text too;
// every other byte as a dot.
#ifndef KORVALEN_SHOWN_TEXT_H
#define KORVALEN_SHOWN_TEXT_H

#include "../base/file_layout.h"

#include <cstddef>
#include <string>
#include <string_view>

// Bytes [from, to) of a record in the picture, one column of the terminal
// per byte, so that the ruler of byte offsets stays over them: a character
// of several bytes in its first column, the rest of its bytes blank. A
// character cut by from or to is dots. EBCDIC's bytes show as the ASCII
// letters of code page 037.
std::string shown_bytes(std::string_view record, std::size_t from, std::size_t to,
                        text_encoding encoding, bool utf8_terminal);

// A value or a name as a terminal shows it, in UTF-8 when it shows UTF-8.
std::string shown_value(std::string_view text, text_encoding encoding, bool utf8_terminal);

// Columns of the terminal that a shown text takes: one a character, two
// for East Asian wide characters.
std::size_t shown_width(std::string_view shown);

// The shown text cut to at most width columns, whole characters only.
std::string shown_prefix(std::string_view shown, std::size_t width);

#endif
