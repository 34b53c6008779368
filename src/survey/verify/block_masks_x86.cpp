// The wide kernels for x86 processors with AVX2 (and AVX-512), chosen at
// run time: the program itself is built for the plain instruction set, and
// only these functions use more. Elsewhere this unit offers nothing and
// the portable kernels serve.
#include "block_masks.h"

void processor_kernels(std::vector<block_kernels>& kernels);

#if defined(__x86_64__) || defined(__i386__)

#include <immintrin.h>

namespace
{

#define WIDE __attribute__((target("avx2,pclmul")))

WIDE inline std::uint64_t equal_bits(__m256i low, __m256i high, unsigned char byte)
{
    __m256i wanted = _mm256_set1_epi8(static_cast<char>(byte));
    auto low_bits =
        static_cast<std::uint32_t>(_mm256_movemask_epi8(_mm256_cmpeq_epi8(low, wanted)));
    auto high_bits =
        static_cast<std::uint32_t>(_mm256_movemask_epi8(_mm256_cmpeq_epi8(high, wanted)));
    return low_bits | std::uint64_t{high_bits} << 32;
}

// Carry-less multiplication by all ones XORs every bit into those above it.
WIDE inline std::uint64_t prefix_xor_wide(std::uint64_t bits)
{
    __m128i product =
        _mm_clmulepi64_si128(_mm_set_epi64x(0, static_cast<long long>(bits)), _mm_set1_epi8(-1), 0);
    std::uint64_t low;
    _mm_storel_epi64(reinterpret_cast<__m128i*>(&low), product);
    return low;
}

WIDE void find_avx2(const unsigned char* bytes, std::size_t blocks, const block_targets& targets,
                    block_masks* masks)
{
    for (std::size_t i = 0; i < blocks; i++) {
        const unsigned char* block = bytes + i * BLOCK_SIZE;
        __m256i low = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(block));
        __m256i high = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(block + 32));
        masks[i].line_end = equal_bits(low, high, targets.line_end);
        masks[i].carriage_return = equal_bits(low, high, targets.carriage_return);
        masks[i].delimiter = equal_bits(low, high, targets.delimiter);
        masks[i].quote = equal_bits(low, high, targets.quote);
        masks[i].quoted = prefix_xor_wide(masks[i].quote);
    }
}

WIDE inline __m256i both_halves(const unsigned char* sixteen)
{
    return _mm256_broadcastsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(sixteen)));
}

// Each byte's class bit, looked up in the three sets that spell its class
// number: the low nibble picks a row, the high nibble a bit of it.
WIDE inline __m256i class_bits(__m256i bytes, const class_sets& classes)
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

WIDE inline __m256i load(const unsigned char* at)
{
    return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(at));
}

