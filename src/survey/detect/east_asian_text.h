// Whether bytes that are neither ASCII nor UTF-8 are text in one of the
// East Asian encodings of two bytes a character, and in which: each is
// scored by how many of the high bytes form its characters and by how
// typical those characters are of the language it writes.
#ifndef KORVALEN_EAST_ASIAN_TEXT_H
#define KORVALEN_EAST_ASIAN_TEXT_H

#include "../base/file_layout.h"
#include "../base/file_sample.h"
#include "detect_step.h"

#include <vector>

struct east_asian_choice {
    // Shift_JIS, EUC-JP, EUC-KR, GB18030 and Big5, each with the share of
    // its characters that are both well formed and typical of its text.
    std::vector<scored<text_encoding>> candidates;
    // binary when none fits.
    text_encoding choice = text_encoding::binary;
};

east_asian_choice weigh_east_asian(byte_span bytes);

// UTF-16 without a byte order mark whose text is mostly outside Latin
// scripts (Chinese, Japanese): ASCII units (line ends, digits, blanks)
// still have a zero high byte, and no unit is NUL or a stray control.
// utf16le, utf16be, or binary when the bytes are neither.
text_encoding guess_utf16_by_units(byte_span bytes);

#endif
