// Sectors and blocks of one size whose contents stop short and are padded
// with zero bytes to the sector's end: disc images, archives of blocks,
// files written a block at a time.
#ifndef KORVALEN_SECTOR_PADDING_H
#define KORVALEN_SECTOR_PADDING_H

#include "../base/file_sample.h"

#include <cstdint>

struct sector_guess {
    std::uint32_t length = 0; // 0: no sectors found
    // The share of sector starts that follow zero padding.
    double strength = 0;
};

// The sector size at which the runs of zero bytes in bytes (which start at
// a sector's start, offset in the file) end, when enough of them do.
sector_guess find_padded_sectors(byte_span bytes, std::uint64_t offset);

#endif
