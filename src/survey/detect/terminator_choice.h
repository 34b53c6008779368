// Which line end a text file's records end with, from a count of each.
#ifndef KORVALEN_TERMINATOR_CHOICE_H
#define KORVALEN_TERMINATOR_CHOICE_H

#include "../base/file_layout.h"
#include "../base/lines.h"
#include "detect_step.h"

#include <optional>
#include <vector>

struct terminator_choice {
    // Each kind of line end with its share of all of them.
    std::vector<scored<line_terminator>> candidates;
    // The kind most lines end with, `mixed` when another one ends a fair
    // share of them too, `none` when there is no line end.
    line_terminator choice = line_terminator::none;
};

terminator_choice choose_terminator(const line_end_census& census);

// A mix of line ends in single-byte text told again without those inside
// a quote's pairs: a spreadsheet ends its rows with CR LF and the lines of
// a cell with LF alone. The choice stays mixed without a quote.
line_terminator settle_mixed_ends(byte_span text, std::optional<unsigned char> quote, bool at_end);

#endif
