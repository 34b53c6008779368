#include "terminator_choice.h"

namespace
{

// A stray line end of another kind is an anomaly of one record, which
// --verify reports; one line in this many ending otherwise, and at least
// two of them, is a file written by two programs.
constexpr std::uint64_t MIXED_ONE_IN = 20;
constexpr std::uint64_t FEWEST_OTHER_FOR_MIXED = 2;

} // namespace

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
