#include "field_split.h"

namespace
{

bool is_blank(char byte)
{
    return byte == ' ' || byte == '\t';
}

// A delimiter other than the blank, in its own loop: a field starts after
// each delimiter outside quotes, and a record holds one field more than
// such delimiters. The quote is a byte no record holds where there is none.
template <typename Visit>
void visit_delimited(std::string_view record, unsigned char delimiter, int quote, Visit visit)
{
    bool quoted = false;
    std::size_t start = 0;
    const char* bytes = record.data();
    for (std::size_t at = 0; at < record.size(); at++) {
        int byte = static_cast<unsigned char>(bytes[at]);
        if (byte == quote) {
            quoted = !quoted;
        } else if (byte == delimiter && !quoted) {
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
        visit_delimited(record, rule.delimiter, rule.quote ? *rule.quote : -1, visit);
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
