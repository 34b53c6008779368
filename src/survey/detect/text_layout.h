// The layout of text whose records end with line ends: preamble before
// them, comment lines after them, the delimiter and quote of their fields,
// whether the first names the columns, their length, and the columns of
// fixed-width records.
#ifndef KORVALEN_TEXT_LAYOUT_H
#define KORVALEN_TEXT_LAYOUT_H

#include "../base/file_layout.h"
#include "../base/file_sample.h"
#include "../base/text_lines.h"
#include "delimiter_choice.h"
#include "detect_step.h"
#include "encoding_guess.h"

enum class text_shape { delimited, fixed_width, free_text };

struct text_layout_choice {
    // The delimiter and quote step's answer, on the records' lines.
    delimiter_choice fields;
    // Delimited records scored by their pair's consistency (0 where blanks
    // only pad values to line up), fixed-width and free text by whether a
    // run of lines of one length makes up the records.
    std::vector<scored<text_shape>> candidates;
    text_shape choice = text_shape::free_text;
    // Bytes of the header that the text's own form explains: a table's
    // ruled heading above the records (lines of the records' length), an
    // image's colour table that its values string counts.
    std::uint64_t ruled_heading = 0;
};

// layout's encoding and terminator are set; fills in the rest. The lines
// of the sample's start, where kept, are taken rather than split again.
text_layout_choice survey_text_lines(const file_sample& sample, const encoding_guess& guess,
                                     file_layout& layout, const kept_lines* kept = nullptr);

#endif
