#include "program_seal.h"

#include "crc32.h"

#include <cstring>

std::ptrdiff_t find_seal(const unsigned char* image, std::size_t size, const unsigned char* marker)
{
    std::ptrdiff_t found = -1;
    for (std::size_t at = 0; at + SEAL_SIZE <= size; at++) {
        if (image[at] != marker[0] || std::memcmp(image + at, marker, SEAL_MARKER_SIZE) != 0)
            continue;
        if (found >= 0)
            return -1;
        found = static_cast<std::ptrdiff_t>(at);
    }
    return found;
}

std::uint32_t checksum_for_seal(unsigned char* image, std::size_t size, std::size_t seal_at)
{
    std::uint32_t stored = checksum_in_seal(image, seal_at);
    write_checksum_in_seal(image, seal_at, 0);
    std::uint32_t checksum = crc32_of(image, size);
    write_checksum_in_seal(image, seal_at, stored);
    return checksum;
}

std::uint32_t checksum_in_seal(const unsigned char* image, std::size_t seal_at)
{
    const unsigned char* field = image + seal_at + SEAL_MARKER_SIZE;
    return std::uint32_t{field[0]} | std::uint32_t{field[1]} << 8 | std::uint32_t{field[2]} << 16 |
           std::uint32_t{field[3]} << 24;
}

void write_checksum_in_seal(unsigned char* image, std::size_t seal_at, std::uint32_t checksum)
{
    unsigned char* field = image + seal_at + SEAL_MARKER_SIZE;
    for (int i = 0; i < 4; i++)
        field[i] = static_cast<unsigned char>(checksum >> (8 * i));
}
