// The record lengths the fixed-length analysis considers: every distance at
// which a 3-byte pattern of the sample recurs, with how often it was met.
#ifndef KORVALEN_CANDIDATE_TABLE_H
#define KORVALEN_CANDIDATE_TABLE_H

#include <cstdint>

struct candidate {
    std::int32_t distance;
    std::int32_t occurrences;
};

// Only the first 500 bytes of the sample are scanned, so no distance
// exceeds 496 and the table has room for every one that can arise.
constexpr std::uint32_t SCAN_WINDOW = 500;
constexpr std::int32_t LONGEST_DISTANCE = SCAN_WINDOW - 4;
constexpr std::uint32_t CANDIDATE_CAPACITY = LONGEST_DISTANCE;

extern candidate candidate_table[CANDIDATE_CAPACITY];
extern std::uint32_t candidate_count;

#endif
