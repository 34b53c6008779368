// The record check's inner loop: where the bytes it looks for lie in a
// block of 64, as one bit per byte, and which bytes of a block break a
// record profile. A portable version and, where the processor has them,
// wide versions give exactly the same bits; everything above them works on
// the bits alone.
#ifndef KORVALEN_BLOCK_MASKS_H
#define KORVALEN_BLOCK_MASKS_H

#include "../base/byte_class.h"

#include <bit>
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

// Where lines stand at a block's start, carried over from the block
// before; each flag is 0 or 1. The whole-block scan and the record checker
// both read blocks of lines through it, so the two cannot drift apart.
struct line_carry {
    std::uint64_t quote_open = 0;
    std::uint64_t after_line_end = 0;
    std::uint64_t after_carriage_return = 0;
    std::uint64_t after_crlf = 0;
};

// What a block of lines holds outside quotes, bit i for byte i.
struct line_bits {
    std::uint64_t inside;
    // The bytes after a line end, after a CR LF's line end, and after a CR
    // no line end follows: each the start of a record.
    std::uint64_t after_line_end;
    std::uint64_t after_pair;
    std::uint64_t lone_returns;
    std::uint64_t starts;
};

// The bytes inside quotes, the opening quotes included.
inline std::uint64_t inside_quotes(const block_masks& masks, bool find_quote,
                                   const line_carry& carry)
{
    return find_quote ? masks.quoted ^ (0 - carry.quote_open) : 0;
}

// The lines of the block's first count bytes (the rest are padding);
// carry moves on past them.
inline line_bits next_lines(const block_masks& masks, bool find_quote, bool find_carriage_return,
                            unsigned count, line_carry& carry)
{
    std::uint64_t valid = count >= 64 ? ~std::uint64_t{0} : (std::uint64_t{1} << count) - 1;
    std::uint64_t inside = inside_quotes(masks, find_quote, carry);
    std::uint64_t line_ends = masks.line_end & ~inside & valid;
    std::uint64_t returns = find_carriage_return ? masks.carriage_return & ~inside & valid : 0;
    std::uint64_t after_return = returns << 1 | carry.after_carriage_return;
    std::uint64_t pairs = line_ends & after_return;
    line_bits lines;
    lines.inside = inside;
    lines.after_line_end = line_ends << 1 | carry.after_line_end;
    lines.after_pair = pairs << 1 | carry.after_crlf;
    lines.lone_returns = after_return & ~masks.line_end;
    lines.starts = (lines.after_line_end | lines.lone_returns) & valid;
    unsigned last = count - 1;
    carry.quote_open = inside >> last & 1;
    carry.after_line_end = line_ends >> last & 1;
    carry.after_carriage_return = returns >> last & 1;
    carry.after_crlf = pairs >> last & 1;
    return lines;
}

// The record starts whose record ended with another line end than rule.
inline std::uint64_t wrong_line_ends(const line_bits& lines, line_end_rule rule)
{
    switch (rule) {
    case line_end_rule::line_end:
        return lines.after_pair | lines.lone_returns;
    case line_end_rule::crlf:
        return (lines.after_line_end & ~lines.after_pair) | lines.lone_returns;
    case line_end_rule::carriage_return:
        return lines.after_line_end;
    default:
        return 0;
    }
}

// Where scanning lines stands before the next block.
struct line_scan_state {
    line_carry carry;
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

// The kernels of each instruction set: the generic body of
// block_kernels_body.h compiled once for each.
block_kernels portable_kernels();
// Adds the wider kernels this processor runs, narrowest first.
void processor_kernels(std::vector<block_kernels>& kernels);
// Every set of kernels this processor runs, the portable ones first.
const std::vector<block_kernels>& usable_kernels();
// The widest of them.
block_kernels best_kernels();

// Bits of the bytes whose class is not allowed or that differ from their
// constant, byte by byte: for processors without byte shuffles, and for
// tables where a byte has more than one class.
inline std::uint64_t portable_misses(const unsigned char* block, const profile_lanes& lanes,
                                     const class_sets& classes)
{
    std::uint64_t misses = 0;
    for (unsigned i = 0; i < BLOCK_SIZE; i++) {
        unsigned char byte = block[i];
        bool allowed = (classes.table[byte] & lanes.allowed[i]) != 0;
        bool equal = ((byte ^ lanes.value[i]) & lanes.care[i]) == 0;
        misses |= allowed && equal ? 0 : std::uint64_t{1} << i;
    }
    return misses;
}

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

// The bits of `bits` where mask has one, packed from bit 0 in order: what
// the PEXT instruction does at once, bit by bit.
inline std::uint64_t gather_one_by_one(std::uint64_t bits, std::uint64_t mask)
{
    std::uint64_t order = 0;
    for (unsigned count = 0; mask != 0; mask &= mask - 1, count++)
        order |= (bits & mask & -mask) != 0 ? std::uint64_t{1} << count : 0;
    return order;
}

#endif
