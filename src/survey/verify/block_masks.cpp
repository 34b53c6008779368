#include "block_masks.h"

#include <bit>

// Adds the wide kernels this processor runs, narrowest first, from the one
// unit that holds processor-specific code.
void processor_kernels(std::vector<block_kernels>& kernels);

namespace
{

void find_in_block(const unsigned char* block, const block_targets& targets, block_masks& masks)
{
    masks = {};
    for (unsigned i = 0; i < BLOCK_SIZE; i++) {
        std::uint64_t bit = std::uint64_t{1} << i;
        unsigned char byte = block[i];
        masks.line_end |= byte == targets.line_end ? bit : 0;
        masks.carriage_return |= byte == targets.carriage_return ? bit : 0;
        masks.delimiter |= byte == targets.delimiter ? bit : 0;
        masks.quote |= byte == targets.quote ? bit : 0;
    }
    masks.quoted = prefix_xor(masks.quote);
}

void find_portable(const unsigned char* bytes, std::size_t blocks, const block_targets& targets,
                   block_masks* masks)
{
    for (std::size_t i = 0; i < blocks; i++)
        find_in_block(bytes + i * BLOCK_SIZE, targets, masks[i]);
}

std::uint64_t profile_misses_portable(const unsigned char* block, const profile_lanes& lanes,
                                      const class_sets& classes)
{
    std::uint64_t misses = 0;
    for (unsigned i = 0; i < BLOCK_SIZE; i++) {
        unsigned char byte = block[i];
        bool allowed = (classes.table[byte] & lanes.allowed[i]) != 0;
        bool equal = ((byte ^ lanes.value[i]) & lanes.care[i]) == 0;
        misses |= allowed && equal ? 0 : std::uint64_t{1} << i;
    }
    return misses;
}

void fixed_misses_portable(const unsigned char* bytes, std::size_t blocks,
                           const profile_lanes& lanes, std::uint64_t phase,
                           std::uint64_t record_length, const class_sets& classes,
                           std::uint64_t* misses)
{
    for (std::size_t i = 0; i < blocks; i++) {
        profile_lanes at{lanes.allowed + phase, lanes.value + phase, lanes.care + phase};
        misses[i] = profile_misses_portable(bytes + i * BLOCK_SIZE, at, classes);
        phase = phase_after(phase, BLOCK_SIZE, record_length);
    }
}

unsigned count_between_portable(std::uint64_t starts, std::uint64_t marks, unsigned char* counts)
{
    unsigned count = 0;
    while (starts != 0) {
        std::uint64_t below = (starts & -starts) - 1;
        counts[count++] = static_cast<unsigned char>(bits_set(marks & below));
        marks &= ~below;
        starts &= starts - 1;
    }
    counts[count] = static_cast<unsigned char>(bits_set(marks));
    return count;
}

// The ends and delimiters in order, as bits: 1 for an end, 0 for a
// delimiter.
bool fields_fit_portable(std::uint64_t ends, std::uint64_t delimiters,
                         const std::uint64_t* patterns, std::uint64_t& carried)
{
    std::uint64_t events = ends | delimiters, order = 0;
    unsigned count = 0;
    for (; events != 0; events &= events - 1, count++)
        order |= (ends & events & -events) != 0 ? std::uint64_t{1} << count : 0;
    std::uint64_t expected =
        patterns[carried] & (count >= 64 ? ~std::uint64_t{0} : (std::uint64_t{1} << count) - 1);
    if (order != expected)
        return false;
    carried = order == 0 ? carried + count : count - 1 - (63 - __builtin_clzll(order));
    return true;
}

// One block of lines, taken whole when each record that ends in it fits.
bool pass_block(const block_masks& masks, const line_scan_rules& rules, line_scan_state& state,
                std::uint64_t& starts)
{
    std::uint64_t inside = rules.find_quote ? masks.quoted ^ (0 - state.quote_open) : 0;
    std::uint64_t line_ends = masks.line_end & ~inside;
    std::uint64_t returns = rules.find_carriage_return ? masks.carriage_return & ~inside : 0;
    std::uint64_t pairs = line_ends & (returns << 1 | state.after_carriage_return);
    std::uint64_t after_line_end = line_ends << 1 | state.after_line_end;
    std::uint64_t after_pair = pairs << 1 | state.after_crlf;
    std::uint64_t lone_returns = (returns << 1 | state.after_carriage_return) & ~masks.line_end;
    starts = after_line_end | lone_returns;
    std::uint64_t wrong_ends = rules.ends == line_end_rule::line_end ? after_pair | lone_returns
                               : rules.ends == line_end_rule::crlf
                                   ? (after_line_end & ~after_pair) | lone_returns
                               : rules.ends == line_end_rule::carriage_return ? after_line_end
                                                                              : 0;
    if ((starts & wrong_ends) != 0)
        return false;
    std::uint64_t carried = state.delimiters;
    if (rules.fields > 0) {
        // A start may share its lane with the next record's delimiter; the
        // byte before it, the line end, never does.
        std::uint64_t delimiters = masks.delimiter & ~inside;
        std::uint64_t later_starts = starts;
        if (starts & 1) {
            if (carried + 1 != rules.fields)
                return false;
            carried = 0;
            later_starts &= ~std::uint64_t{1};
        }
        std::uint64_t ends = later_starts >> 1;
        if (carried >= rules.fields || (ends & delimiters) != 0 ||
            !fields_fit_portable(ends, delimiters, rules.patterns, carried))
            return false;
    }
    state.delimiters = carried;
    state.quote_open = inside >> 63;
    state.after_line_end = line_ends >> 63;
    state.after_carriage_return = returns >> 63;
    state.after_crlf = pairs >> 63;
    state.records += bits_set(starts);
    return true;
}

std::size_t scan_lines_portable(const unsigned char* bytes, std::size_t blocks,
                                const line_scan_rules& rules, line_scan_state& state)
{
    for (std::size_t i = 0; i < blocks; i++) {
        block_masks masks;
        find_in_block(bytes + i * BLOCK_SIZE, rules.targets, masks);
        std::uint64_t starts;
        if (!pass_block(masks, rules, state, starts))
            return i;
        if (starts != 0) {
            state.last_start =
                i * BLOCK_SIZE + 63u - static_cast<unsigned>(__builtin_clzll(starts));
            state.started = true;
        }
    }
    return blocks;
}

} // namespace

