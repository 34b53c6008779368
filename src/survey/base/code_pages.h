// The single-byte code pages of Cyrillic, Greek and Central European text
// beside Latin-1:
// ASCII below 0x80, each page's own letters above, as the pages' published
// tables give them.
#ifndef KORVALEN_CODE_PAGES_H
#define KORVALEN_CODE_PAGES_H

#include "file_layout.h"

#include <string>
#include <string_view>

// Whether encoding has one byte a character and ASCII as its lower half:
// Latin-1, Windows-1252 and the pages below.
bool is_code_page(text_encoding encoding);

// Whether encoding is one of the Cyrillic, Greek or Central European
// pages, whose upper half this file maps.
bool is_mapped_code_page(text_encoding encoding);

// The character byte stands for in a mapped page (byte itself below 0x80);
// 0 where the page leaves it undefined or encoding is no mapped page.
char32_t code_page_character(text_encoding encoding, unsigned char byte);

// Text of a mapped page in UTF-8; an undefined byte becomes U+FFFD.
std::string code_page_to_utf8(std::string_view text, text_encoding encoding);

// Appends the UTF-8 bytes of a code point (one that is not a surrogate,
// at most U+10FFFF).
void append_utf8(std::string& out, char32_t value);

#endif
