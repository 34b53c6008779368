#include "text_columns.h"

#include <algorithm>
#include <array>

namespace
{

enum column_kind { BLANK, LETTER, DIGIT, OTHER };

// A change of kind at the same offset in this share of the records marks
// a column's edge; a stray record does not hide it.
constexpr double EDGE_SHARE = 0.98;
constexpr std::size_t MOST_RECORDS_WEIGHED = 2000;
// Offsets that come this near to an edge are kept among the candidates,
// to show what a lower share would have split.
constexpr double NEAR_EDGE_SHARE = 0.9;

// Each byte's kind, in a table: the C library's tests cost a call for
// every byte of every record. Letters are those of the C locale, which
// the program keeps, and every byte from 0x80 on.
constexpr std::array<column_kind, 256> KINDS = [] {
    std::array<column_kind, 256> kinds{};
    for (unsigned c = 0; c < kinds.size(); c++) {
        bool letter = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c >= 0x80;
        kinds[c] = c == ' ' || c == '\t'  ? BLANK
                   : c >= '0' && c <= '9' ? DIGIT
                   : letter               ? LETTER
                                          : OTHER;
    }
    return kinds;
}();

column_kind kind_of(char byte)
{
    return KINDS[static_cast<unsigned char>(byte)];
}

bool kinds_differ(column_kind left, column_kind right)
{
    return left != right && left != OTHER && right != OTHER;
}

} // namespace

text_columns_choice find_text_columns(const std::vector<std::string_view>& records)
{
    text_columns_choice result;
    std::vector<column_span>& columns = result.choice;
    if (records.size() < 2)
        return result;
    std::size_t length = records[0].size();
    std::size_t weighed = std::min(records.size(), MOST_RECORDS_WEIGHED);
    std::vector<std::size_t> blanks(length, 0), changes(length, 0);
    // How often each kind starts at each offset where the kind changes.
    std::vector<std::array<std::size_t, 4>> starting(length, std::array<std::size_t, 4>{});
    for (std::size_t record = 0; record < weighed; record++) {
        std::string_view text = records[record];
        if (text.size() != length || length == 0)
            continue;
        // Each byte's kind looked up once, carried on as the kind before
        // the next.
        column_kind before = kind_of(text[0]);
        blanks[0] += before == BLANK;
        for (std::size_t at = 1; at < length; at++) {
            column_kind kind = kind_of(text[at]);
            blanks[at] += kind == BLANK;
            if (kinds_differ(before, kind)) {
                changes[at]++;
                starting[at][kind]++;
            }
            before = kind;
        }
    }
    auto share = [&](std::size_t count) { return static_cast<double>(count) / weighed; };
    std::size_t start = length;
    for (std::size_t at = 0; at <= length; at++) {
        bool separator = at == length || blanks[at] == weighed;
        // A field begins where every record changes to the same kind of
        // byte: a name's blank falls at any offset, a number's first digit
        // at one.
        double edge_share =
            at < length && at > 0
                ? std::min(share(changes[at]),
                           share(*std::max_element(starting[at].begin(), starting[at].end())))
                : 0;
        bool edge = edge_share >= EDGE_SHARE;
        double score = std::max(edge_share, at < length ? share(blanks[at]) : 0);
        if (at < length && score >= NEAR_EDGE_SHARE)
            result.candidates.push_back({static_cast<std::uint32_t>(at), score});
        if (start < length && (separator || edge)) {
            columns.push_back({static_cast<std::uint32_t>(start), static_cast<std::uint32_t>(at)});
            start = length;
        }
        if (!separator && start == length)
            start = at;
    }
    return result;
}
