#include "field_split.h"

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

// Where the first delimiter or quote at or after from lies, record.size()
// if none: eight bytes at a time, as fields are short and a call to the
// library for each would cost more than the field.
std::size_t next_special(std::string_view record, std::size_t from, unsigned char delimiter,
                         unsigned char quote)
{
    std::size_t at = from;
    for (; at + sizeof(std::uint64_t) <= record.size(); at += sizeof(std::uint64_t)) {
        std::uint64_t word;
        std::memcpy(&word, record.data() + at, sizeof word);
        std::uint64_t special = bytes_equal(word, delimiter) | bytes_equal(word, quote);
        if (special == 0)
            continue;
        if constexpr (std::endian::native == std::endian::little)
            return at + static_cast<std::size_t>(std::countr_zero(special)) / 8;
        else
            return at + static_cast<std::size_t>(std::countl_zero(special)) / 8;
    }
    for (; at < record.size(); at++) {
        unsigned char byte = static_cast<unsigned char>(record[at]);
        if (byte == delimiter || byte == quote)
            return at;
    }
    return record.size();
}

// A delimiter other than the blank, in its own loop: a field starts after
// each delimiter outside quotes, and a record holds one field more than
// such delimiters. Without a quote the delimiter stands in for it.
template <typename Visit>
void visit_delimited(std::string_view record, unsigned char delimiter,
                     std::optional<unsigned char> quote, Visit visit)
{
    bool quoted = false;
    std::size_t start = 0;
    unsigned char special = quote.value_or(delimiter);
    for (std::size_t at = next_special(record, 0, delimiter, special); at < record.size();
         at = next_special(record, at + 1, delimiter, special)) {
        if (quote && static_cast<unsigned char>(record[at]) == *quote) {
            quoted = !quoted;
        } else if (!quoted) {
            visit(record.substr(start, at - start));
            start = at + 1;
        }
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
    bool quoted = false;
    for (char byte : text) {
        if (static_cast<unsigned char>(byte) == *quote)
            quoted = !quoted;
    }
    return quoted;
}
