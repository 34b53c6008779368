// The first half of the fixed-length analysis: how far apart the 3-byte
// patterns of the sample's start recur.
#ifndef KORVALEN_REPEAT_DISTANCES_H
#define KORVALEN_REPEAT_DISTANCES_H

#include <cstdint>
#include <cstdio>

// Fills the candidate table from the sample and runs the candidate report
// on out.
void scan_repeat_distances(std::FILE* out, std::uint32_t valid_length);

// Fills the candidate table afresh: every distance at which a 3-byte
// pattern of the sample's first 500 bytes recurs, in the order first met.
void count_repeat_distances(std::uint32_t valid_length);

#endif
