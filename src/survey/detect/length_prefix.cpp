#include "length_prefix.h"

#include "../base/prefix_chain.h"

#include "../base/small_math.h"

#include <algorithm>
#include <cmath>
#include <map>

namespace
{

// A chain of fewer records from the first byte to the last may be chance:
// two or three lengths read out of other data can land on the end.
constexpr std::uint64_t LEAST_CHAIN_RECORDS = 8;
// How unlikely the chain is from bytes that are no lengths, in bits: each
// length that stays within the rest of the file, each zero byte a
// descriptor word must hold and each repeated length is a test that
// arbitrary bytes would seldom pass. Bytes that are no lengths are far from
// uniform, so the bar is set well above what one sample could reach by
// chance; text read as 2-byte lengths in a file of megabytes passes none.
constexpr double LEAST_CHAIN_BITS = 64;
// A chain that breaks near the end still shows the layout, and --verify
// names the break: it must have walked this share of the bytes first.
constexpr double LEAST_SHARE_BEFORE_BREAK = 0.9;
// Bytes fed to a chain at once (a matter of speed alone).
constexpr std::size_t FED_AT_ONCE = 4096;

// The forms in the order that wins ties: blocks before the records they
// hold (a block descriptor reads as one long record), a record descriptor
// word before a plain 4-byte length, Fortran's repeated markers before a
// plain stream's.
constexpr length_prefix_form PREFIX_FORMS[] = {
    {4, 2, true, true, false, true},   // record descriptor words in blocks
    {4, 2, true, true, false, false},  // record descriptor words
    {4, 4, true, false, true, false},  // Fortran, big-endian
    {4, 4, false, false, true, false}, // Fortran, little-endian
    {4, 4, true, false, false, false}, // 4-byte lengths, big-endian
    {4, 4, false, false, false, false}, {2, 2, true, false, false, false}, // 2-byte lengths
    {2, 2, false, false, false, false},
};

std::uint64_t commonest(const std::vector<std::uint64_t>& lengths)
{
    std::map<std::uint64_t, std::uint64_t> counts;
    for (std::uint64_t length : lengths)
        counts[length]++;
    auto most = std::max_element(counts.begin(), counts.end(),
                                 [](const auto& a, const auto& b) { return a.second < b.second; });
    return most == counts.end() ? 0 : most->first;
}

bool is_record_descriptor(const length_prefix_form& form)
{
    return form.size == 4 && form.length_bytes == 2 && form.counts_itself && !form.blocks;
}

double log2_of(double x)
{
    return natural_log(x) / natural_log(2);
}

// The bits of evidence in a chain of records of these lengths from the
// start of a file of size bytes (none when unknown).
double chain_bits(const length_prefix_form& form, const std::vector<std::uint64_t>& lengths,
                  std::optional<std::uint64_t> size)
{
    double values = std::ldexp(1.0, static_cast<int>(8 * form.length_bytes));
    double per_record = 8.0 * (form.size - form.length_bytes);
    if (form.repeated_after)
        per_record += 8.0 * form.length_bytes;
    double bits = 0;
    std::uint64_t at = 0;
    for (std::uint64_t length : lengths) {
        bits += per_record;
        if (size && *size > at)
            bits += log2_of(values / std::min(values, static_cast<double>(*size - at)));
        at += form.size * (form.repeated_after ? 2 : 1) + length;
    }
    return bits;
}

// The walk of one form, when its chain holds and is long enough.
std::optional<prefix_walk> walk(const length_prefix_form& form, byte_span start,
                                bool start_is_whole_file, std::optional<std::uint64_t> size,
                                double least_share_before_break = LEAST_SHARE_BEFORE_BREAK)
{
    std::vector<std::uint64_t> lengths;
    prefix_chain chain(form, &lengths);
    // Fed a stretch at a time: an empty record settles it (below), and runs
    // of zeros read as nothing but empty records.
    for (std::size_t at = 0; at < start.size(); at += FED_AT_ONCE) {
        std::size_t checked = lengths.size();
        bool whole = chain.feed(start.subspan(at, std::min(FED_AT_ONCE, start.size() - at)));
        if (std::find(lengths.begin() + static_cast<std::ptrdiff_t>(checked), lengths.end(), 0) !=
            lengths.end())
            return std::nullopt;
        if (!whole)
            break;
    }
    chain.finish(start_is_whole_file);
    if (chain.records() < LEAST_CHAIN_RECORDS)
        return std::nullopt;
    if (chain.broken() && static_cast<double>(chain.record_start()) <
                              least_share_before_break * static_cast<double>(start.size()))
        return std::nullopt;
    auto [shortest, longest] = std::minmax_element(lengths.begin(), lengths.end());
    // Empty records are what zeros read as: a run of zero bytes chains.
    if (*shortest == 0 || chain_bits(form, lengths, size) < LEAST_CHAIN_BITS)
        return std::nullopt;
    return prefix_walk{form,
                       chain.records(),
                       chain.record_start(),
                       !chain.broken(),
                       *shortest,
                       commonest(lengths),
                       *longest};
}

} // namespace

length_prefix_choice find_length_prefix(byte_span start, bool start_is_whole_file,
                                        std::optional<std::uint64_t> file_size)
{
    length_prefix_choice result;
    for (const length_prefix_form& form : PREFIX_FORMS) {
        std::optional<prefix_walk> found =
            walk(form, start, start_is_whole_file, start_is_whole_file ? start.size() : file_size);
        double score = found ? static_cast<double>(found->records) : 0;
        result.candidates.push_back({form, score});
        if (found && (!result.choice || found->records > result.choice->records))
            result.choice = found;
    }
    // Blocks whose descriptor words chain to the end are blocks even where
    // a record inside one breaks: read as records, each block would pass
    // as one and hide the damage from --verify. The break is named there.
    if (result.choice && result.choice->whole && is_record_descriptor(result.choice->form)) {
        length_prefix_form blocked = result.choice->form;
        blocked.blocks = true;
        std::optional<prefix_walk> found = walk(blocked, start, start_is_whole_file,
                                                start_is_whole_file ? start.size() : file_size, 0);
        if (found && found->records > result.choice->records)
            result.choice = found;
    }
    return result;
}
