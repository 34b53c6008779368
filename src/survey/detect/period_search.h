// The length at which the bytes of fixed-length records repeat their
// pattern, found from the bytes alone.
#ifndef KORVALEN_PERIOD_SEARCH_H
#define KORVALEN_PERIOD_SEARCH_H

#include "../base/byte_class.h"
#include "../base/file_sample.h"
#include "detect_step.h"

#include <cstdint>
#include <optional>
#include <vector>

constexpr std::uint32_t SHORTEST_PERIOD = 2;
constexpr std::uint32_t LONGEST_PERIOD = 65536;
// Of a length and a divisor of it that repeats at least this share as
// strongly, the divisor is the record: content that repeats itself (a tone,
// a cycle of record types) makes a multiple of the record stand out.
constexpr double DIVISOR_SHARE = 0.8;
// Weaker repeats than this are chance, not records.
constexpr double WEAKEST_REPEAT = 0.2;

struct period_guess {
    std::uint32_t length = 0; // 0: no period
    // How much more often bytes a length apart agree than chance would
    // have them: 0 by chance alone, 1 always.
    double strength = 0;
};

struct period_choice {
    // Every length weighed, with its strength at itself and its multiples.
    std::vector<scored<std::uint32_t>> candidates;
    period_guess choice;
};

// A column of records whose high four bits keep one value (a frame's sync
// mark, a type code) where that value is not common in the bytes at large.
struct column_mark {
    std::uint32_t column;
    unsigned nibble;
};

// The mark of records of length laid from the first of bytes, if any, in
// high bits other than zeros.
std::optional<column_mark> find_column_mark(byte_span bytes, std::uint32_t length);

// The record length that best explains bytes, which should be records
// rather than a header, or none when nothing repeats beyond chance. A
// length whose multiples line up as well wins over a short repeat inside a
// record; of a length and its multiples, the shortest that does as well
// wins. For text, text_classes gives its kinds of byte: records of text
// keep their kind of byte column by column even where every value differs.
period_choice find_period(byte_span bytes, const byte_class_table* text_classes);

#endif
