#include "field_split.h"

#include "byte_kernels.h"

#include <algorithm>
#include <bit>
#include <memory>

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

namespace
{

// Bits set in the words, by hand: the plain instruction set has no
// popcount instruction, and the compiler's is a library call per word.
std::size_t bits_set(const std::uint64_t* words, std::size_t count_of_words)
{
    std::size_t count = 0;
    for (std::size_t at = 0; at < count_of_words; at++) {
        std::uint64_t bits = words[at];
        bits -= bits >> 1 & 0x5555555555555555u;
        bits = (bits & 0x3333333333333333u) + (bits >> 2 & 0x3333333333333333u);
        bits = (bits + (bits >> 4)) & 0x0F0F0F0F0F0F0F0Fu;
        count += static_cast<std::size_t>(bits * 0x0101010101010101u >> 56);
    }
    return count;
}

// The values of records from the marks of the whole text they lie in,
// written from out on; where the next value goes is returned. Without a
// quote every mark is a delimiter, and no mark is asked which it is.
template <bool QUOTED>
std::string_view* values_from_marks(const std::vector<std::string_view>& records,
                                    const field_rule& rule, const std::uint64_t* marks,
                                    std::string_view* out, std::vector<std::size_t>& row_ends,
                                    const std::string_view* values)
{
    constexpr std::size_t WORD = 64;
    const char* text = records.front().data();
    const unsigned char quote = rule.quote.value_or(0);
    for (std::string_view record : records) {
        const char* start = record.data();
        std::size_t from = static_cast<std::size_t>(start - text);
        std::size_t end = from + record.size();
        bool quoted = false;
        auto take = [&](std::size_t word, std::uint64_t bits) {
            for (; bits != 0; bits &= bits - 1) {
                const char* mark = text + word * WORD + std::countr_zero(bits);
                if constexpr (QUOTED) {
                    if (static_cast<unsigned char>(*mark) == quote) {
                        quoted = !quoted;
                        continue;
                    }
                    if (quoted)
                        continue;
                    *out++ = unquoted_value(
                        std::string_view(start, static_cast<std::size_t>(mark - start)), quote);
                } else {
                    *out++ = trimmed_value(
                        std::string_view(start, static_cast<std::size_t>(mark - start)));
                }
                start = mark + 1;
            }
        };
        // The word the record ends in is read even where no byte of the
        // record is in it: the marks have a word to spare at their end.
        std::size_t word = from / WORD, end_word = end / WORD;
        std::uint64_t bits = marks[word] & ~std::uint64_t{0} << from % WORD;
        for (; word < end_word; bits = marks[++word])
            take(word, bits);
        take(word, bits & ((std::uint64_t{1} << end % WORD) - 1));
        std::string_view last(start, static_cast<std::size_t>(text + end - start));
        if constexpr (QUOTED)
            *out++ = unquoted_value(last, quote);
        else
            *out++ = trimmed_value(last);
        // Added as found: made longer first, row_ends would be cleared
        // for nothing.
        row_ends.push_back(static_cast<std::size_t>(out - values));
    }
    return out;
}

} // namespace

// Records are mostly shorter than a block: marked one by one, each would
// cost a call of the kernel and its setting up, for a few fields. The
// text they lie in is marked at once, the lines between them too, and
// the values written where room for the most the marks allow was made:
// one per mark and one more per record.
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
    const char* text = records.front().data();
    std::size_t length =
        static_cast<std::size_t>(records.back().data() + records.back().size() - text);
    // Every word but the spare is written by the kernel: none is cleared
    // before, as a vector would clear them all.
    std::size_t words = (length + 63) / 64;
    std::unique_ptr<std::uint64_t[]> marks =
        std::make_unique_for_overwrite<std::uint64_t[]>(words + 1);
    marks[words] = 0;
    mark_either_words(reinterpret_cast<const unsigned char*>(text), length, rule.delimiter,
                      rule.quote.value_or(rule.delimiter), marks.get());
    std::size_t most = records.size() + bits_set(marks.get(), words);
    std::size_t kept = values.size();
    values.resize(kept + most);
    std::string_view* out = values.data() + kept;
    if (rule.quote)
        out = values_from_marks<true>(records, rule, marks.get(), out, row_ends, values.data());
    else
        out = values_from_marks<false>(records, rule, marks.get(), out, row_ends, values.data());
    values.resize(static_cast<std::size_t>(out - values.data()));
}

bool ends_inside_quotes(std::string_view text, std::optional<unsigned char> quote)
{
    if (!quote)
        return false;
    // Counted, not toggled byte by byte: a count the compiler takes many
    // bytes a step.
    return std::count(text.begin(), text.end(), static_cast<char>(*quote)) % 2 != 0;
}
