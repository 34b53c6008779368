// The lines of the pieces a sample takes from the middle and end of a
// large file, to hold the records of its start against.
#ifndef KORVALEN_LINE_LAYOUT_H
#define KORVALEN_LINE_LAYOUT_H

#include "file_layout.h"
#include "file_sample.h"
#include "lines.h"

#include <vector>

// Each later piece's whole lines: the line its start cuts is left out, and
// an unterminated last line unless the piece ends the file.
std::vector<std::vector<line_span>> later_lines(const file_sample& sample,
                                                std::size_t byte_order_mark,
                                                line_terminator terminator, text_encoding encoding);

#endif
