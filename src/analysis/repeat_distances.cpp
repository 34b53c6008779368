#include "repeat_distances.h"

#include "../process/input_state.h"
#include "candidate_report.h"
#include "candidate_table.h"

#include <cstring>

candidate candidate_table[CANDIDATE_CAPACITY];
std::uint32_t candidate_count = 0;

namespace
{

constexpr std::uint32_t SHORTEST_WINDOW = 7;

// Entry number plus one of each distance in the table, 0 for none: a match
// finds its entry at once instead of walking up to 496 entries.
std::uint32_t entry_of_distance[LONGEST_DISTANCE + 1];

void clear_candidate_table()
{
    candidate_count = 0;
    std::memset(entry_of_distance, 0, sizeof entry_of_distance);
}

// Compares as strncmp(pattern, group, 3) does: a NUL shared by both ends
// the comparison with a match.
bool groups_match(const unsigned char* pattern, const unsigned char* group)
{
    for (int i = 0; i < 3; i++) {
        if (pattern[i] != group[i])
            return false;
        if (pattern[i] == 0)
            return true;
    }
    return true;
}

} // namespace

int add_distance(std::int32_t distance)
{
    // The scan cannot give any other distance; one from elsewhere has no
    // entry to count in.
    if (distance < 1 || distance > LONGEST_DISTANCE)
        return 0;
    std::uint32_t entry = entry_of_distance[distance];
    if (entry != 0) {
        candidate_table[entry - 1].occurrences++;
        return 0;
    }
    candidate_table[candidate_count] = {distance, 1};
    candidate_count++;
    entry_of_distance[distance] = candidate_count;
    return 0;
}

void count_repeat_distances(std::uint32_t valid_length)
{
    clear_candidate_table();
    std::uint32_t window = valid_length > SCAN_WINDOW ? SCAN_WINDOW : valid_length;
    if (window < SHORTEST_WINDOW)
        return;
    for (std::uint32_t pattern_at = 0; pattern_at <= window - 7; pattern_at++) {
        const unsigned char* pattern = sample_buffer + pattern_at;
        std::uint32_t previous_match = pattern_at;
        for (std::uint32_t group_at = pattern_at + 3; group_at <= window - 4; group_at++) {
            if (groups_match(pattern, sample_buffer + group_at)) {
                add_distance(static_cast<std::int32_t>(group_at - previous_match));
                previous_match = group_at;
            }
        }
    }
}

void scan_repeat_distances(std::FILE* out, std::uint32_t valid_length)
{
    count_repeat_distances(valid_length);
    report_candidates(out, valid_length);
}
