// Rows of values: images, grids, volumes and raster bands hold values of
// one size (a sample, a pixel) in rows of one length. Neighbouring rows
// are alike in value though hardly ever byte for byte, so the row is found
// where values a row apart differ least, and the value is the element.
#ifndef KORVALEN_ELEMENT_PERIOD_H
#define KORVALEN_ELEMENT_PERIOD_H

#include "../base/file_sample.h"
#include "detect_step.h"

#include <cstdint>
#include <vector>

// The longest value read as a number; longer elements (pixels of several
// samples, records of mixed fields) are weighed byte by byte.
constexpr std::uint32_t LONGEST_ELEMENT = 16;

struct element_guess {
    std::uint32_t element = 0; // bytes of one value; 0: no rows found
    std::uint32_t row = 0;     // bytes of one row of them
    // How much closer values a row apart are than values at lengths near
    // it: 0 no closer, 1 equal.
    double strength = 0;
};

struct element_choice {
    // Every row length weighed (in bytes) with its strength.
    std::vector<scored<std::uint32_t>> candidates;
    element_guess choice;
};

// The row of values of element bytes each (1 when the bytes showed no
// shorter period) that bytes are laid out in, or none when no row length
// lines values up.
element_choice find_element_rows(byte_span bytes, std::uint32_t element);

#endif
