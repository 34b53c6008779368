// The wide kernels for x86 processors: SSE2, AVX2 and, where the compiler
// knows it, AVX-512, chosen at run time. The program itself is built for
// the plain instruction set; only the regions below are built for more,
// each compiling the one body of block_kernels_body.h with its own loads
// and compares. Elsewhere this unit offers nothing and the portable
// kernels serve.
#include "block_masks.h"

#if defined(__x86_64__) || defined(__i386__)

#include <immintrin.h>

#include "../base/target_region.h"

TARGET_REGION("sse2")
namespace sse2
{
namespace
{

inline std::uint64_t equal_bits(const __m128i quarters[4], unsigned char byte)
{
    __m128i wanted = _mm_set1_epi8(static_cast<char>(byte));
    std::uint64_t bits = 0;
    for (unsigned i = 0; i < 4; i++) {
        auto quarter =
            static_cast<std::uint16_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(quarters[i], wanted)));
        bits |= std::uint64_t{quarter} << (16 * i);
    }
    return bits;
}

inline void find_block(const unsigned char* block, const block_targets& targets, block_masks& masks)
{
    __m128i quarters[4];
    for (unsigned i = 0; i < 4; i++)
        quarters[i] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(block + 16 * i));
    masks.line_end = equal_bits(quarters, targets.line_end);
    masks.carriage_return = equal_bits(quarters, targets.carriage_return);
    masks.delimiter = equal_bits(quarters, targets.delimiter);
    masks.quote = equal_bits(quarters, targets.quote);
    masks.quoted = prefix_xor(masks.quote);
}

// SSE2 has no popcount, PEXT nor byte shuffle.
inline unsigned ones(std::uint64_t bits)
{
    return bits_set(bits);
}

constexpr bool CAN_GATHER = false;

[[maybe_unused]] std::uint64_t gather(std::uint64_t bits, std::uint64_t mask)
{
    return gather_one_by_one(bits, mask);
}

inline const class_sets& lookup_of(const class_sets& classes)
{
    return classes;
}

inline std::uint64_t misses_in(const unsigned char* block, const profile_lanes& lanes,
                               const class_sets& classes)
{
    return portable_misses(block, lanes, classes);
}

#include "block_kernels_body.h"

} // namespace
} // namespace sse2
END_TARGET_REGION

TARGET_REGION("avx2,pclmul,popcnt,bmi2")
namespace avx2
{
namespace
{

inline std::uint64_t equal_bits(__m256i low, __m256i high, unsigned char byte)
{
    __m256i wanted = _mm256_set1_epi8(static_cast<char>(byte));
    auto low_bits =
        static_cast<std::uint32_t>(_mm256_movemask_epi8(_mm256_cmpeq_epi8(low, wanted)));
    auto high_bits =
        static_cast<std::uint32_t>(_mm256_movemask_epi8(_mm256_cmpeq_epi8(high, wanted)));
    return low_bits | std::uint64_t{high_bits} << 32;
}

// Carry-less multiplication by all ones XORs every bit into those above it.
inline std::uint64_t prefix_xor_wide(std::uint64_t bits)
{
    __m128i product =
        _mm_clmulepi64_si128(_mm_set_epi64x(0, static_cast<long long>(bits)), _mm_set1_epi8(-1), 0);
    std::uint64_t low;
    _mm_storel_epi64(reinterpret_cast<__m128i*>(&low), product);
    return low;
}

inline void find_block(const unsigned char* block, const block_targets& targets, block_masks& masks)
{
    __m256i low = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(block));
    __m256i high = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(block + 32));
    masks.line_end = equal_bits(low, high, targets.line_end);
    masks.carriage_return = equal_bits(low, high, targets.carriage_return);
    masks.delimiter = equal_bits(low, high, targets.delimiter);
    masks.quote = equal_bits(low, high, targets.quote);
    masks.quoted = prefix_xor_wide(masks.quote);
}

inline unsigned ones(std::uint64_t bits)
{
    return static_cast<unsigned>(__builtin_popcountll(bits));
}

constexpr bool CAN_GATHER = true;

