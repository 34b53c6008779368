// Which line end a text file's records end with, from a count of each.
#ifndef KORVALEN_TERMINATOR_CHOICE_H
#define KORVALEN_TERMINATOR_CHOICE_H

#include "../base/file_layout.h"
#include "../base/lines.h"
#include "detect_step.h"

#include <vector>

struct terminator_choice {
    // Each kind of line end with its share of all of them.
    std::vector<scored<line_terminator>> candidates;
    // The kind most lines end with, `mixed` when another one ends a fair
    // share of them too, `none` when there is no line end.
    line_terminator choice = line_terminator::none;
};

terminator_choice choose_terminator(const line_end_census& census);

#endif
