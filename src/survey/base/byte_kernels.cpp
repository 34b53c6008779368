#include "byte_kernels.h"

#include <algorithm>
#include <bit>
#include <cstring>

// The portable kernels: plain C++, eight bytes at a time in one word.
namespace portable
{
namespace
{

constexpr std::size_t WIDTH = sizeof(std::uint64_t);
constexpr std::uint64_t LOW_SEVEN_BITS = 0x7F7F7F7F7F7F7F7Fu;
constexpr std::uint64_t EVERY_OTHER_BYTE = 0x00FF00FF00FF00FFu;

using lanes = std::uint64_t;

lanes zero()
{
    return 0;
}

std::uint64_t load(const unsigned char* at)
{
    std::uint64_t word;
    std::memcpy(&word, at, sizeof word);
    return word;
}

// 1 in each byte where the two words agree, 0 elsewhere.
lanes equal_marks(const unsigned char* first, const unsigned char* second)
{
    std::uint64_t differ = load(first) ^ load(second);
    return (~(((differ & LOW_SEVEN_BITS) + LOW_SEVEN_BITS) | differ) & ~LOW_SEVEN_BITS) >> 7;
}

lanes add_equal(lanes counters, const unsigned char* first, const unsigned char* second)
{
    return counters + equal_marks(first, second);
}

lanes marks_unless(lanes marks, lanes unless)
{
    return marks & ~unless;
}

// No counter reaches 256 (the caller's promise): no carry crosses a byte.
void add_marks(unsigned char* counters, lanes marks)
{
    std::uint64_t word = load(counters) + marks;
    std::memcpy(counters, &word, sizeof word);
}

void put(unsigned char* at, lanes counters)
{
    std::memcpy(at, &counters, sizeof counters);
}

void mark_unlike(unsigned char* marks, const unsigned char* first, const unsigned char* second)
{
    std::uint64_t word = load(marks) | (load(first) ^ load(second));
    std::memcpy(marks, &word, sizeof word);
}

std::uint64_t total(lanes counters)
{
    std::uint64_t pairs = (counters & EVERY_OTHER_BYTE) + (counters >> 8 & EVERY_OTHER_BYTE);
    return pairs * 0x0001000100010001u >> 48;
}

// The index of the first LF or CR of the eight bytes, 8 if none: 1 in
// each byte that is either, read in memory order.
std::size_t first_line_end(const unsigned char* at)
{
    constexpr std::uint64_t EVERY_BYTE = 0x0101010101010101u;
    auto zero_bytes = [](std::uint64_t word) {
        return (~(((word & LOW_SEVEN_BITS) + LOW_SEVEN_BITS) | word) & ~LOW_SEVEN_BITS) >> 7;
    };
    std::uint64_t word = load(at);
    std::uint64_t ends =
        zero_bytes(word ^ ('\n' * EVERY_BYTE)) | zero_bytes(word ^ ('\r' * EVERY_BYTE));
    if (ends == 0)
        return WIDTH;
    if constexpr (std::endian::native == std::endian::little)
        return static_cast<std::size_t>(std::countr_zero(ends)) / 8;
    else
        return static_cast<std::size_t>(std::countl_zero(ends)) / 8;
}

std::uint64_t word_either_mask(const unsigned char* at, unsigned char first, unsigned char second);

std::uint64_t either_mask(const unsigned char* at, unsigned char first, unsigned char second)
{
    return word_either_mask(at, first, second);
}

lanes load_lanes(const unsigned char* at)
{
    return load(at);
}

// 1 in each byte that is the value, as equal_marks gives.
lanes equal_to(lanes block, unsigned char value)
{
    std::uint64_t differ = block ^ (value * 0x0101010101010101u);
    return (~(((differ & LOW_SEVEN_BITS) + LOW_SEVEN_BITS) | differ) & ~LOW_SEVEN_BITS) >> 7;
}

lanes either_of(lanes first, lanes second)
{
    return first | second;
}

bool any_marked(lanes marks)
{
    return marks != 0;
}

std::size_t first_high_of(lanes block)
{
    std::uint64_t high = block & ~LOW_SEVEN_BITS;
    if (high == 0)
        return WIDTH;
    if constexpr (std::endian::native == std::endian::little)
        return static_cast<std::size_t>(std::countr_zero(high)) / 8;
    else
        return static_cast<std::size_t>(std::countl_zero(high)) / 8;
}

// Bit i set where byte i of the two words agrees, in memory order.
std::uint64_t equal_mask(const unsigned char* first, const unsigned char* second)
{
    if constexpr (std::endian::native != std::endian::little) {
        std::uint64_t mask = 0;
        for (std::size_t lane = 0; lane < WIDTH; lane++)
            mask |= std::uint64_t{first[lane] == second[lane]} << lane;
        return mask;
    }
    // Each lane's 1 carried to bit 56 + lane, no two products meeting.
    return equal_marks(first, second) * 0x0102040810204080u >> 56;
}

// A double at a time: the compiler runs the plain loop wider where the
// program's own instruction set allows.
constexpr std::size_t DOUBLES = 1;
using doubles = double;

double load_doubles(const double* at)
{
    return *at;
}

void store_doubles(double* at, double value)
{
    *at = value;
}

double times(double first, double second)
{
    return first * second;
}

double plus(double first, double second)
{
    return first + second;
}

double minus(double first, double second)
{
    return first - second;
}

double spread(double value)
{
    return value;
}

unsigned raise_doubles(double* best, double weighed)
{
    if (!(weighed > *best))
        return 0;
    *best = weighed;
    return 1;
}

using byte_map = const unsigned char*;

byte_map map_of(const unsigned char* table)
{
    return table;
}

void map_block(byte_map table, const unsigned char* bytes, unsigned char* out)
{
    for (std::size_t at = 0; at < WIDTH; at++)
        out[at] = table[bytes[at]];
}

#include "byte_kernels_body.h"

} // namespace
} // namespace portable

