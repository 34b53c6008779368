// Text in any of the survey's encodings, brought to one byte per character
// with ASCII's line ends, delimiters and quotes, so that one set of text
// analyses serves EBCDIC and UTF-16 files as well.
#ifndef KORVALEN_TEXT_DECODE_H
#define KORVALEN_TEXT_DECODE_H

#include "file_layout.h"
#include "file_sample.h"

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

struct decoded_text {
    // One byte per character: ASCII as it is, EBCDIC translated, UTF-16
    // units above 0xFF as 0xFF. The East Asian encodings keep a byte per
    // byte, but a byte below 0x80 inside a character becomes 0xFF: it is
    // never a delimiter, a quote or a digit there; so do ISO-2022-JP's
    // escape sequences and the pairs of bytes they shift into. Text in an
    // encoding that needs none of this is the bytes decoded, not a copy:
    // they must outlive it.
    std::string_view text;
    // Of text's first byte in the file.
    std::uint64_t file_offset = 0;
    // Bytes of the file per character of text.
    std::uint32_t unit_width = 1;
    // The characters text shows, where they differ from the bytes: held
    // by a shared pointer, so that text points at them still when the
    // decoded text is copied or moved.
    std::shared_ptr<const std::string> translated;
};

decoded_text decode_text(byte_span bytes, std::uint64_t file_offset, text_encoding encoding);

// Bytes of the character of an East Asian encoding that starts at bytes[at]
// (1 for ASCII), as its public tables allow lead and trail bytes; 0 when no
// character starts there, or when the bytes end inside it.
std::size_t character_length(text_encoding encoding, byte_span bytes, std::size_t at);

bool is_east_asian(text_encoding encoding);

// Whether byte, though ASCII, may stand inside a character of encoding as
// its trail byte (Shift_JIS, Big5 and GBK put 0x40 to 0x7E there), or as
// either byte of an ISO-2022-JP pair (0x21 to 0x7E).
bool may_trail_a_lead(text_encoding encoding, unsigned char byte);

// The byte that stands for an ASCII character in encoding's single-byte
// form, for the record check: ',' is 0x6B in EBCDIC.
unsigned char encoded_byte(unsigned char ascii, text_encoding encoding);

// The byte a line ended by LF ends with: EBCDIC has its own (0x25), and
// encoded_byte gives NEL (0x15) for LF, as the two decode alike.
unsigned char line_feed_byte(text_encoding encoding);

#endif
