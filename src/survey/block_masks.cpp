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
    return {find_portable, profile_misses_portable, count_between_portable, fields_fit_portable,
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
