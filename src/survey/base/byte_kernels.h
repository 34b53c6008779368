// Kernels that compare runs of bytes, one body built for each instruction
// set (byte_kernels_body.h) and the widest the processor runs chosen once.
#ifndef KORVALEN_BYTE_KERNELS_H
#define KORVALEN_BYTE_KERNELS_H

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

// How many of first[i] and second[i], i below count, are equal.
std::uint64_t count_equal_bytes(const unsigned char* first, const unsigned char* second,
                                std::size_t count);

// How many of the bytes hold each value.
std::array<std::uint64_t, 256> count_byte_values(const unsigned char* bytes, std::size_t count);

// Pairs of bytes, first[i] and second[i] for i below count, tallied at
// i: same[i] gains 1 where the two are one byte, same_class[i] where they
// differ but their classes (first_classes[i], second_classes[i]) agree.
// The tallies are single bytes: the caller adds them up before 255
// calls could wrap them.
void tally_byte_pairs(const unsigned char* first, const unsigned char* second,
                      const unsigned char* first_classes, const unsigned char* second_classes,
                      std::size_t count, unsigned char* same, unsigned char* same_class);

// Pairs of bytes weighed at i, for i below count: agree[i] is 2 where
// first[i] and second[i] are one byte, 1 where they differ but their
// classes agree, 0 where neither does. Bytes that are one byte must have
// one class.
void agree_byte_pairs(const unsigned char* first, const unsigned char* second,
                      const unsigned char* first_classes, const unsigned char* second_classes,
                      std::size_t count, unsigned char* agree);

// Sets in marks[i], for i below count, the bits where first[i] and
// second[i] differ: a mark stays 0 only where every pair so marked agreed.
void mark_byte_differences(const unsigned char* first, const unsigned char* second,
                           std::size_t count, unsigned char* marks);

// One pass of a Fourier transform by the widest set: the butterflies of
// every block of 2 * half values in size, real and imaginary parts apart,
// with the pass's turns at [0, half).
void fourier_pass(double* real, double* imag, std::size_t size, std::size_t half,
                  const double* turn_real, const double* turn_imag);

// For i below count, the sum weighed as (sums[i] + offset) - less, each
// step rounded on its own as a plain loop rounds it: where it exceeds
// best[i], it becomes best[i] and first_at + i becomes best_at[i]. An
// equal sum leaves the earlier one standing.
void raise_best_sums(const double* sums, std::size_t count, double offset, double less,
                     double* best, std::uint64_t* best_at, std::uint64_t first_at);

// out[i] = table[bytes[i]] for i below count, table holding 256 bytes.
void map_byte_values(const unsigned char* bytes, std::size_t count, const unsigned char* table,
                     unsigned char* out);

// How many of bytes[i] differ from bytes[i - 1], for i = 1, 1 + stride,
// 1 + 2 * stride, ... below count; stride from 1 to 64.
std::uint64_t count_spaced_changes(const unsigned char* bytes, std::size_t count,
                                   std::size_t stride);

// For each of records records of length bytes from bytes, and i below
// length: kinds[i] &= table[record[i]] where taken[i] is 0xFF; kinds[i]
// stays where it is 0. table holds 256 bytes.
void and_mapped_records(const unsigned char* bytes, std::uint64_t records, std::size_t length,
                        const unsigned char* table, const unsigned char* taken,
                        unsigned char* kinds);

// Bit i % 64 of words[i / 64] set where bytes[i] is first or second, for
// i below count: (count + 63) / 64 words, the last one's bits past count
// 0.
void mark_either_words(const unsigned char* bytes, std::size_t count, unsigned char first,
                       unsigned char second, std::uint64_t* words);

using count_equal_kernel = std::uint64_t (*)(const unsigned char*, const unsigned char*,
                                             std::size_t);
using line_end_kernel = std::size_t (*)(const unsigned char*, std::size_t);
using pair_tally_kernel = void (*)(const unsigned char*, const unsigned char*, const unsigned char*,
                                   const unsigned char*, std::size_t, unsigned char*,
                                   unsigned char*);
using either_marks_kernel = std::uint64_t (*)(const unsigned char*, std::size_t, unsigned char,
                                              unsigned char);
using pair_agree_kernel = void (*)(const unsigned char*, const unsigned char*, const unsigned char*,
                                   const unsigned char*, std::size_t, unsigned char*);
using difference_marks_kernel = void (*)(const unsigned char*, const unsigned char*, std::size_t,
                                         unsigned char*);
using fourier_pass_kernel = void (*)(double*, double*, std::size_t, std::size_t, const double*,
                                     const double*);
using held_bytes_kernel = unsigned (*)(const unsigned char*, std::size_t, const unsigned char*);
using either_tally_kernel = void (*)(const unsigned char*, std::size_t, unsigned char,
                                     unsigned char, unsigned char*);
using first_high_kernel = std::size_t (*)(const unsigned char*, std::size_t);
using best_raise_kernel = void (*)(const double*, std::size_t, double, double, double*,
                                   std::uint64_t*, std::uint64_t);
using byte_map_kernel = void (*)(const unsigned char*, std::size_t, const unsigned char*,
                                 unsigned char*);
using spaced_changes_kernel = std::uint64_t (*)(const unsigned char*, std::size_t, std::size_t);
using mapped_and_kernel = void (*)(const unsigned char*, std::uint64_t, std::size_t,
                                   const unsigned char*, const unsigned char*, unsigned char*);
using either_words_kernel = void (*)(const unsigned char*, std::size_t, unsigned char,
                                     unsigned char, std::uint64_t*);

// next_line_end: where the first LF or CR of the bytes lies; count when
// none does. either_marks: bit i set where bytes[i] is first or second,
// for count bytes up to 64; its callers keep the widest set's function at
// hand, as they call it at every line or record. fourier_pass: as
// below, each product and sum rounded to a double on its own, in the
// order a plain loop takes them, never fused: every set's doubles are the
// same. held_bytes: bit k set where any of the bytes is values[k], for
// the four values; called at every line, so kept at hand like
// either_marks. tally_either: tallies[i] gains 1 where bytes[i] is first
// or second, for i below count; the tallies are single bytes, added up by
// the caller before 255 calls could wrap them. first_high: where the
// first byte from 0x80 on lies; count when none does.
struct byte_kernels {
    const char* name;
    count_equal_kernel count_equal;
    line_end_kernel next_line_end;
    pair_tally_kernel tally_pairs;
    either_marks_kernel either_marks;
    pair_agree_kernel agree_pairs;
    difference_marks_kernel mark_differences;
    fourier_pass_kernel fourier_pass;
    held_bytes_kernel held_bytes;
    either_tally_kernel tally_either;
    first_high_kernel first_high;
    best_raise_kernel raise_best;
    byte_map_kernel map_bytes;
    spaced_changes_kernel spaced_changes;
    mapped_and_kernel and_mapped;
    either_words_kernel either_words;
};

// Every set of kernels this processor runs, the portable one first and
// the one count_equal_bytes uses last; for tests, which hold each to the
// others.
const std::vector<byte_kernels>& usable_byte_kernels();

// Where the first byte from 0x80 on lies, by the widest set; count when
// none does.
std::size_t first_high_byte(const unsigned char* bytes, std::size_t count);

// Adds the kernels of the processor's wider instruction sets, if any.
void processor_byte_kernels(std::vector<byte_kernels>& kernels);

#endif
