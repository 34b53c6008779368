#include "sector_padding.h"

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

} // namespace

sector_guess find_padded_sectors(byte_span bytes, std::uint64_t offset)
{
    sector_guess none;
    // Every run of padding ends at a sector start: their greatest common
    // divisor is the sector, or a multiple of it.
    std::uint64_t sector = 0;
    std::size_t padded = 0, run = 0;
    for (std::size_t at = 0; at < bytes.size(); at++) {
        if (bytes[at] == 0) {
            run++;
            continue;
        }
        if (run >= SHORTEST_PADDING && run < at) {
            sector = std::gcd(sector, offset + at);
            padded++;
        }
        run = 0;
    }
    if (padded < FEWEST_PADDED || sector < SHORTEST_SECTOR || sector > LONGEST_SECTOR)
        return none;
    std::uint64_t starts = (offset + bytes.size()) / sector - (offset + sector - 1) / sector;
    if (starts == 0)
        return none;
    double share = static_cast<double>(padded) / static_cast<double>(starts);
    return {static_cast<std::uint32_t>(sector), share > 1 ? 1 : share};
}
