// The columns of fixed-width text: records of one length whose fields
// stand at the same byte offsets in every record.
#ifndef KORVALEN_TEXT_COLUMNS_H
#define KORVALEN_TEXT_COLUMNS_H

#include "../base/file_layout.h"
#include "detect_step.h"

#include <string_view>
#include <vector>

struct text_columns_choice {
    // Offsets where many records have a blank or change kind of byte,
    // scored by the share of records that do.
    std::vector<scored<std::uint32_t>> candidates;
    std::vector<column_span> choice;
};

// Columns where runs of blanks line up in every record, and where the kind
// of byte (letter, digit, blank) changes at the same offset in every
// record. Offsets count characters of the records as given.
text_columns_choice find_text_columns(const std::vector<std::string_view>& records);

#endif