inline std::uint64_t gather(std::uint64_t bits, std::uint64_t mask)
{
#if defined(__x86_64__)
    return _pext_u64(bits, mask);
#else
    auto low_mask = static_cast<std::uint32_t>(mask);
    std::uint64_t low = _pext_u32(static_cast<std::uint32_t>(bits), low_mask);
    std::uint64_t high =
        _pext_u32(static_cast<std::uint32_t>(bits >> 32), static_cast<std::uint32_t>(mask >> 32));
    return low | high << __builtin_popcount(low_mask);
#endif
}

inline __m256i both_halves(const unsigned char* sixteen)
{
    return _mm256_broadcastsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(sixteen)));
}

// Each byte's class bit, looked up in the three sets that spell its class
// number: the low nibble picks a row, the high nibble a bit of it.
inline __m256i class_bits(__m256i bytes, const class_sets& classes)
{
    static const unsigned char nibble_bit[16] = {1, 2, 4, 8, 16, 32, 64, 128,
                                                 1, 2, 4, 8, 16, 32, 64, 128};
    static const unsigned char class_bit[16] = {1, 2, 4, 8, 16, 32, 64, 128};
    __m256i nibble = _mm256_set1_epi8(0x0F);
    __m256i low = _mm256_and_si256(bytes, nibble);
    __m256i high = _mm256_and_si256(_mm256_srli_epi16(bytes, 4), nibble);
    __m256i bit = _mm256_shuffle_epi8(both_halves(nibble_bit), high);
    __m256i one = _mm256_set1_epi8(1);
    __m256i number = _mm256_setzero_si256();
    for (int set = 0; set < 3; set++) {
        __m256i first_half = _mm256_shuffle_epi8(both_halves(classes.rows[set][0]), low);
        __m256i second_half = _mm256_shuffle_epi8(both_halves(classes.rows[set][1]), low);
        __m256i row = _mm256_blendv_epi8(first_half, second_half, bytes);
        __m256i member = _mm256_min_epu8(_mm256_and_si256(row, bit), one);
        number = _mm256_or_si256(number, _mm256_slli_epi16(member, set));
    }
    return _mm256_shuffle_epi8(both_halves(class_bit), number);
}

inline __m256i load(const unsigned char* at)
{
    return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(at));
}

inline std::uint32_t misses_of_half(const unsigned char* block, const profile_lanes& lanes,
                                    unsigned from, const class_sets& classes)
{
    __m256i bytes = load(block + from);
    __m256i zero = _mm256_setzero_si256();
    __m256i allowed = _mm256_and_si256(class_bits(bytes, classes), load(lanes.allowed + from));
    __m256i class_miss = _mm256_cmpeq_epi8(allowed, zero);
    __m256i difference = _mm256_and_si256(_mm256_xor_si256(bytes, load(lanes.value + from)),
                                          load(lanes.care + from));
    __m256i equal = _mm256_cmpeq_epi8(difference, zero);
    __m256i miss = _mm256_or_si256(class_miss, _mm256_andnot_si256(equal, _mm256_set1_epi8(-1)));
    return static_cast<std::uint32_t>(_mm256_movemask_epi8(miss));
}

inline const class_sets& lookup_of(const class_sets& classes)
{
    return classes;
}

// Reads the class table as nibble sets: usable only when every byte has
// one class, as rules_for sees to.
inline std::uint64_t misses_in(const unsigned char* block, const profile_lanes& lanes,
                               const class_sets& classes)
{
    return misses_of_half(block, lanes, 0, classes) |
           std::uint64_t{misses_of_half(block, lanes, 32, classes)} << 32;
}

#include "block_kernels_body.h"

} // namespace
} // namespace avx2
END_TARGET_REGION

#if defined(KORVALEN_HAVE_AVX512)

// With 64-byte registers a compare gives the block's mask at once. The
// profile check is AVX2's unless the byte permutes of VBMI are there too.
#define AVX512_SET "avx2,pclmul,popcnt,bmi2,avx512f,avx512bw"

