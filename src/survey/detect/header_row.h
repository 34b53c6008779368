// Whether the first record of delimited or fixed-width text names the
// columns rather than holding values.
#ifndef KORVALEN_HEADER_ROW_H
#define KORVALEN_HEADER_ROW_H

#include "detect_step.h"

#include <string_view>
#include <vector>

struct header_choice {
    // Names (true) scored by the typed columns whose first value is text,
    // values (false) by those whose first value is of the column's kind.
    // Without typed columns, names stand out among text by not recurring
    // and by lacking the digits their columns' values hold.
    std::vector<scored<bool>> candidates;
    bool choice = false;
};

// rows[0] is the first record's fields, the rest those of the records
// after it.
header_choice choose_header_row(const std::vector<std::vector<std::string_view>>& rows);

#endif
