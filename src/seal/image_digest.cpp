#include "image_digest.h"

#include <algorithm>
#include <bit>
#include <cstring>

#if defined(__x86_64__) || defined(__i386__)
#include <cpuid.h>
#endif

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

// The four lanes as one vector: one load and one addition a block, with
// AVX2 a single instruction; SSE2 splits it in two. Words are little-endian
// in the image, as the digest reads them, on every processor this builds
// for but big-endian ones, which add them a lane at a time.
typedef std::uint64_t lane_vector __attribute__((vector_size(DIGEST_BLOCK_SIZE)));

__attribute__((always_inline, no_sanitize("address"))) inline void
add_block(lane_vector& sums, const unsigned char* block)
{
    lane_vector words;
    if constexpr (std::endian::native == std::endian::little) {
        std::memcpy(&words, block, sizeof words);
    } else {
        for (std::size_t lane = 0; lane < DIGEST_LANES; lane++)
            words[lane] = word_at(block + 8 * lane);
    }
    sums += words;
}

// Fewer blocks than a group, eight additions to a turn of the loop.
__attribute__((always_inline, no_sanitize("address"))) inline void
add_blocks(lane_vector& sums, const unsigned char* bytes, std::size_t count)
{
    std::size_t block = 0;
    for (; block + 8 <= count; block += 8) {
#pragma GCC unroll 8
        for (std::size_t i = 0; i < 8; i++)
            add_block(sums, bytes + (block + i) * DIGEST_BLOCK_SIZE);
    }
    for (; block < count; block++)
        add_block(sums, bytes + block * DIGEST_BLOCK_SIZE);
}

// The blocks up to the next end of a group, whole groups of blocks with
// one addition to the sums of sums each, then the rest, which ends no
// group.
__attribute__((always_inline, no_sanitize("address"))) inline void
take_in_blocks(image_digest& digest, const unsigned char* bytes, std::size_t count)
{
    lane_vector sums, totals;
    std::memcpy(&sums, digest.sums, sizeof sums);
    std::memcpy(&totals, digest.sums_of_sums, sizeof totals);
    std::uint64_t blocks = digest.blocks;
    std::size_t single =
        std::min<std::size_t>(count, (DIGEST_GROUP - blocks % DIGEST_GROUP) % DIGEST_GROUP);
    std::size_t groups = (count - single) / DIGEST_GROUP;
    std::size_t rest = count - single - groups * DIGEST_GROUP;
    add_blocks(sums, bytes, single);
    bytes += single * DIGEST_BLOCK_SIZE;
    blocks += single;
    if (single != 0 && blocks % DIGEST_GROUP == 0)
        totals += sums;
    for (std::size_t group = 0; group < groups; group++) {
        // Unrolled, a group is its sixty-four additions straight from
        // memory and little more (the functions below keep the compiler
        // from regrouping them into loads and additions apart).
#pragma GCC unroll 64
        for (std::size_t block = 0; block < DIGEST_GROUP; block++)
            add_block(sums, bytes + block * DIGEST_BLOCK_SIZE);
        totals += sums;
        bytes += DIGEST_GROUP * DIGEST_BLOCK_SIZE;
        blocks += DIGEST_GROUP;
    }
    add_blocks(sums, bytes, rest);
    blocks += rest;
    std::memcpy(digest.sums, &sums, sizeof sums);
    std::memcpy(digest.sums_of_sums, &totals, sizeof totals);
    digest.blocks = blocks;
}

__attribute__((no_sanitize("address"), optimize("no-tree-reassoc"))) void
take_in_blocks_baseline(image_digest& digest, const unsigned char* bytes, std::size_t count)
{
    take_in_blocks(digest, bytes, count);
}

#if defined(__x86_64__) || defined(__i386__)
__attribute__((target("avx2"), no_sanitize("address"), optimize("no-tree-reassoc"))) void
take_in_blocks_avx2(image_digest& digest, const unsigned char* bytes, std::size_t count)
{
    take_in_blocks(digest, bytes, count);
}

// Asked of the processor directly: the runtime's own survey of it does
// many times the work, and the check runs before the runtime's
// initialisers anyway. AVX2 is usable when the processor has it and the
// system saves the wide registers (XCR0 bits 1 and 2).
bool processor_has_avx2()
{
    unsigned eax, ebx, ecx, edx;
    if (__get_cpuid_max(0, nullptr) < 7 || !__get_cpuid(1, &eax, &ebx, &ecx, &edx))
        return false;
    const unsigned saves_state = 1u << 27, has_avx = 1u << 28;
    if ((ecx & (saves_state | has_avx)) != (saves_state | has_avx))
        return false;
    unsigned low, high;
    __asm__("xgetbv" : "=a"(low), "=d"(high) : "c"(0));
    if ((low & 6) != 6)
        return false;
    __cpuid_count(7, 0, eax, ebx, ecx, edx);
    return (ebx & (1u << 5)) != 0;
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
    // sums at every end of a group from its own block's on.
    digest.sums[lane] += change;
    digest.sums_of_sums[lane] += change * (digest.blocks / DIGEST_GROUP - block / DIGEST_GROUP);
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