TARGET_REGION(AVX512_SET)
namespace avx512_find
{

inline void find_block(const unsigned char* block, const block_targets& targets, block_masks& masks)
{
    __m512i bytes = _mm512_loadu_si512(block);
    masks.line_end =
        _mm512_cmpeq_epi8_mask(bytes, _mm512_set1_epi8(static_cast<char>(targets.line_end)));
    masks.carriage_return =
        _mm512_cmpeq_epi8_mask(bytes, _mm512_set1_epi8(static_cast<char>(targets.carriage_return)));
    masks.delimiter =
        _mm512_cmpeq_epi8_mask(bytes, _mm512_set1_epi8(static_cast<char>(targets.delimiter)));
    masks.quote = _mm512_cmpeq_epi8_mask(bytes, _mm512_set1_epi8(static_cast<char>(targets.quote)));
    masks.quoted = avx2::prefix_xor_wide(masks.quote);
}

} // namespace avx512_find

namespace avx512
{
namespace
{

using avx2::CAN_GATHER;
using avx2::gather;
using avx2::lookup_of;
using avx2::misses_in;
using avx2::ones;
using avx512_find::find_block;

#include "block_kernels_body.h"

} // namespace
} // namespace avx512
END_TARGET_REGION

TARGET_REGION(AVX512_SET ",avx512vbmi")
namespace avx512vbmi
{
namespace
{

using avx2::CAN_GATHER;
using avx2::gather;
using avx2::ones;
using avx512_find::find_block;

inline __m512i load64(const unsigned char* at)
{
    return _mm512_loadu_si512(at);
}

// The class table in four registers, for byte permutes to look up each
// byte's class directly; it stays there for a whole run of blocks.
struct class_table_64 {
    __m512i below_64, below_128, below_192, below_256;
};

inline class_table_64 lookup_of(const class_sets& classes)
{
    const unsigned char* table = classes.table.data();
    return {load64(table), load64(table + 64), load64(table + 128), load64(table + 192)};
}

inline std::uint64_t misses_in(const unsigned char* block, const profile_lanes& lanes,
                               const class_table_64& table)
{
    __m512i bytes = load64(block);
    __m512i below_128 = _mm512_permutex2var_epi8(table.below_64, bytes, table.below_128);
    __m512i from_128 = _mm512_permutex2var_epi8(table.below_192, bytes, table.below_256);
    __m512i class_bits = _mm512_mask_blend_epi8(_mm512_movepi8_mask(bytes), below_128, from_128);
    __mmask64 allowed = _mm512_test_epi8_mask(class_bits, load64(lanes.allowed));
    __m512i difference =
        _mm512_and_si512(_mm512_xor_si512(bytes, load64(lanes.value)), load64(lanes.care));
    __mmask64 equal = _mm512_testn_epi8_mask(difference, difference);
    return ~static_cast<std::uint64_t>(allowed & equal);
}

#include "block_kernels_body.h"

} // namespace
} // namespace avx512vbmi
END_TARGET_REGION

#endif

void processor_kernels(std::vector<block_kernels>& kernels)
{
    __builtin_cpu_init();
    if (!__builtin_cpu_supports("sse2"))
        return;
    kernels.push_back(sse2::kernels_of("sse2", false));
    // The AVX2 region is built with BMI2 as well; a processor with AVX2 but
    // without it keeps to SSE2.
    if (!__builtin_cpu_supports("avx2") || !__builtin_cpu_supports("pclmul") ||
        !__builtin_cpu_supports("popcnt") || !__builtin_cpu_supports("bmi2"))
        return;
    // PEXT is slow microcode on the first two Zen generations.
    bool fast_pext = !__builtin_cpu_is("znver1") && !__builtin_cpu_is("znver2");
    kernels.push_back(avx2::kernels_of("avx2", fast_pext));
#if defined(KORVALEN_HAVE_AVX512)
    if (!__builtin_cpu_supports("avx512f") || !__builtin_cpu_supports("avx512bw"))
        return;
    // Both where both run, so that the tests hold each to the others.
    kernels.push_back(avx512::kernels_of("avx512", fast_pext));
    if (__builtin_cpu_supports("avx512vbmi"))
        kernels.push_back(avx512vbmi::kernels_of("avx512vbmi", fast_pext));
#endif
}

#else

void processor_kernels(std::vector<block_kernels>&)
{
}

#endif
