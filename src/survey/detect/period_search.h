// The length at which the bytes of fixed-length records repeat their
// pattern, found from the bytes alone.
#ifndef KORVALEN_PERIOD_SEARCH_H
#define KORVALEN_PERIOD_SEARCH_H

#include "../base/byte_class.h"
#include "../base/file_sample.h"

#include <cstdint>

constexpr std::uint32_t SHORTEST_PERIOD = 2;
constexpr std::uint32_t LONGEST_PERIOD = 65536;

// How strongly bytes repeat at a distance: 0 when bytes that far apart
// agree no more often than any two bytes of the file do, 1 when they
// always agree.
double period_strength(byte_span bytes, std::uint32_t period);

struct period_guess {
    std::uint32_t length = 0; // 0: no period
    double strength = 0;
};

// The record length that best explains bytes, which should be records
// rather than a header, or none when nothing repeats beyond chance. A
// length whose multiples line up as well wins over a short repeat inside a
// record; of a length and its multiples, the shortest that does as well
// wins. For text, text_classes gives its kinds of byte: records of text
// keep their kind of byte column by column even where every value differs.
period_guess find_period(byte_span bytes, const byte_class_table* text_classes);

#endif
