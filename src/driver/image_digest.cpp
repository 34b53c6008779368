#include "image_digest.h"

#include <bit>
#include <cstring>

namespace
{

// Reads the image in place, padding between its parts included: no address
// checks here, nor in the loops below.
__attribute__((always_inline, no_sanitize("address"))) inline std::uint64_t
word_at(const unsigned char* bytes)
{
    std::uint64_t word = 0;
    if constexpr (std::endian::native == std::endian::little) {
        std::memcpy(&word, bytes, sizeof word);
    } else {
        for (int i = 0; i < 8; i++)
            word |= std::uint64_t{bytes[i]} << (8 * i);
    }
    return word;
}

// A bijection that spreads every input bit over the whole result (the
// finaliser of MurmurHash3).
std::uint64_t mix(std::uint64_t value)
{
    value ^= value >> 33;
    value *= 0xFF51AFD7ED558CCDu;
    value ^= value >> 33;
    value *= 0xC4CEB9FE1A85EC53u;
    value ^= value >> 33;
    return value;
}

// The lanes in eight variables, so that the compiler keeps them in vector
// registers: with SSE2 a block costs two loads and four additions, with
// AVX2 one load and two; two blocks a turn halve what the loop costs.
struct lanes {
    std::uint64_t sum0, sum1, sum2, sum3;
    std::uint64_t total0, total1, total2, total3;
};

__attribute__((always_inline, no_sanitize("address"))) inline void
take_block(lanes& lane, const unsigned char* block)
{
    lane.sum0 += word_at(block);
    lane.sum1 += word_at(block + 8);
    lane.sum2 += word_at(block + 16);
    lane.sum3 += word_at(block + 24);
    lane.total0 += lane.sum0;
    lane.total1 += lane.sum1;
    lane.total2 += lane.sum2;
    lane.total3 += lane.sum3;
}

template <std::size_t alignment>
__attribute__((always_inline, no_sanitize("address"))) inline void
take_in_blocks(image_digest& digest, const unsigned char* bytes, std::size_t count)
{
    bytes = static_cast<const unsigned char*>(__builtin_assume_aligned(bytes, alignment));
    lanes lane = {digest.sums[0],         digest.sums[1],         digest.sums[2],
                  digest.sums[3],         digest.sums_of_sums[0], digest.sums_of_sums[1],
                  digest.sums_of_sums[2], digest.sums_of_sums[3]};
    std::size_t left = count;
    for (; left >= 2; left -= 2, bytes += 2 * DIGEST_BLOCK_SIZE) {
        take_block(lane, bytes);
        take_block(lane, bytes + DIGEST_BLOCK_SIZE);
    }
    if (left != 0)
        take_block(lane, bytes);
    digest.sums[0] = lane.sum0, digest.sums[1] = lane.sum1;
    digest.sums[2] = lane.sum2, digest.sums[3] = lane.sum3;
    digest.sums_of_sums[0] = lane.total0, digest.sums_of_sums[1] = lane.total1;
    digest.sums_of_sums[2] = lane.total2, digest.sums_of_sums[3] = lane.total3;
    digest.blocks += count;
}

// The parts of a loaded image start on a page, so their blocks lie on
// 16-byte boundaries, where SSE2 adds straight from memory.
__attribute__((no_sanitize("address"))) void
take_in_blocks_baseline(image_digest& digest, const unsigned char* bytes, std::size_t count)
{
    if (reinterpret_cast<std::uintptr_t>(bytes) % 16 == 0)
        take_in_blocks<16>(digest, bytes, count);
    else
        take_in_blocks<1>(digest, bytes, count);
}

#if defined(__x86_64__) || defined(__i386__)
__attribute__((target("avx2"), no_sanitize("address"))) void
take_in_blocks_avx2(image_digest& digest, const unsigned char* bytes, std::size_t count)
{
    take_in_blocks<1>(digest, bytes, count);
}

bool processor_has_avx2()
{
    // The check runs before the runtime's own initialisers.
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2");
}
#else
void take_in_blocks_avx2(image_digest& digest, const unsigned char* bytes, std::size_t count)
{
    take_in_blocks_baseline(digest, bytes, count);
}

bool processor_has_avx2()
{
    return false;
}
#endif

enum { NOT_ASKED, WITHOUT_AVX2, WITH_AVX2 } avx2 = NOT_ASKED;

void digest_blocks(image_digest& digest, const unsigned char* bytes, std::size_t count)
{
    if (avx2 == NOT_ASKED)
        avx2 = processor_has_avx2() ? WITH_AVX2 : WITHOUT_AVX2;
    if (avx2 == WITH_AVX2)
        take_in_blocks_avx2(digest, bytes, count);
    else
        take_in_blocks_baseline(digest, bytes, count);
}

// A byte at a time into the block, so that no library copy runs over the
// image.
__attribute__((no_sanitize("address"))) void
copy_tail(unsigned char* block, const volatile unsigned char* bytes, std::size_t count)
{
    for (std::size_t i = 0; i < count; i++)
        block[i] = bytes[i];
}

} // namespace

void digest_span(image_digest& digest, const unsigned char* bytes, std::size_t count)
{
    std::size_t whole = count / DIGEST_BLOCK_SIZE;
    digest_blocks(digest, bytes, whole);
    unsigned char last[2 * DIGEST_BLOCK_SIZE] = {};
    std::size_t tail = count % DIGEST_BLOCK_SIZE;
    copy_tail(last, bytes + whole * DIGEST_BLOCK_SIZE, tail);
    unsigned char* length_block = tail != 0 ? last + DIGEST_BLOCK_SIZE : last;
    for (int i = 0; i < 8; i++)
        length_block[i] = static_cast<unsigned char>(std::uint64_t{count} >> (8 * i));
    digest_blocks(digest, last, tail != 0 ? 2 : 1);
}

void digest_replace_byte(image_digest& digest, std::uint64_t first_block, std::uint64_t offset,
                         unsigned char was, unsigned char now)
{
    std::uint64_t word = offset / 8;
    std::uint64_t block = first_block + word / DIGEST_LANES;
    std::size_t lane = static_cast<std::size_t>(word % DIGEST_LANES);
    std::uint64_t change = (std::uint64_t{now} - std::uint64_t{was}) << (8 * (offset % 8));
    // The word was counted once in the sum and once more in the sum of
    // sums for every block from its own to the last one taken in.
    digest.sums[lane] += change;
    digest.sums_of_sums[lane] += change * (digest.blocks - block);
}

bool digest_blocks_baseline(image_digest& digest, const unsigned char* bytes, std::size_t count)
{
    take_in_blocks_baseline(digest, bytes, count);
    return true;
}

bool digest_blocks_avx2(image_digest& digest, const unsigned char* bytes, std::size_t count)
{
    if (!processor_has_avx2())
        return false;
    take_in_blocks_avx2(digest, bytes, count);
    return true;
}

std::uint64_t digest_value(const image_digest& digest)
{
    std::uint64_t value = mix(digest.blocks ^ 0x9E3779B97F4A7C15u);
    for (std::size_t lane = 0; lane < DIGEST_LANES; lane++) {
        value = mix(value ^ digest.sums[lane]);
        value = mix(value ^ digest.sums_of_sums[lane]);
    }
    return value;
}
