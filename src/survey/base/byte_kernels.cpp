#include "byte_kernels.h"

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
lanes add_equal(lanes counters, const unsigned char* first, const unsigned char* second)
{
    std::uint64_t differ = load(first) ^ load(second);
    return counters +
           ((~(((differ & LOW_SEVEN_BITS) + LOW_SEVEN_BITS) | differ) & ~LOW_SEVEN_BITS) >> 7);
}

std::uint64_t total(lanes counters)
{
    std::uint64_t pairs = (counters & EVERY_OTHER_BYTE) + (counters >> 8 & EVERY_OTHER_BYTE);
    return pairs * 0x0001000100010001u >> 48;
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
