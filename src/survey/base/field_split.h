// Fields of a delimited record: split at the delimiter where it stands
// outside quotes. Space-separated records are the exception: a run of
// blanks separates two fields, and blanks at either end separate none.
#ifndef KORVALEN_FIELD_SPLIT_H
#define KORVALEN_FIELD_SPLIT_H

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

struct field_rule {
    unsigned char delimiter;
    std::optional<unsigned char> quote;
};

// A quote opens and closes a quoted stretch wherever it stands; a doubled
// quote inside one closes and opens it again, and so stays inside.
std::uint32_t count_fields(std::string_view record, const field_rule& rule);

std::vector<std::string_view> split_fields(std::string_view record, const field_rule& rule);

// Whether a quoted stretch is still open at the end of text.
bool ends_inside_quotes(std::string_view text, std::optional<unsigned char> quote);

#endif
