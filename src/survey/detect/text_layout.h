// The layout of text whose records end with line ends: preamble before
// them, comment lines after them, the delimiter and quote of their fields,
// whether the first names the columns, their length, and the columns of
// fixed-width records.
#ifndef KORVALEN_TEXT_LAYOUT_H
#define KORVALEN_TEXT_LAYOUT_H

#include "encoding_guess.h"
#include "../base/file_layout.h"
#include "../base/file_sample.h"

// layout's encoding and terminator are set; fills in the rest.
void survey_text_lines(const file_sample& sample, const encoding_guess& guess, file_layout& layout);

#endif