const std::vector<byte_kernels>& usable_byte_kernels()
{
    static const std::vector<byte_kernels> usable = [] {
        std::vector<byte_kernels> kernels{portable::kernels_of("portable")};
        processor_byte_kernels(kernels);
        return kernels;
    }();
    return usable;
}

std::uint64_t count_equal_bytes(const unsigned char* first, const unsigned char* second,
                                std::size_t count)
{
    static const count_equal_kernel chosen = usable_byte_kernels().back().count_equal;
    return chosen(first, second, count);
}

void tally_byte_pairs(const unsigned char* first, const unsigned char* second,
                      const unsigned char* first_classes, const unsigned char* second_classes,
                      std::size_t count, unsigned char* same, unsigned char* same_class)
{
    static const pair_tally_kernel chosen = usable_byte_kernels().back().tally_pairs;
    chosen(first, second, first_classes, second_classes, count, same, same_class);
}

void agree_byte_pairs(const unsigned char* first, const unsigned char* second,
                      const unsigned char* first_classes, const unsigned char* second_classes,
                      std::size_t count, unsigned char* agree)
{
    static const pair_agree_kernel chosen = usable_byte_kernels().back().agree_pairs;
    chosen(first, second, first_classes, second_classes, count, agree);
}

void mark_byte_differences(const unsigned char* first, const unsigned char* second,
                           std::size_t count, unsigned char* marks)
{
    static const difference_marks_kernel chosen = usable_byte_kernels().back().mark_differences;
    chosen(first, second, count, marks);
}

void fourier_pass(double* real, double* imag, std::size_t size, std::size_t half,
                  const double* turn_real, const double* turn_imag)
{
    static const fourier_pass_kernel chosen = usable_byte_kernels().back().fourier_pass;
    chosen(real, imag, size, half, turn_real, turn_imag);
}

std::size_t first_high_byte(const unsigned char* bytes, std::size_t count)
{
    static const first_high_kernel chosen = usable_byte_kernels().back().first_high;
    return chosen(bytes, count);
}

void raise_best_sums(const double* sums, std::size_t count, double offset, double less,
                     double* best, std::uint64_t* best_at, std::uint64_t first_at)
{
    static const best_raise_kernel chosen = usable_byte_kernels().back().raise_best;
    chosen(sums, count, offset, less, best, best_at, first_at);
}

void map_byte_values(const unsigned char* bytes, std::size_t count, const unsigned char* table,
                     unsigned char* out)
{
    static const byte_map_kernel chosen = usable_byte_kernels().back().map_bytes;
    chosen(bytes, count, table, out);
}

std::uint64_t count_spaced_changes(const unsigned char* bytes, std::size_t count,
                                   std::size_t stride)
{
    static const spaced_changes_kernel chosen = usable_byte_kernels().back().spaced_changes;
    return chosen(bytes, count, stride);
}

void and_mapped_records(const unsigned char* bytes, std::uint64_t records, std::size_t length,
                        const unsigned char* table, const unsigned char* taken,
                        unsigned char* kinds)
{
    static const mapped_and_kernel chosen = usable_byte_kernels().back().and_mapped;
    chosen(bytes, records, length, table, taken, kinds);
}

void mark_either_words(const unsigned char* bytes, std::size_t count, unsigned char first,
                       unsigned char second, std::uint64_t* words)
{
    static const either_words_kernel chosen = usable_byte_kernels().back().either_words;
    chosen(bytes, count, first, second, words);
}

std::array<std::uint64_t, 256> count_byte_values(const unsigned char* bytes, std::size_t count)
{
    // Four tables, so that a run of one value does not wait on its own
    // last count; 32-bit counts halve the tables, added up before they
    // could wrap.
    constexpr std::size_t TABLES = 4;
    constexpr std::size_t MOST_PER_ROUND = std::size_t{1} << 30;
    std::array<std::uint64_t, 256> counts{};
    std::array<std::array<std::uint32_t, 256>, TABLES> tables;
    for (std::size_t round = 0; round < count; round += MOST_PER_ROUND) {
        for (auto& table : tables)
            table.fill(0);
        const unsigned char* at = bytes + round;
        const unsigned char* end = at + std::min(count - round, MOST_PER_ROUND);
        for (; at + TABLES <= end; at += TABLES) {
            tables[0][at[0]]++;
            tables[1][at[1]]++;
            tables[2][at[2]]++;
            tables[3][at[3]]++;
        }
        for (; at < end; at++)
            tables[0][*at]++;
        for (std::size_t value = 0; value < counts.size(); value++)
            counts[value] += std::uint64_t{tables[0][value]} + tables[1][value] + tables[2][value] +
                             tables[3][value];
    }
    return counts;
}