WIDE inline std::uint32_t misses_of_half(const unsigned char* block, const profile_lanes& lanes,
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

WIDE std::uint64_t profile_misses_avx2(const unsigned char* block, const profile_lanes& lanes,
                                       const class_sets& classes)
{
    return misses_of_half(block, lanes, 0, classes) |
           std::uint64_t{misses_of_half(block, lanes, 32, classes)} << 32;
}

WIDE void fixed_misses_avx2(const unsigned char* bytes, std::size_t blocks,
                            const profile_lanes& lanes, std::uint64_t phase,
                            std::uint64_t record_length, const class_sets& classes,
                            std::uint64_t* misses)
{
    for (std::size_t i = 0; i < blocks; i++) {
        profile_lanes at{lanes.allowed + phase, lanes.value + phase, lanes.care + phase};
        misses[i] = profile_misses_avx2(bytes + i * BLOCK_SIZE, at, classes);
        phase = phase_after(phase, BLOCK_SIZE, record_length);
    }
}

__attribute__((target("avx2,pclmul,popcnt"))) unsigned
count_between_popcnt(std::uint64_t starts, std::uint64_t marks, unsigned char* counts)
{
    unsigned count = 0;
    while (starts != 0) {
        std::uint64_t below = (starts & -starts) - 1;
        counts[count++] = static_cast<unsigned char>(__builtin_popcountll(marks & below));
        marks &= ~below;
        starts &= starts - 1;
    }
    counts[count] = static_cast<unsigned char>(__builtin_popcountll(marks));
    return count;
}

#define WIDEST __attribute__((target("avx512bw,pclmul")))

// With 64-byte registers a compare gives the block's mask at once.
WIDEST void find_avx512(const unsigned char* bytes, std::size_t blocks,
                        const block_targets& targets, block_masks* masks)
{
    __m512i line_end = _mm512_set1_epi8(static_cast<char>(targets.line_end));
    __m512i carriage_return = _mm512_set1_epi8(static_cast<char>(targets.carriage_return));
    __m512i delimiter = _mm512_set1_epi8(static_cast<char>(targets.delimiter));
    __m512i quote = _mm512_set1_epi8(static_cast<char>(targets.quote));
    for (std::size_t i = 0; i < blocks; i++) {
        __m512i block = _mm512_loadu_si512(bytes + i * BLOCK_SIZE);
        masks[i].line_end = _mm512_cmpeq_epi8_mask(block, line_end);
        masks[i].carriage_return = _mm512_cmpeq_epi8_mask(block, carriage_return);
        masks[i].delimiter = _mm512_cmpeq_epi8_mask(block, delimiter);
        masks[i].quote = _mm512_cmpeq_epi8_mask(block, quote);
        __m128i product = _mm_clmulepi64_si128(
            _mm_set_epi64x(0, static_cast<long long>(masks[i].quote)), _mm_set1_epi8(-1), 0);
        _mm_storel_epi64(reinterpret_cast<__m128i*>(&masks[i].quoted), product);
    }
}

#define WIDEST_TABLES __attribute__((target("avx512bw,avx512vbmi")))

WIDEST_TABLES inline __m512i load64(const unsigned char* at)
{
    return _mm512_loadu_si512(at);
}

// The class table in four registers, for byte permutes to look up each
// byte's class directly.
struct class_table_64 {
    __m512i below_64, below_128, below_192, below_256;
};

WIDEST_TABLES inline class_table_64 class_table_of(const class_sets& classes)
{
    const unsigned char* table = classes.table.data();
    return {load64(table), load64(table + 64), load64(table + 128), load64(table + 192)};
}

WIDEST_TABLES inline std::uint64_t
misses_vbmi(const unsigned char* block, const profile_lanes& lanes, const class_table_64& table)
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

WIDEST_TABLES std::uint64_t profile_misses_vbmi(const unsigned char* block,
                                                const profile_lanes& lanes,
                                                const class_sets& classes)
{
    return misses_vbmi(block, lanes, class_table_of(classes));
}

// The table stays in registers for the whole run of blocks.
WIDEST_TABLES void fixed_misses_vbmi(const unsigned char* bytes, std::size_t blocks,
                                     const profile_lanes& lanes, std::uint64_t phase,
                                     std::uint64_t record_length, const class_sets& classes,
                                     std::uint64_t* misses)
{
    class_table_64 table = class_table_of(classes);
    for (std::size_t i = 0; i < blocks; i++) {
        profile_lanes at{lanes.allowed + phase, lanes.value + phase, lanes.care + phase};
        misses[i] = misses_vbmi(bytes + i * BLOCK_SIZE, at, table);
        phase = phase_after(phase, BLOCK_SIZE, record_length);
    }
}

__attribute__((target("popcnt,bmi2"))) inline std::uint64_t gather_bits(std::uint64_t bits,
                                                                        std::uint64_t mask)
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

// The ends and delimiters in order, gathered by one PEXT.
__attribute__((target("avx2,pclmul,popcnt,bmi2"), always_inline)) inline bool
fit_fields(std::uint64_t ends, std::uint64_t delimiters, const std::uint64_t* patterns,
           std::uint64_t& carried)
{
    std::uint64_t events = ends | delimiters;
    unsigned count = static_cast<unsigned>(__builtin_popcountll(events));
    std::uint64_t order = gather_bits(ends, events);
    std::uint64_t expected =
        count >= 64 ? patterns[carried] : patterns[carried] & ((std::uint64_t{1} << count) - 1);
    if (order != expected)
        return false;
    carried = order == 0 ? carried + count : count - 1 - (63 - __builtin_clzll(order));
    return true;
}

__attribute__((target("avx2,pclmul,popcnt,bmi2"))) bool
fields_fit_pext(std::uint64_t ends, std::uint64_t delimiters, const std::uint64_t* patterns,
                std::uint64_t& carried)
{
    return fit_fields(ends, delimiters, patterns, carried);
}

#define WIDE_SCAN __attribute__((target("avx2,pclmul,popcnt,bmi2")))

// As the portable pass_block, with the popcount and PEXT instructions.
__attribute__((target("avx2,pclmul,popcnt,bmi2"), always_inline)) inline bool
pass_block_wide(const block_masks& masks, const line_scan_rules& rules, line_scan_state& state,
                std::uint64_t& starts)
{
    std::uint64_t inside = rules.find_quote ? masks.quoted ^ (0 - state.quote_open) : 0;
    std::uint64_t line_ends = masks.line_end & ~inside;
    std::uint64_t returns = rules.find_carriage_return ? masks.carriage_return & ~inside : 0;
    std::uint64_t pairs = line_ends & (returns << 1 | state.after_carriage_return);
    std::uint64_t after_line_end = line_ends << 1 | state.after_line_end;
    std::uint64_t after_pair = pairs << 1 | state.after_crlf;
    std::uint64_t lone_returns = (returns << 1 | state.after_carriage_return) & ~masks.line_end;
    starts = after_line_end | lone_returns;
    std::uint64_t wrong_ends = rules.ends == line_end_rule::line_end ? after_pair | lone_returns
                               : rules.ends == line_end_rule::crlf
                                   ? (after_line_end & ~after_pair) | lone_returns
                               : rules.ends == line_end_rule::carriage_return ? after_line_end
                                                                              : 0;
    if ((starts & wrong_ends) != 0)
        return false;
    std::uint64_t carried = state.delimiters;
    if (rules.fields > 0) {
        std::uint64_t delimiters = masks.delimiter & ~inside;
        std::uint64_t later_starts = starts;
        if (starts & 1) {
            if (carried + 1 != rules.fields)
                return false;
            carried = 0;
            later_starts &= ~std::uint64_t{1};
        }
        std::uint64_t ends = later_starts >> 1;
        if (carried >= rules.fields || (ends & delimiters) != 0 ||
            !fit_fields(ends, delimiters, rules.patterns, carried))
            return false;
    }
    state.delimiters = carried;
    state.quote_open = inside >> 63;
    state.after_line_end = line_ends >> 63;
    state.after_carriage_return = returns >> 63;
    state.after_crlf = pairs >> 63;
    state.records += static_cast<std::uint64_t>(__builtin_popcountll(starts));
    return true;
}

WIDE_SCAN inline void note_last_start(line_scan_state& state, std::size_t block,
                                      std::uint64_t starts)
{
    if (starts != 0) {
        state.last_start =
            block * BLOCK_SIZE + 63u - static_cast<unsigned>(__builtin_clzll(starts));
        state.started = true;
    }
}

// Searches sixteen blocks at a time, then passes them one by one; the
// bit logic stays in general registers.
WIDE_SCAN std::size_t scan_lines_with(decltype(block_kernels::find) find,
                                      const unsigned char* bytes, std::size_t blocks,
                                      const line_scan_rules& rules, line_scan_state& state)
{
    line_scan_state now = state;
    line_scan_rules given = rules;
    block_masks masks[16];
    std::size_t done = 0;
    while (done < blocks) {
        std::size_t count = blocks - done < 16 ? blocks - done : 16;
        find(bytes + done * BLOCK_SIZE, count, given.targets, masks);
        for (std::size_t i = 0; i < count; i++) {
            std::uint64_t starts;
            if (!pass_block_wide(masks[i], given, now, starts)) {
                state = now;
                return done + i;
            }
            note_last_start(now, done + i, starts);
        }
        done += count;
    }
    state = now;
    return done;
}

WIDE_SCAN std::size_t scan_lines_avx2(const unsigned char* bytes, std::size_t blocks,
                                      const line_scan_rules& rules, line_scan_state& state)
{
    return scan_lines_with(find_avx2, bytes, blocks, rules, state);
}

WIDE_SCAN std::size_t scan_lines_avx512(const unsigned char* bytes, std::size_t blocks,
                                        const line_scan_rules& rules, line_scan_state& state)
{
    return scan_lines_with(find_avx512, bytes, blocks, rules, state);
}

} // namespace

