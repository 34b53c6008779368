// The second half of the fixed-length analysis: the likely record lengths,
// each shown with the file's first three records cut at that length.
#ifndef KORVALEN_CANDIDATE_REPORT_H
#define KORVALEN_CANDIDATE_REPORT_H

#include <cstdint>
#include <cstdio>

// Ranks the candidate table and writes the list and the samples to out.
// Sample records show only the first valid_length bytes of the sample.
// Quitting at the pager ends the run with USER_ABORTED.
void report_candidates(std::FILE* out, std::uint32_t valid_length);

// Keeps the distances that can be this file's record length, most counted
// first, and cuts the table behind the first one that cannot.
void rank_candidates();

// The pager between two lengths. Returns shown_index + 1.
std::uint32_t prompt_next_candidate(std::FILE* out, std::int32_t next_length,
                                    std::uint32_t shown_index);

#endif
