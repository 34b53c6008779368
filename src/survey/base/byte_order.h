// Unsigned words read from bytes in either byte order, a word at a time:
// the survey reads binary values of every width in both orders.
#ifndef KORVALEN_BYTE_ORDER_H
#define KORVALEN_BYTE_ORDER_H

#include <bit>
#include <cstdint>
#include <cstring>

inline std::uint16_t swapped(std::uint16_t word)
{
    return __builtin_bswap16(word);
}

inline std::uint32_t swapped(std::uint32_t word)
{
    return __builtin_bswap32(word);
}

inline std::uint64_t swapped(std::uint64_t word)
{
    return __builtin_bswap64(word);
}

// The Word at bytes, its first byte the most significant where big_endian.
template <typename Word> Word word_in_order(const unsigned char* bytes, bool big_endian)
{
    Word word;
    std::memcpy(&word, bytes, sizeof word);
    if (big_endian == (std::endian::native == std::endian::little))
        word = swapped(word);
    return word;
}

#endif
