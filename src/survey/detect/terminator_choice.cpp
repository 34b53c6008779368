#include "terminator_choice.h"

namespace
{

// A stray line end of another kind is an anomaly of one record, which
// --verify reports; one line in this many ending otherwise, and at least
// two of them, is a file written by two programs.
constexpr std::uint64_t MIXED_ONE_IN = 20;
constexpr std::uint64_t FEWEST_OTHER_FOR_MIXED = 2;

constexpr unsigned char CR = '\r', LF = '\n';

// The line ends of the text that stand outside a quote's pairs.
line_end_census ends_outside_quotes(byte_span text, unsigned char quote, bool at_end)
{
    line_end_census census;
    bool quoted = false;
    for (std::size_t at = 0; at < text.size(); at++) {
        unsigned char byte = text[at];
        if (byte == quote) {
            quoted = !quoted;
        } else if (quoted) {
            continue;
        } else if (byte == CR && at + 1 < text.size() && text[at + 1] == LF) {
            census.crlf++;
            at++;
        } else if (byte == CR && (at + 1 < text.size() || at_end)) {
            census.cr++;
        } else if (byte == LF) {
            census.lf++;
        }
    }
    return census;
}

} // namespace

line_terminator settle_mixed_ends(byte_span text, std::optional<unsigned char> quote, bool at_end)
{
    if (!quote)
        return line_terminator::mixed;
    return choose_terminator(ends_outside_quotes(text, *quote, at_end)).choice;
}

terminator_choice choose_terminator(const line_end_census& census)
{
    terminator_choice result;
    std::uint64_t total = total_line_ends(census);
    if (total == 0)
        return result;
    const scored<line_terminator> counts[] = {
        {line_terminator::crlf, static_cast<double>(census.crlf)},
        {line_terminator::lf, static_cast<double>(census.lf)},
        {line_terminator::cr, static_cast<double>(census.cr)},
        {line_terminator::nel, static_cast<double>(census.nel)}};
    scored<line_terminator> most = counts[0];
    for (const scored<line_terminator>& each : counts) {
        result.candidates.push_back({each.value, each.score / static_cast<double>(total)});
        if (each.score > most.score)
            most = each;
    }
    std::uint64_t others = total - static_cast<std::uint64_t>(most.score);
    result.choice = others * MIXED_ONE_IN >= total && others >= FEWEST_OTHER_FOR_MIXED
                        ? line_terminator::mixed
                        : most.value;
    return result;
}
