// Which byte separates the fields of text records and which quotes them,
// weighed together: a quote decides which lines join into one record and
// which delimiters stand inside fields, so each delimiter is scored with
// each quote by how consistently the pair splits the records into one
// number of fields.
#ifndef KORVALEN_DELIMITER_CHOICE_H
#define KORVALEN_DELIMITER_CHOICE_H

#include "../base/field_split.h"
#include "detect_step.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

// Blanks that split this share of the records into the usual number of
// values separate fields however they are padded; fewer are padding
// between aligned values (or a table behind a preamble).
inline constexpr double CONSISTENT_BLANKS = 0.9;
// Text with one line in this many indented is program source.
inline constexpr std::size_t INDENTED_ONE_IN = 5;

struct delimiter_quote {
    unsigned char delimiter;
    std::optional<unsigned char> quote;
    // The usual number of fields, and the share of records that have it.
    std::uint32_t fields;
    double usual_share;
};

struct delimiter_choice {
    // The quotes weighed, each with the fields it opens and closes at a
    // field's edges, the one that does so most first; no quote last.
    std::vector<scored<std::optional<unsigned char>>> quotes;
    // Every pair weighed, scored by the share of records it splits into
    // the usual number of fields (a field or two off counting half).
    std::vector<scored<delimiter_quote>> candidates;
    // The best delimiter with the first quote, unless another quote's best
    // pair splits the records clearly better; none when no pair splits
    // them consistently.
    std::optional<scored<delimiter_quote>> choice;
    // Where the choice splits only a table between a preamble and closing
    // lines, the table's records, from the start of its first to the end
    // of its last; empty otherwise.
    std::string_view table;
};

// lines are the records' lines, views of one text in order, blank and
// comment lines among them.
delimiter_choice choose_delimiter_and_quote(const std::vector<std::string_view>& lines);

#endif
