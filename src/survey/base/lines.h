// Where the lines of text end: which terminators a file uses, and the
// lines they give.
#ifndef KORVALEN_SURVEY_LINE_ENDS_H
#define KORVALEN_SURVEY_LINE_ENDS_H

#include "file_layout.h"
#include "file_sample.h"

#include <cstdint>
#include <vector>

struct line_end_census {
    std::uint64_t lf = 0; // a line feed without a carriage return before it
    std::uint64_t crlf = 0;
    std::uint64_t cr = 0;  // a carriage return without a line feed after it
    std::uint64_t nel = 0; // EBCDIC's new line
};

// Counts the line ends of text in encoding; a CR in the last byte counts
// as a lone CR only when at_end says the bytes end the file.
line_end_census count_line_ends(byte_span bytes, text_encoding encoding, bool at_end);

std::uint64_t total_line_ends(const line_end_census& census);

struct line_span {
    std::uint64_t offset; // of the first byte, in the file
    std::uint64_t length; // terminator included
    bool terminated;
};

// The lines of bytes, which lie at file offset `offset`. When at_start is
// false the bytes up to the first line end are a piece of a line whose start
// is not known, and are left out; likewise an unterminated last line unless
// at_end.
std::vector<line_span> split_lines(byte_span bytes, std::uint64_t offset,
                                   line_terminator terminator, text_encoding encoding,
                                   bool at_start, bool at_end);

#endif
