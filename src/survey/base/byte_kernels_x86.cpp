// The wide byte kernels for x86 processors: SSE2 and AVX2, chosen at run
// time. The program itself is built for the plain instruction set; only
// the regions below are built for more, each compiling the one body of
// byte_kernels_body.h with its own loads and compares. Elsewhere this
// unit offers nothing and the portable kernels serve.
#include "byte_kernels.h"

#if defined(__x86_64__) || defined(__i386__)

#include <algorithm>
#include <bit>
#include <cstring>
#include <immintrin.h>

#include "target_region.h"

TARGET_REGION("sse2")
namespace sse2
{
namespace
{

constexpr std::size_t WIDTH = 16;
using lanes = __m128i;

inline lanes zero()
{
    return _mm_setzero_si128();
}

// An equal byte compares to all ones, -1: subtracting it counts it.
inline lanes equal_marks(const unsigned char* first, const unsigned char* second)
{
    return _mm_cmpeq_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(first)),
                          _mm_loadu_si128(reinterpret_cast<const __m128i*>(second)));
}

inline lanes add_equal(lanes counters, const unsigned char* first, const unsigned char* second)
{
    return _mm_sub_epi8(counters, equal_marks(first, second));
}

inline lanes marks_unless(lanes marks, lanes unless)
{
    return _mm_andnot_si128(unless, marks);
}

inline void add_marks(unsigned char* counters, lanes marks)
{
    __m128i* at = reinterpret_cast<__m128i*>(counters);
    _mm_storeu_si128(at, _mm_sub_epi8(_mm_loadu_si128(at), marks));
}

inline void put(unsigned char* at, lanes counters)
{
    _mm_storeu_si128(reinterpret_cast<__m128i*>(at), counters);
}

inline void mark_unlike(unsigned char* marks, const unsigned char* first,
                        const unsigned char* second)
{
    __m128i* at = reinterpret_cast<__m128i*>(marks);
    __m128i unlike = _mm_xor_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(first)),
                                   _mm_loadu_si128(reinterpret_cast<const __m128i*>(second)));
    _mm_storeu_si128(at, _mm_or_si128(_mm_loadu_si128(at), unlike));
}

inline std::uint64_t sum_of_halves(__m128i sums)
{
    alignas(16) std::uint64_t halves[2];
    _mm_store_si128(reinterpret_cast<__m128i*>(halves), sums);
    return halves[0] + halves[1];
}

inline std::uint64_t total(lanes counters)
{
    return sum_of_halves(_mm_sad_epu8(counters, _mm_setzero_si128()));
}

inline std::size_t first_line_end(const unsigned char* at)
{
    __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at));
    __m128i ends = _mm_or_si128(_mm_cmpeq_epi8(bytes, _mm_set1_epi8('\n')),
                                _mm_cmpeq_epi8(bytes, _mm_set1_epi8('\r')));
    unsigned mask = static_cast<unsigned>(_mm_movemask_epi8(ends));
    return mask == 0 ? WIDTH : static_cast<std::size_t>(__builtin_ctz(mask));
}

inline std::uint64_t either_mask(const unsigned char* at, unsigned char first, unsigned char second)
{
    __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at));
    __m128i hits = _mm_or_si128(_mm_cmpeq_epi8(bytes, _mm_set1_epi8(static_cast<char>(first))),
                                _mm_cmpeq_epi8(bytes, _mm_set1_epi8(static_cast<char>(second))));
    return static_cast<std::uint32_t>(_mm_movemask_epi8(hits));
}

inline lanes load_lanes(const unsigned char* at)
{
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(at));
}

inline lanes equal_to(lanes block, unsigned char value)
{
    return _mm_cmpeq_epi8(block, _mm_set1_epi8(static_cast<char>(value)));
}

inline lanes either_of(lanes first, lanes second)
{
    return _mm_or_si128(first, second);
}

inline bool any_marked(lanes marks)
{
    return _mm_movemask_epi8(marks) != 0;
}

inline std::size_t first_high_of(lanes block)
{
    unsigned mask = static_cast<unsigned>(_mm_movemask_epi8(block));
    return mask == 0 ? WIDTH : static_cast<std::size_t>(__builtin_ctz(mask));
}

constexpr std::size_t DOUBLES = 2;
using doubles = __m128d;

inline doubles load_doubles(const double* at)
{
    return _mm_loadu_pd(at);
}

inline void store_doubles(double* at, doubles values)
{
    _mm_storeu_pd(at, values);
}

inline doubles times(doubles first, doubles second)
{
    return _mm_mul_pd(first, second);
}

inline doubles plus(doubles first, doubles second)
{
    return _mm_add_pd(first, second);
}

inline doubles minus(doubles first, doubles second)
{
    return _mm_sub_pd(first, second);
}

inline doubles spread(double value)
{
    return _mm_set1_pd(value);
}