std::vector<std::uint64_t> field_patterns(std::uint32_t fields)
{
    std::vector<std::uint64_t> patterns(fields);
    for (std::uint32_t carried = 0; carried < fields; carried++) {
        for (std::uint32_t bit = fields - 1 - carried; bit < 64; bit += fields)
            patterns[carried] |= std::uint64_t{1} << bit;
    }
    return patterns;
}

class_sets class_sets_of(const byte_class_table& table)
{
    class_sets sets{};
    sets.table = table;
    sets.one_class_per_byte = true;
    for (unsigned byte = 0; byte < 256; byte++) {
        if (!std::has_single_bit(table[byte])) {
            sets.one_class_per_byte = false;
            continue;
        }
        unsigned number = static_cast<unsigned>(std::countr_zero(table[byte]));
        unsigned high = byte >> 4, low = byte & 15;
        for (unsigned bit = 0; bit < 3; bit++) {
            if (number >> bit & 1)
                sets.rows[bit][high >> 3][low] |= static_cast<unsigned char>(1 << (high & 7));
        }
    }
    return sets;
}

block_kernels portable_kernels()
{
    return {find_portable,
            profile_misses_portable,
            fixed_misses_portable,
            count_between_portable,
            fields_fit_portable,
            scan_lines_portable,
            "portable"};
}

const std::vector<block_kernels>& usable_kernels()
{
    static const std::vector<block_kernels> usable = [] {
        std::vector<block_kernels> kernels{portable_kernels()};
        processor_kernels(kernels);
        return kernels;
    }();
    return usable;
}

block_kernels best_kernels()
{
    return usable_kernels().back();
}
