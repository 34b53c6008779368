#include "field_split.h"

#include <algorithm>
#include <bit>
#include <cstring>

namespace
{

bool is_blank(char byte)
{
    return byte == ' ' || byte == '\t';
}

constexpr std::uint64_t LOW_SEVEN_BITS = 0x7F7F7F7F7F7F7F7Fu;
constexpr std::uint64_t EVERY_BYTE = 0x0101010101010101u;

// 1 in each byte of word that equals byte, 0 in the others.
std::uint64_t bytes_equal(std::uint64_t word, unsigned char byte)
{
    std::uint64_t differ = word ^ (byte * EVERY_BYTE);
    return (~(((differ & LOW_SEVEN_BITS) + LOW_SEVEN_BITS) | differ) & ~LOW_SEVEN_BITS) >> 7;
}

// The lane of the first byte bytes_equal marked in a word.
unsigned first_lane(std::uint64_t marks)
{
    if constexpr (std::endian::native == std::endian::little)
        return static_cast<unsigned>(std::countr_zero(marks)) / 8;
    else
        return static_cast<unsigned>(std::countl_zero(marks)) / 8;
}

// The marks without the first one.
std::uint64_t after_first(std::uint64_t marks)
{
    if constexpr (std::endian::native == std::endian::little)
        return marks & (marks - 1);
    else
        return marks & ~(std::uint64_t{1} << (63 - std::countl_zero(marks)));
}

// A delimiter other than the blank, in its own loop: a field starts after
// each delimiter outside quotes, and a record holds one field more than
// such delimiters. Without a quote the delimiter stands in for it. The
// delimiters and quotes are found eight bytes at a time in one pass over
// the record, as fields are short and a search for each would cost more
// than the field.
template <typename Visit>
void visit_delimited(std::string_view record, unsigned char delimiter,
                     std::optional<unsigned char> quote, Visit visit)
{
    bool quoted = false;
    std::size_t start = 0;
    unsigned char special = quote.value_or(delimiter);
    auto take = [&](std::size_t at) {
        if (quote && static_cast<unsigned char>(record[at]) == *quote) {
            quoted = !quoted;
        } else if (!quoted) {
            visit(record.substr(start, at - start));
            start = at + 1;
        }
    };
    std::size_t at = 0;
    for (; at + sizeof(std::uint64_t) <= record.size(); at += sizeof(std::uint64_t)) {
        std::uint64_t word;
        std::memcpy(&word, record.data() + at, sizeof word);
        for (std::uint64_t marks = bytes_equal(word, delimiter) | bytes_equal(word, special);
             marks != 0; marks = after_first(marks))
            take(at + first_lane(marks));
    }
    for (; at < record.size(); at++) {
        unsigned char byte = static_cast<unsigned char>(record[at]);
        if (byte == delimiter || byte == special)
            take(at);
    }
    visit(record.substr(start));
}

template <typename Visit>
void visit_fields(std::string_view record, const field_rule& rule, Visit visit)
{
    if (rule.delimiter != ' ') {
        visit_delimited(record, rule.delimiter, rule.quote, visit);
        return;
    }
    bool quoted = false;
    std::size_t start = 0;
    bool in_field = false;
    for (std::size_t at = 0; at < record.size(); at++) {
        unsigned char byte = static_cast<unsigned char>(record[at]);
        if (rule.quote && byte == *rule.quote) {
            quoted = !quoted;
            if (!in_field) {
                start = at;
                in_field = true;
            }
            continue;
        }
        if (quoted)
            continue;
        if (is_blank(record[at]) && in_field) {
            visit(record.substr(start, at - start));
            in_field = false;
        } else if (!is_blank(record[at]) && !in_field) {
            start = at;
            in_field = true;
        }
    }
    if (in_field)
        visit(record.substr(start));
}

} // namespace

std::uint32_t count_fields(std::string_view record, const field_rule& rule)
{
    std::uint32_t count = 0;
    visit_fields(record, rule, [&](std::string_view) { count++; });
    return count;
}

std::vector<std::string_view> split_fields(std::string_view record, const field_rule& rule)
{
    std::vector<std::string_view> fields;
    append_fields(record, rule, fields);
    return fields;
}

void append_fields(std::string_view record, const field_rule& rule,
                   std::vector<std::string_view>& fields)
{
    visit_fields(record, rule, [&](std::string_view field) { fields.push_back(field); });
}

bool ends_inside_quotes(std::string_view text, std::optional<unsigned char> quote)
{
    if (!quote)
        return false;
    // Counted, not toggled byte by byte: a count the compiler takes many
    // bytes a step.
    return std::count(text.begin(), text.end(), static_cast<char>(*quote)) % 2 != 0;
}
