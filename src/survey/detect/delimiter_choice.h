// Which byte separates the fields of text records, and which quotes them:
// the one that splits the records most consistently into one number of
// fields.
#ifndef KORVALEN_DELIMITER_CHOICE_H
#define KORVALEN_DELIMITER_CHOICE_H

#include "../base/field_split.h"

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

// The quote that opens and closes fields of lines: a quote at a field's
// start that a matching one closes at its end, or none.
std::optional<unsigned char> choose_quote(const std::vector<std::string_view>& lines);

// Joins lines whose quoted stretch is still open at their end with the
// lines that close it: the records of lines.
std::vector<std::string_view> join_quoted_lines(std::string_view text,
                                                const std::vector<std::string_view>& lines,
                                                std::optional<unsigned char> quote);

struct delimiter_guess {
    std::optional<field_rule> rule;
    // The usual number of fields, and the share of records that have it.
    std::uint32_t fields = 0;
    double consistency = 0;
    // The share of records with the usual number of fields.
    double usual_share = 0;
};

delimiter_guess choose_delimiter(const std::vector<std::string_view>& records,
                                 std::optional<unsigned char> quote);

#endif
