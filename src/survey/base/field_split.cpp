#include "field_split.h"

#include "byte_kernels.h"

#include <algorithm>
#include <bit>

namespace
{

bool is_blank(char byte)
{
    return byte == ' ' || byte == '\t';
}

// A delimiter other than the blank, in its own loop: a field starts after
// each delimiter outside quotes, and a record holds one field more than
// such delimiters. Without a quote the delimiter stands in for it. The
// delimiters and quotes are marked a block of the record at a time by the
// widest kernel, as fields are short and a search for each would cost
// more than the field.
template <typename Visit>
void visit_delimited(std::string_view record, unsigned char delimiter,
                     std::optional<unsigned char> quote, Visit visit)
{
    constexpr std::size_t BLOCK = 64;
    static const either_marks_kernel mark_either = usable_byte_kernels().back().either_marks;
    bool quoted = false;
    std::size_t start = 0;
    unsigned char special = quote.value_or(delimiter);
    const unsigned char* bytes = reinterpret_cast<const unsigned char*>(record.data());
    for (std::size_t block = 0; block < record.size(); block += BLOCK) {
        std::uint64_t marks =
            mark_either(bytes + block, std::min(BLOCK, record.size() - block), delimiter, special);
        for (; marks != 0; marks &= marks - 1) {
            std::size_t at = block + static_cast<std::size_t>(std::countr_zero(marks));
            if (quote && bytes[at] == *quote) {
                quoted = !quoted;
            } else if (!quoted) {
                visit(std::string_view(record.data() + start, at - start));
                start = at + 1;
            }
        }
    }
    visit(std::string_view(record.data() + start, record.size() - start));
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

// Gathered in a buffer the thread keeps, then copied out at their size:
// a vector grown field by field would allocate again at each doubling,
// and the steps split hundreds of records so.
std::vector<std::string_view> split_fields(std::string_view record, const field_rule& rule)
{
    thread_local std::vector<std::string_view> gathered;
    gathered.clear();
    append_fields(record, rule, gathered);
    return {gathered.begin(), gathered.end()};
}

// Written out: a search for any of a set of bytes calls the library at
// every byte, and every value of the sample is trimmed.
std::string_view trimmed_value(std::string_view value)
{
    // Most values have nothing to trim: asked of their ends at once, and
    // an end past the blank in the code table is no blank.
    if (value.empty())
        return {};
    if (static_cast<unsigned char>(value.front()) > ' ' &&
        static_cast<unsigned char>(value.back()) > ' ')
        return value;
    if (!is_blank(value.front()) && !is_blank(value.back()))
        return value;
    std::size_t first = 0, end = value.size();
    while (first < end && is_blank(value[first]))
        first++;
    if (first == end)
        return {};
    while (is_blank(value[end - 1]))
        end--;
    return value.substr(first, end - first);
}

void append_fields(std::string_view record, const field_rule& rule,
                   std::vector<std::string_view>& fields)
{
    visit_fields(record, rule, [&](std::string_view field) { fields.push_back(field); });
}

namespace
{

std::string_view unquoted_value(std::string_view value, std::optional<unsigned char> quote)
{
    value = trimmed_value(value);
    if (quote && value.size() >= 2 && static_cast<unsigned char>(value.front()) == *quote &&
        static_cast<unsigned char>(value.back()) == *quote)
        return trimmed_value(value.substr(1, value.size() - 2));
    return value;
}

} // namespace

// Each value made as its field is found, not in a second pass over the
// fields, and all of it inline: the sample's fields are a million.
[[gnu::flatten]] void append_values(std::string_view record, const field_rule& rule,
                                    std::vector<std::string_view>& values)
{
    visit_fields(record, rule, [&](std::string_view field) {
        values.push_back(unquoted_value(field, rule.quote));
    });
}

// Records are mostly shorter than a block: marked one by one, each would
// cost a call of the kernel and its setting up, for a few fields. The
// marks are made a block at a time from where a record starts, the block
// running on over the records after it (and the lines between).
[[gnu::flatten]] void append_values_of_records(const std::vector<std::string_view>& records,
                                               const field_rule& rule,
                                               std::vector<std::string_view>& values,
                                               std::vector<std::size_t>& row_ends)
{
    if (rule.delimiter == ' ' || records.empty()) {
        for (std::string_view record : records) {
            append_values(record, rule, values);
            row_ends.push_back(values.size());
        }
        return;
    }
    constexpr std::size_t BLOCK = 64;
    static const either_marks_kernel mark_either = usable_byte_kernels().back().either_marks;
    const std::optional<unsigned char> quote = rule.quote;
    const unsigned char delimiter = rule.delimiter;
    const unsigned char special = quote.value_or(delimiter);
    const char* last_end = records.back().data() + records.back().size();
    const char* block = records.front().data(); // where the marks start
    std::size_t block_size = 0;
    std::uint64_t block_marks = 0;
    for (std::string_view record : records) {
        const char* at = record.data();
        const char* end = at + record.size();
        const char* start = at;
        bool quoted = false;
        while (at < end) {
            if (at < block || at >= block + block_size) {
                block = at;
                block_size = std::min(BLOCK, static_cast<std::size_t>(last_end - at));
                block_marks = mark_either(reinterpret_cast<const unsigned char*>(at), block_size,
                                          delimiter, special);
            }
            std::size_t from = static_cast<std::size_t>(at - block);
            std::size_t to = std::min(block_size, static_cast<std::size_t>(end - block));
            std::uint64_t marks = block_marks >> from;
            if (to - from < BLOCK)
                marks &= (std::uint64_t{1} << (to - from)) - 1;
            for (; marks != 0; marks &= marks - 1) {
                const char* mark = at + std::countr_zero(marks);
                if (quote && static_cast<unsigned char>(*mark) == *quote) {
                    quoted = !quoted;
                } else if (!quoted) {
                    values.push_back(unquoted_value(
                        std::string_view(start, static_cast<std::size_t>(mark - start)), quote));
                    start = mark + 1;
                }
            }
            at = block + to;
        }
        values.push_back(
            unquoted_value(std::string_view(start, static_cast<std::size_t>(end - start)), quote));
        row_ends.push_back(values.size());
    }
}

bool ends_inside_quotes(std::string_view text, std::optional<unsigned char> quote)
{
    if (!quote)
        return false;
    // Counted, not toggled byte by byte: a count the compiler takes many
    // bytes a step.
    return std::count(text.begin(), text.end(), static_cast<char>(*quote)) % 2 != 0;
}
