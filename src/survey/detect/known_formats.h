// Formats whose own header states where the records are, read by the
// header's documented fields rather than guessed from the bytes.
#ifndef KORVALEN_KNOWN_FORMATS_H
#define KORVALEN_KNOWN_FORMATS_H

#include "../base/file_layout.h"
#include "../base/file_sample.h"

#include <cstdint>
#include <optional>
#include <vector>

struct stated_layout {
    const char* format_name;
    std::uint64_t header;
    std::uint64_t record_length;
    std::uint64_t records;
    std::uint64_t trailer;
    // The format's records differ in length, as its header says.
    bool varying = false;
    // The fields of a record, where the header describes them.
    std::vector<column_span> columns = {};
    // The records hold text fields rather than any bytes.
    bool records_are_text = false;
    // The records are plain numbers, not samples or pages of any bytes.
    bool records_are_values = false;
    // The size of the values a record is a row of (a voxel, an array's
    // item), where the header states it.
    std::uint64_t element = 0;
};

// The layout the file's header states, when the start of the file is the
// header of a known format and what it states fits the file's size.
std::optional<stated_layout> read_stated_layout(byte_span start, std::uint64_t file_size);

#endif
