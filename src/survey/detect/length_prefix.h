// Whether each record of a file is led by its own length: a chain of
// prefixes walked from the first byte that lands exactly on the end of the
// file (or runs on past the end of the sample) with enough records on the
// way is no chance.
#ifndef KORVALEN_LENGTH_PREFIX_H
#define KORVALEN_LENGTH_PREFIX_H

#include "../base/file_layout.h"
#include "../base/file_sample.h"
#include "detect_step.h"

#include <optional>
#include <vector>

struct prefix_walk {
    length_prefix_form form;
    std::uint64_t records = 0;
    // Where the walk stood when the bytes ended or the chain broke.
    std::uint64_t covered = 0;
    bool whole = true;
    std::uint64_t shortest = 0;
    std::uint64_t usual = 0;
    std::uint64_t longest = 0;
};

struct length_prefix_choice {
    // Every form tried, scored by the records its chain walked when the
    // chain held to the end, 0 when it broke or was too short.
    std::vector<scored<length_prefix_form>> candidates;
    std::optional<prefix_walk> choice;
};

// start_is_whole_file: start holds the whole file, so the chain must end
// exactly at its end. file_size: none for a stream.
length_prefix_choice find_length_prefix(byte_span start, bool start_is_whole_file,
                                        std::optional<std::uint64_t> file_size);

#endif
