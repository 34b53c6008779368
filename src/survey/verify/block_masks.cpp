#include "block_masks.h"

#include <bit>

// The portable kernels: plain C++, for every processor.
namespace portable
{
namespace
{

void find_block(const unsigned char* block, const block_targets& targets, block_masks& masks)
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

unsigned ones(std::uint64_t bits)
{
    return bits_set(bits);
}

constexpr bool CAN_GATHER = false;

[[maybe_unused]] std::uint64_t gather(std::uint64_t bits, std::uint64_t mask)
{
    return gather_one_by_one(bits, mask);
}

const class_sets& lookup_of(const class_sets& classes)
{
    return classes;
}

std::uint64_t misses_in(const unsigned char* block, const profile_lanes& lanes,
                        const class_sets& classes)
{
    return portable_misses(block, lanes, classes);
}

#include "block_kernels_body.h"

} // namespace
} // namespace portable

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
    return portable::kernels_of("portable", false);
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
