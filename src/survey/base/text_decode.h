// Text in any of the survey's encodings, brought to one byte per character
// with ASCII's line ends, delimiters and quotes, so that one set of text
// analyses serves EBCDIC and UTF-16 files as well.
#ifndef KORVALEN_TEXT_DECODE_H
#define KORVALEN_TEXT_DECODE_H

#include "file_layout.h"
#include "file_sample.h"

#include <cstdint>
#include <string>

struct decoded_text {
    // One byte per character: ASCII as it is, EBCDIC translated, UTF-16
    // units above 0xFF as 0xFF.
    std::string text;
    // Of text's first byte in the file.
    std::uint64_t file_offset = 0;
    // Bytes of the file per character of text.
    std::uint32_t unit_width = 1;
};

decoded_text decode_text(byte_span bytes, std::uint64_t file_offset, text_encoding encoding);

// The byte that stands for an ASCII character in encoding's single-byte
// form, for the record check: ',' is 0x6B in EBCDIC.
unsigned char encoded_byte(unsigned char ascii, text_encoding encoding);

#endif
