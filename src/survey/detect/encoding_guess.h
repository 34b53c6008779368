// Whether a file's bytes are text, and in which encoding.
#ifndef KORVALEN_ENCODING_GUESS_H
#define KORVALEN_ENCODING_GUESS_H

#include "../base/file_layout.h"
#include "../base/file_sample.h"

struct encoding_guess {
    text_encoding encoding = text_encoding::binary;
    // Bytes of a byte order mark at the start: 0, 2 or 3.
    std::size_t byte_order_mark = 0;
};

// Judges bytes taken from the start of a file; a multibyte character cut
// by the end of bytes does not count against UTF-8.
encoding_guess guess_encoding(byte_span bytes);

// The same judgement for bytes that do not start the file: no byte order
// mark is looked for.
text_encoding guess_encoding_of_records(byte_span bytes);

#endif
