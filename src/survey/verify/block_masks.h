// The record check's inner loop: where the bytes it looks for lie in a
// block of 64, as one bit per byte, and which bytes of a block break a
// record profile. A portable version and, where the processor has them,
// wide versions give exactly the same bits; everything above them works on
// the bits alone.
#ifndef KORVALEN_BLOCK_MASKS_H
#define KORVALEN_BLOCK_MASKS_H

#include "../base/byte_class.h"

#include <cstddef>
#include <cstdint>
#include <vector>

constexpr unsigned BLOCK_SIZE = 64;

// The four bytes a block is searched for; a caller that needs fewer
// ignores the masks it does not use.
struct block_targets {
    unsigned char line_end;
    unsigned char carriage_return;
    unsigned char delimiter;
    unsigned char quote;
};

// Bit i stands for byte i of the block.
struct block_masks {
    std::uint64_t line_end;
    std::uint64_t carriage_return;
    std::uint64_t delimiter;
    std::uint64_t quote;
    // prefix_xor(quote): inside quotes opened in this block.
    std::uint64_t quoted;
};

// A byte class table in the form the wide profile check reads: each byte's
// class number (0..7) spelled as three sets of byte values, each set as
// sixteen rows of the low nibble, one bit per high nibble. Usable only when
// every byte has exactly one class.
struct class_sets {
    byte_class_table table;
    bool one_class_per_byte;
    // [bit of the class number][high nibble below 8, or from 8][low nibble]
    unsigned char rows[3][2][16];
};

class_sets class_sets_of(const byte_class_table& table);

// Per byte of a block, what the profile allows there: a set of byte
// classes, and a byte it must equal where care is 0xFF.
struct profile_lanes {
    const unsigned char* allowed;
    const unsigned char* value;
    const unsigned char* care;
};

// What lines must keep to for scan_lines to pass their blocks whole.
enum class line_end_rule { any, line_end, crlf, carriage_return };
struct line_scan_rules {
    block_targets targets;
    bool find_carriage_return;
    bool find_delimiter;
    bool find_quote;
    // The only line end a record may have.
    line_end_rule ends;
    // Fields per record, at most 64; 0 when not counted.
    std::uint32_t fields;
    // field_patterns(fields).
    const std::uint64_t* patterns;
};

// Where scanning lines stands before the next block; flags are 0 or 1.
struct line_scan_state {
    std::uint64_t quote_open;
    std::uint64_t after_line_end;
    std::uint64_t after_carriage_return;
    std::uint64_t after_crlf;
    // Delimiters of the record open, and records ended.
    std::uint64_t delimiters;
    std::uint64_t records;
    // From the first block's start, the last record start passed; none
    // when no record started.
    std::uint64_t last_start;
    bool started;
};

struct block_kernels {
    // Fills masks[i] for each of `blocks` blocks of 64 bytes.
    void (*find)(const unsigned char* bytes, std::size_t blocks, const block_targets& targets,
                 block_masks* masks);
    // Bits of the bytes whose class is not allowed or that differ from
    // their constant.
    std::uint64_t (*profile_misses)(const unsigned char* block, const profile_lanes& lanes,
                                    const class_sets& classes);
    // profile_misses of each of `blocks` blocks of fixed-length records,
    // into misses[i]: the lanes repeat the record (record_length + 64 of
    // them), block 0 starts `phase` bytes into it and each next block
    // 64 bytes further on.
    void (*fixed_misses)(const unsigned char* bytes, std::size_t blocks, const profile_lanes& lanes,
                         std::uint64_t phase, std::uint64_t record_length,
                         const class_sets& classes, std::uint64_t* misses);
    // For each bit of starts in turn, the bits of marks after the start
    // before it (or the block's start) and below it; then those after the
    // last start. Gives the count of starts.
    unsigned (*count_between)(std::uint64_t starts, std::uint64_t marks, unsigned char* counts);
    // Whether every record that ends in the block has `fields` fields:
    // with `carried` delimiters in the record open at the block's start,
    // the records' last bytes (ends) and delimiters must alternate as
    // patterns[carried] says (an end after every fields - 1 delimiters).
    // When they do, carried becomes the delimiters after the last end.
    bool (*fields_fit)(std::uint64_t ends, std::uint64_t delimiters, const std::uint64_t* patterns,
                       std::uint64_t& carried);
    // Passes whole blocks of lines while every record that ends in them
    // fits the rules, stopping before the first block that needs a closer
    // look (a record that breaks them, or one of more than 64 fields).
    // Gives the count of blocks passed.
    std::size_t (*scan_lines)(const unsigned char* bytes, std::size_t blocks,
                              const line_scan_rules& rules, line_scan_state& state);
    const char* name;
};

// Where in a record of record_length bytes the byte `length` bytes after
// `phase` lies.
inline std::uint64_t phase_after(std::uint64_t phase, std::uint64_t length,
                                 std::uint64_t record_length)
{
    phase += length;
    if (phase >= record_length) {
        phase -= record_length;
        if (phase >= record_length)
            phase %= record_length;
    }
    return phase;
}

// The patterns fields_fit reads, for fields from 1 to 64.
std::vector<std::uint64_t> field_patterns(std::uint32_t fields);

block_kernels portable_kernels();
// Every set of kernels this processor runs, the portable ones first.
const std::vector<block_kernels>& usable_kernels();
// The widest of them.
block_kernels best_kernels();

// Bits set, by hand: the plain instruction set has no popcount instruction,
// and the compiler's stands in as a library call.
inline unsigned bits_set(std::uint64_t bits)
{
    bits -= bits >> 1 & 0x5555555555555555;
    bits = (bits & 0x3333333333333333) + (bits >> 2 & 0x3333333333333333);
    bits = (bits + (bits >> 4)) & 0x0F0F0F0F0F0F0F0F;
    return static_cast<unsigned>(bits * 0x0101010101010101 >> 56);
}

// For each bit, whether an odd number of bits at or below it are set: with
// quote bits, the bytes inside quotes and the opening quote itself.
inline std::uint64_t prefix_xor(std::uint64_t bits)
{
    bits ^= bits << 1;
    bits ^= bits << 2;
    bits ^= bits << 4;
    bits ^= bits << 8;
    bits ^= bits << 16;
    bits ^= bits << 32;
    return bits;
}

#endif
