// Many binary formats state how many records follow their header (a
// mesh's triangle count, an image's height, a table's row count) as a
// 32-bit integer among its first fields or right before the records. Where exactly one such count
// puts the records' start at a header that holds the count, that is the header: a header of zeros
// or of bytes like the records' own cannot be told from records by their bytes, but it can by the
// count it states.
#ifndef KORVALEN_STATED_COUNT_H
#define KORVALEN_STATED_COUNT_H

#include "../base/file_sample.h"

#include <cstdint>
#include <optional>

struct stated_count {
    std::uint64_t header = 0;
    std::uint64_t records = 0;
};

// The header that the one count the file's start states gives, for
// records of length bytes followed by trailer bytes; none when no count
// or more than one header fits. found_header is where the records' bytes
// put their start.
std::optional<stated_count> find_stated_count(const file_sample& sample, std::uint64_t length,
                                              std::uint64_t trailer, std::uint64_t found_header);

#endif
