// Fields of a delimited record: split at the delimiter where it stands
// outside quotes. Space-separated records are the exception: a run of
// blanks separates two fields, and blanks at either end separate none.
#ifndef KORVALEN_FIELD_SPLIT_H
#define KORVALEN_FIELD_SPLIT_H

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

// The bytes that may delimit fields, for the step that chooses one and for
// whatever names them. Delimiters that exports use, most usual first; a
// tie between two goes to the earlier.
inline constexpr unsigned char USUAL_DELIMITERS[] = {',', '\t', ';', '|', ':', ' '};
// Other bytes that separate fields in some files and seldom stand inside a
// value: ASCII's separators and the caret and tilde of some exports. Other
// punctuation ('=', '&', '*', '>', '_') splits text alike by chance far
// more often than a file uses it for fields: in the corpora, every plain
// text it was chosen for had no delimiter or another one (messages with
// their own separators state them, and are read as typed records).
inline constexpr unsigned char OTHER_DELIMITERS[] = {'^',  '~',  0x01, 0x02, 0x1C,
                                                     0x1D, 0x1E, 0x1F, 0x7F};

struct field_rule {
    unsigned char delimiter;
    std::optional<unsigned char> quote;
};

// A quote opens and closes a quoted stretch wherever it stands; a doubled
// quote inside one closes and opens it again, and so stays inside.
std::uint32_t count_fields(std::string_view record, const field_rule& rule);

std::vector<std::string_view> split_fields(std::string_view record, const field_rule& rule);

// The same fields added to the end of fields, for a table of many records
// kept in one vector.
void append_fields(std::string_view record, const field_rule& rule,
                   std::vector<std::string_view>& fields);

// A value without the blanks (spaces, tabs) around it.
std::string_view trimmed_value(std::string_view value);

// The fields' values, as a column holds them, added to the end of values:
// without blanks around them and, where a quote opens and closes one,
// without those quotes and the blanks inside them. A doubled quote inside
// stays doubled: the value is only looked at, and a quote makes it text.
void append_values(std::string_view record, const field_rule& rule,
                   std::vector<std::string_view>& values);

// The same for each of records, which lie in order in one text: the
// values of record r end at row_ends[r] (added to its end), a block of the
// text marked at once across records, not a record at a time.
void append_values_of_records(const std::vector<std::string_view>& records, const field_rule& rule,
                              std::vector<std::string_view>& values,
                              std::vector<std::size_t>& row_ends);

// Whether a quoted stretch is still open at the end of text.
bool ends_inside_quotes(std::string_view text, std::optional<unsigned char> quote);

#endif