// The larger of each pair, best's where they are equal, and a bit for
// each lane weighed raised; best is seldom raised, and left alone then.
inline unsigned raise_doubles(double* best, doubles weighed)
{
    doubles was = _mm_loadu_pd(best);
    unsigned raised = static_cast<unsigned>(_mm_movemask_pd(_mm_cmpgt_pd(weighed, was)));
    if (raised != 0)
        _mm_storeu_pd(best, _mm_max_pd(weighed, was));
    return raised;
}

// The set shuffles no bytes: a lookup at a time.
using byte_map = const unsigned char*;

inline byte_map map_of(const unsigned char* table)
{
    return table;
}

inline void map_block(byte_map table, const unsigned char* bytes, unsigned char* out)
{
    for (std::size_t at = 0; at < WIDTH; at++)
        out[at] = table[bytes[at]];
}

// The movemask's sign bit is byte 15's mark, not a sign: taken unsigned.
inline std::uint64_t equal_mask(const unsigned char* first, const unsigned char* second)
{
    return static_cast<std::uint32_t>(_mm_movemask_epi8(equal_marks(first, second)));
}

#include "byte_kernels_body.h"

} // namespace
} // namespace sse2
END_TARGET_REGION

TARGET_REGION("avx2")
namespace avx2
{
namespace
{

constexpr std::size_t WIDTH = 32;
using lanes = __m256i;

inline lanes zero()
{
    return _mm256_setzero_si256();
}

inline lanes equal_marks(const unsigned char* first, const unsigned char* second)
{
    return _mm256_cmpeq_epi8(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(first)),
                             _mm256_loadu_si256(reinterpret_cast<const __m256i*>(second)));
}

inline lanes add_equal(lanes counters, const unsigned char* first, const unsigned char* second)
{
    return _mm256_sub_epi8(counters, equal_marks(first, second));
}

inline lanes marks_unless(lanes marks, lanes unless)
{
    return _mm256_andnot_si256(unless, marks);
}

inline void add_marks(unsigned char* counters, lanes marks)
{
    __m256i* at = reinterpret_cast<__m256i*>(counters);
    _mm256_storeu_si256(at, _mm256_sub_epi8(_mm256_loadu_si256(at), marks));
}

inline void put(unsigned char* at, lanes counters)
{
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(at), counters);
}

inline void mark_unlike(unsigned char* marks, const unsigned char* first,
                        const unsigned char* second)
{
    __m256i* at = reinterpret_cast<__m256i*>(marks);
    __m256i unlike = _mm256_xor_si256(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(first)),
                                      _mm256_loadu_si256(reinterpret_cast<const __m256i*>(second)));
    _mm256_storeu_si256(at, _mm256_or_si256(_mm256_loadu_si256(at), unlike));
}

inline std::uint64_t total(lanes counters)
{
    __m256i sums = _mm256_sad_epu8(counters, _mm256_setzero_si256());
    alignas(16) std::uint64_t halves[2];
    _mm_store_si128(reinterpret_cast<__m128i*>(halves),
                    _mm_add_epi64(_mm256_castsi256_si128(sums), _mm256_extracti128_si256(sums, 1)));
    return halves[0] + halves[1];
}

inline std::size_t first_line_end(const unsigned char* at)
{
    __m256i bytes = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(at));
    __m256i ends = _mm256_or_si256(_mm256_cmpeq_epi8(bytes, _mm256_set1_epi8('\n')),
                                   _mm256_cmpeq_epi8(bytes, _mm256_set1_epi8('\r')));
    unsigned mask = static_cast<unsigned>(_mm256_movemask_epi8(ends));
    return mask == 0 ? WIDTH : static_cast<std::size_t>(__builtin_ctz(mask));
}

// The movemask's sign bit is byte 31's mark, not a sign: taken unsigned.
inline std::uint64_t either_mask(const unsigned char* at, unsigned char first, unsigned char second)
{
    __m256i bytes = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(at));
    __m256i hits =
        _mm256_or_si256(_mm256_cmpeq_epi8(bytes, _mm256_set1_epi8(static_cast<char>(first))),
                        _mm256_cmpeq_epi8(bytes, _mm256_set1_epi8(static_cast<char>(second))));
    return static_cast<std::uint32_t>(_mm256_movemask_epi8(hits));
}

inline lanes load_lanes(const unsigned char* at)
{
    return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(at));
}

inline lanes equal_to(lanes block, unsigned char value)
{
    return _mm256_cmpeq_epi8(block, _mm256_set1_epi8(static_cast<char>(value)));
}

inline lanes either_of(lanes first, lanes second)
{
    return _mm256_or_si256(first, second);
}

inline bool any_marked(lanes marks)
{
    return _mm256_movemask_epi8(marks) != 0;
}

