#include "sector_padding.h"

#include <bit>
#include <cstring>
#include <numeric>

namespace
{

// Zero bytes in a row this long are padding, not a value that happens to
// be zero.
constexpr std::size_t SHORTEST_PADDING = 16;
// Sectors are at least this long (the smallest disc sector), and padding
// must end at this many sector starts before it counts.
constexpr std::uint64_t SHORTEST_SECTOR = 256;
constexpr std::uint64_t LONGEST_SECTOR = std::uint64_t{1} << 16;
constexpr std::size_t FEWEST_PADDED = 4;

// A run of SHORTEST_PADDING zeros holds a whole word of them at a word's
// boundary: the bytes are passed over a word at a time until one is all
// zero, and only there is the run measured byte by byte.
static_assert(SHORTEST_PADDING >= 2 * sizeof(std::uint64_t) - 1);

constexpr std::size_t WORD = sizeof(std::uint64_t);

std::uint64_t word_at(byte_span bytes, std::size_t at)
{
    std::uint64_t word;
    std::memcpy(&word, bytes.data() + at, WORD);
    return word;
}

// Where the next word of zeros starting at a multiple of its size lies,
// from at on; the end of the bytes if none.
std::size_t next_zero_word(byte_span bytes, std::size_t at)
{
    at = (at + WORD - 1) / WORD * WORD;
    for (; at + WORD <= bytes.size(); at += WORD) {
        if (word_at(bytes, at) == 0)
            return at;
    }
    return bytes.size();
}

// Where the run of zeros from at ends: padding runs long, and is passed
// over a word at a time.
std::size_t end_of_zeros(byte_span bytes, std::size_t at)
{
    while (at + WORD <= bytes.size() && word_at(bytes, at) == 0)
        at += WORD;
    while (at < bytes.size() && bytes[at] == 0)
        at++;
    return at;
}

// Where the run of zeros up to at starts: its last bytes before a word
// of zeros lie in one word, the zeros at that word's end counted at once.
std::size_t start_of_zeros(byte_span bytes, std::size_t at)
{
    for (; at >= WORD; at -= WORD) {
        std::uint64_t word = word_at(bytes, at - WORD);
        if (word == 0)
            continue;
        int zero_bits = std::endian::native == std::endian::little ? std::countl_zero(word)
                                                                   : std::countr_zero(word);
        return at - static_cast<std::size_t>(zero_bits) / 8;
    }
    while (at > 0 && bytes[at - 1] == 0)
        at--;
    return at;
}

// Padding ends at a multiple of the sector found so far most of the time:
// one division tells, where working the divisor out again takes many.
std::uint64_t common_divisor(std::uint64_t sector, std::uint64_t end)
{
    if (sector != 0 && end % sector == 0)
        return sector;
    return std::gcd(sector, end);
}

} // namespace

sector_guess find_padded_sectors(byte_span bytes, std::uint64_t offset)
{
    sector_guess none;
    // Every run of padding ends at a sector start: their greatest common
    // divisor is the sector, or a multiple of it. A run at the very start
    // or the very end of the bytes may go on beyond them, and is not
    // counted.
    std::uint64_t sector = 0;
    std::size_t padded = 0;
    for (std::size_t at = next_zero_word(bytes, 0); at < bytes.size();) {
        std::size_t start = start_of_zeros(bytes, at);
        std::size_t end = end_of_zeros(bytes, at);
        if (end - start >= SHORTEST_PADDING && start > 0 && end < bytes.size()) {
            sector = common_divisor(sector, offset + end);
            padded++;
        }
        at = next_zero_word(bytes, end);
    }
    if (padded < FEWEST_PADDED || sector < SHORTEST_SECTOR || sector > LONGEST_SECTOR)
        return none;
    std::uint64_t starts = (offset + bytes.size()) / sector - (offset + sector - 1) / sector;
    if (starts == 0)
        return none;
    double share = static_cast<double>(padded) / static_cast<double>(starts);
    return {static_cast<std::uint32_t>(sector), share > 1 ? 1 : share};
}
