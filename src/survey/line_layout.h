// The layout of a text file whose records are lines: their terminator,
// their length when they all have one, the lines of another length before
// and after them, and how many there are.
#ifndef KORVALEN_LINE_LAYOUT_H
#define KORVALEN_LINE_LAYOUT_H

#include "file_layout.h"
#include "file_sample.h"
#include "line_ends.h"

#include <vector>

// The lines of a sample: those of its start, then those of each later
// piece, each piece's lines whole (cut ends left out).
struct sampled_lines {
    std::vector<line_span> start;
    std::vector<std::vector<line_span>> later;
    // The start holds the whole file.
    bool whole_file = false;
    // The last piece (or the start, when whole) ends the file.
    bool end_seen = false;
};

sampled_lines sample_lines(const file_sample& sample, std::size_t byte_order_mark,
                           line_terminator terminator, text_encoding encoding);

// Sets layout's record length or usual length, header and trailer lengths
// and record count from the lengths of the sampled lines. The header
// starts after the byte order mark, which counts in it.
void measure_lines(const file_sample& sample, const sampled_lines& lines,
                   std::size_t byte_order_mark, file_layout& layout);

#endif