inline std::size_t first_high_of(lanes block)
{
    unsigned mask = static_cast<unsigned>(_mm256_movemask_epi8(block));
    return mask == 0 ? WIDTH : static_cast<std::size_t>(__builtin_ctz(mask));
}

// The set holds no fused multiply-add (that is "fma", not asked for
// here): a product is rounded before its sum, as everywhere else.
constexpr std::size_t DOUBLES = 4;
using doubles = __m256d;

inline doubles load_doubles(const double* at)
{
    return _mm256_loadu_pd(at);
}

inline void store_doubles(double* at, doubles values)
{
    _mm256_storeu_pd(at, values);
}

inline doubles times(doubles first, doubles second)
{
    return _mm256_mul_pd(first, second);
}

inline doubles plus(doubles first, doubles second)
{
    return _mm256_add_pd(first, second);
}

inline doubles minus(doubles first, doubles second)
{
    return _mm256_sub_pd(first, second);
}

inline doubles spread(double value)
{
    return _mm256_set1_pd(value);
}

inline unsigned raise_doubles(double* best, doubles weighed)
{
    doubles was = _mm256_loadu_pd(best);
    unsigned raised =
        static_cast<unsigned>(_mm256_movemask_pd(_mm256_cmp_pd(weighed, was, _CMP_GT_OQ)));
    if (raised != 0)
        _mm256_storeu_pd(best, _mm256_max_pd(weighed, was));
    return raised;
}

// The table in sixteen rows of sixteen, each row in both halves, as a
// shuffle looks up only within a half; each row but the first of either
// half of the table kept as it differs from the row before (see below).
// Where the upper half holds one value throughout (every byte from 0x80
// is one class in ASCII and its relatives), it is that value alone.
struct byte_map {
    __m256i rows[16];
    bool upper_alike;
    __m256i upper;
};

inline __m256i table_row(const unsigned char* table, int row)
{
    return _mm256_broadcastsi128_si256(
        _mm_loadu_si128(reinterpret_cast<const __m128i*>(table + 16 * row)));
}

inline byte_map map_of(const unsigned char* table)
{
    byte_map map;
    for (int row = 0; row < 16; row++)
        map.rows[row] = row % 8 == 0
                            ? table_row(table, row)
                            : _mm256_xor_si256(table_row(table, row), table_row(table, row - 1));
    map.upper = _mm256_set1_epi8(static_cast<char>(table[128]));
    __m256i alike = _mm256_set1_epi8(-1);
    for (int part = 4; part < 8; part++) {
        __m256i values = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(table + 32 * part));
        alike = _mm256_and_si256(alike, _mm256_cmpeq_epi8(values, map.upper));
    }
    map.upper_alike = _mm256_movemask_epi8(alike) == -1;
    return map;
}

// A byte below 0x80 less 16 times a row of the lower half keeps its top
// bit clear for its own row and those before it, which shuffle in its low
// four bits; the rows after it get the top bit, which a shuffle reads as
// zero. The differences of the rows up to its own add up (exclusive or) to
// its row. Bytes from 0x80 likewise in the upper half, flipped to below.
inline __m256i map_half(const __m256i* rows, __m256i bytes)
{
    const __m256i row_step = _mm256_set1_epi8(16);
    __m256i mapped = _mm256_shuffle_epi8(rows[0], bytes);
#pragma GCC unroll 8
    for (int row = 1; row < 8; row++) {
        bytes = _mm256_sub_epi8(bytes, row_step);
        mapped = _mm256_xor_si256(mapped, _mm256_shuffle_epi8(rows[row], bytes));
    }
    return mapped;
}

inline void map_block(const byte_map& map, const unsigned char* bytes, unsigned char* out)
{
    __m256i values = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(bytes));
    __m256i lower = map_half(map.rows, values);
    __m256i upper = map.upper_alike
                        ? map.upper
                        : map_half(map.rows + 8, _mm256_xor_si256(values, _mm256_set1_epi8(-128)));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(out), _mm256_blendv_epi8(lower, upper, values));
}

// The movemask's sign bit is byte 31's mark, not a sign: taken unsigned.
inline std::uint64_t equal_mask(const unsigned char* first, const unsigned char* second)
{
    return static_cast<std::uint32_t>(_mm256_movemask_epi8(equal_marks(first, second)));
}

#include "byte_kernels_body.h"

} // namespace
} // namespace avx2
END_TARGET_REGION

void processor_byte_kernels(std::vector<byte_kernels>& kernels)
{
    __builtin_cpu_init();
    if (!__builtin_cpu_supports("sse2"))
        return;
    kernels.push_back(sse2::kernels_of("sse2"));
    if (!__builtin_cpu_supports("avx2"))
        return;
    kernels.push_back(avx2::kernels_of("avx2"));
}

#else

void processor_byte_kernels(std::vector<byte_kernels>&)
{
}

#endif