void processor_kernels(std::vector<block_kernels>& kernels)
{
    __builtin_cpu_init();
    if (!__builtin_cpu_supports("avx2") || !__builtin_cpu_supports("pclmul") ||
        !__builtin_cpu_supports("popcnt"))
        return;
    // PEXT is slow microcode on the first two Zen generations.
    bool fast_pext = __builtin_cpu_supports("bmi2") && !__builtin_cpu_is("znver1") &&
                     !__builtin_cpu_is("znver2");
    block_kernels wide = {find_avx2,
                          profile_misses_avx2,
                          fixed_misses_avx2,
                          count_between_popcnt,
                          fast_pext ? fields_fit_pext : kernels[0].fields_fit,
                          fast_pext ? scan_lines_avx2 : kernels[0].scan_lines,
                          "avx2"};
    kernels.push_back(wide);
    if (__builtin_cpu_supports("avx512bw")) {
        wide.find = find_avx512;
        wide.scan_lines = fast_pext ? scan_lines_avx512 : kernels[0].scan_lines;
        wide.name = "avx512";
        if (__builtin_cpu_supports("avx512vbmi")) {
            wide.profile_misses = profile_misses_vbmi;
            wide.fixed_misses = fixed_misses_vbmi;
        }
        kernels.push_back(wide);
    }
}

#else

void processor_kernels(std::vector<block_kernels>&)
{
}

#endif
