#include "crc32.h"

#include <array>

namespace
{

constexpr std::uint32_t REVERSED_POLYNOMIAL = 0xEDB88320u;

constexpr std::array<std::uint32_t, 256> make_table()
{
    std::array<std::uint32_t, 256> table{};
    for (std::uint32_t byte = 0; byte < 256; byte++) {
        std::uint32_t remainder = byte;
        for (int bit = 0; bit < 8; bit++)
            remainder = remainder & 1 ? (remainder >> 1) ^ REVERSED_POLYNOMIAL : remainder >> 1;
        table[byte] = remainder;
    }
    return table;
}

constexpr std::array<std::uint32_t, 256> TABLE = make_table();

} // namespace

std::uint32_t crc32_of(const unsigned char* bytes, std::size_t count)
{
    std::uint32_t crc = 0xFFFFFFFFu;
    for (std::size_t i = 0; i < count; i++)
        crc = TABLE[(crc ^ bytes[i]) & 0xFF] ^ (crc >> 8);
    return crc ^ 0xFFFFFFFFu;
}
