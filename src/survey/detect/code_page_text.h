// Whether bytes beyond ASCII that are neither UTF-8 nor an East Asian
// encoding are text in a single-byte code page, and in which: each
// Cyrillic and Greek page is weighed by whether its reading makes the high
// bytes letters that keep one case along a word, and by how well those
// letters follow the frequencies of the script's languages; the Central
// European pages by the letters they read where the Western pages have
// signs between letters.
#ifndef KORVALEN_CODE_PAGE_TEXT_H
#define KORVALEN_CODE_PAGE_TEXT_H

#include "../base/file_layout.h"
#include "../base/file_sample.h"
#include "detect_step.h"

#include <vector>

struct code_page_choice {
    // KOI8-R, Windows-1251, ISO 8859-5, ISO 8859-7, Windows-1253, ISO
    // 8859-2 and Windows-1250, each with the share of the high bytes it
    // reads as letters, 0 where its reading fails the tests of text in its
    // script.
    std::vector<scored<text_encoding>> candidates;
    // binary when no page reads the bytes clearly better than the others.
    text_encoding choice = text_encoding::binary;
};

code_page_choice weigh_code_pages(byte_span bytes);

// Whether bytes are text in some single-byte code page, whichever it is:
// nearly every high byte stands next to a letter, inside a word, and lines
// end at a text's usual intervals.
bool reads_as_eight_bit_text(byte_span bytes);

#endif
