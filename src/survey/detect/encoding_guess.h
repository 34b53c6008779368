// Whether a file's bytes are text, and in which encoding.
#ifndef KORVALEN_ENCODING_GUESS_H
#define KORVALEN_ENCODING_GUESS_H

#include "../base/file_layout.h"
#include "../base/file_sample.h"
#include "detect_step.h"

#include <vector>

struct encoding_guess {
    text_encoding encoding = text_encoding::binary;
    // Bytes of a byte order mark at the start: 0, 2 or 3.
    std::size_t byte_order_mark = 0;
    // The share of the bytes judged that text may hold: neither NUL nor a
    // control byte that text does not use.
    double text_share = 1;
    // Each text encoding with the share of the bytes it reads as its text
    // (for UTF-16, of the units with a zero high byte; for EBCDIC, 1 when
    // its letters, digits and blanks dominate).
    std::vector<scored<text_encoding>> candidates;
};

// Judges bytes taken from the start of a file; a multibyte character cut
// by the end of bytes does not count against UTF-8. The choice is the
// first encoding whose test the bytes pass: UTF-16, EBCDIC, then (when
// few bytes are stray controls) ASCII or ISO-2022-JP, UTF-8, the East
// Asian encodings, a Cyrillic or Greek code page, Latin-1, Windows-1252,
// and Latin-1 or Windows-1252 again for any other single-byte text;
// binary otherwise.
encoding_guess guess_encoding(byte_span bytes);

#endif
