// The repeat-distance count done the plain way, one comparison for every
// pattern position and offset, for the program's count to be checked
// against entry for entry.
#ifndef KORVALEN_REFERENCE_REPEAT_DISTANCES_H
#define KORVALEN_REFERENCE_REPEAT_DISTANCES_H

#include <cstdint>
#include <utility>
#include <vector>

// (distance, occurrences) pairs, in the order the distances were first
// counted.
using distance_table = std::vector<std::pair<int, int>>;

// strncmp(pattern, group, 3) == 0, spelled out: the sanitizers intercept
// the C library's strncmp, which would slow the fuzzer down a hundredfold.
bool matches_as_strncmp(const char* pattern, const char* group);

distance_table reference_repeat_distances(const unsigned char* sample, std::uint32_t valid_length);

// The entries of the candidate table in use, as the count left them.
distance_table candidate_entries();

#endif
