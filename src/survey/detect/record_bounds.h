// Where the records of one length begin and end in a file: the header
// before them and the trailer after them, found by how well each stretch of
// bytes fits the records seen in the file's middle.
#ifndef KORVALEN_RECORD_BOUNDS_H
#define KORVALEN_RECORD_BOUNDS_H

#include "../base/byte_class.h"
#include "../base/file_layout.h"
#include "../base/file_sample.h"

#include <cstdint>

struct record_bounds {
    bool found = false;
    std::uint64_t header = 0;
    std::uint64_t trailer = 0;
    std::uint64_t records = 0;
};

// The header, trailer and record count of a file of records of length
// bytes, or not found when the records do not fill most of the file in
// one unbroken run.
record_bounds find_record_bounds(const file_sample& sample, std::uint32_t length,
                                 const byte_class_table& classes);

#endif
