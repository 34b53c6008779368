// Where rows of values (an image's pixels, a grid's cells) begin and end
// in a file: the header before them and the trailer after them, found by
// how much each byte differs in value from the byte a row away. Rows of an
// image are alike in value though hardly ever byte for byte, so the exact
// agreement record_bounds weighs says little of where they start.
#ifndef KORVALEN_ROW_BOUNDS_H
#define KORVALEN_ROW_BOUNDS_H

#include "../base/file_sample.h"

#include <cstdint>

struct row_bounds {
    bool found = false;
    std::uint64_t header = 0;
    std::uint64_t trailer = 0;
    std::uint64_t rows = 0; // a last row cut short counted
};

// The header, trailer and row count of a file whose values lie in rows of
// row bytes, or not found when the rows do not fill most of the file.
row_bounds find_row_bounds(const file_sample& sample, std::uint32_t row);

#endif
