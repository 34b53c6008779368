// Tables of values that only grow: the offsets of an index into another
// file, sorted keys, counters. Each value is a record of its width; a
// header before them holds values of its own (a count, a version) that
// break the order.
#ifndef KORVALEN_ASCENDING_VALUES_H
#define KORVALEN_ASCENDING_VALUES_H

#include "../base/file_sample.h"
#include "detect_step.h"

#include <cstdint>
#include <vector>

struct ascending_run {
    std::uint32_t width = 0; // 0: none found
    bool big_endian = false;
    // File offset of the first value of the run, and how many values it
    // holds up to the end of the file.
    std::uint64_t first = 0;
    std::uint64_t values = 0;
    // Bytes from one value to the next: the width where the values are
    // the records, else the record they are a field of, the records
    // ending at the file's end.
    std::uint32_t stride = 0;
};

struct ascending_choice {
    // Every width and byte order weighed, scored by the share of the file
    // the run to its end covers.
    std::vector<scored<ascending_run>> candidates;
    ascending_run choice;
};

// The run of unsigned values of one width (2, 4 or 8 bytes, either byte
// order) that grow strictly from some offset to the end of the file, when
// it covers nearly all of it.
ascending_choice find_ascending_values(const file_sample& sample);

// The shortest record, ending at the file's end, whose field of such
// values grows from record to record over nearly all of it.
ascending_run find_growing_field(const file_sample& sample);

#endif
