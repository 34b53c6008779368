// Where the records of one length begin and end in a file: the header
// before them and the trailer after them, found by how well each stretch of
// bytes fits the records seen in the file's middle.
#ifndef KORVALEN_RECORD_BOUNDS_H
#define KORVALEN_RECORD_BOUNDS_H

#include "byte_class.h"
#include "file_layout.h"
#include "file_sample.h"

#include <cstdint>

// Adds the records of length bytes that lie whole in bytes (found at file
// offset bytes_offset) between file offsets first_record and records_end to
// profile, and returns how many there were.
std::uint64_t add_to_profile(record_profile& profile, byte_span bytes, std::uint64_t bytes_offset,
                             std::uint64_t first_record, std::uint64_t records_end,
                             std::uint32_t length, const byte_class_table& classes);

// A byte fits a column of the profile when its class was seen there and,
// where every record held the same byte, it is that byte.
bool fits_profile(const record_profile& profile, std::uint32_t column, unsigned char byte,
                  const byte_class_table& classes);

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
