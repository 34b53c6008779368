#include "repeat_distances.h"

#include "../process/input_state.h"
#include "candidate_report.h"
#include "candidate_table.h"

#include <cstring>

candidate candidate_table[CANDIDATE_CAPACITY];
std::uint32_t candidate_count = 0;

// Two groups match as strncmp(pattern, group, 3) compares them: equal up to
// and including a NUL both hold, or equal in all three bytes. Matching is
// thus an equivalence, and the groups of the window fall into kinds. A
// pattern's matches are the groups of its kind from three bytes on: it
// counts the gap to the first of them, then each gap between consecutive
// groups of its kind. A gap between two groups of a kind is therefore
// counted once by every pattern of the kind at least three bytes before the
// earlier group, and the first pattern of the kind meets it before any
// other pattern does. Counting all of a gap's occurrences when that first
// pattern meets it, and each first match when its own pattern meets it,
// gives the same counts, with the distances first met in the same order, as
// comparing every pattern with every group; it takes a walk along each kind
// instead.

namespace
{

constexpr std::uint32_t SHORTEST_WINDOW = 7;
// A pattern's matches start three bytes on: a group that overlaps it is
// never compared.
constexpr std::uint32_t FIRST_OFFSET = 3;
// Offsets 0 to 496 hold the groups compared in a full window.
constexpr std::uint32_t MOST_GROUPS = SCAN_WINDOW - 3;
constexpr std::uint16_t NO_GROUP = 0xFFFF;
// More than twice the groups, so that a key finds its slot in a probe or two.
constexpr std::uint32_t KEY_SLOT_BITS = 10;
constexpr std::uint32_t KEY_SLOTS = 1u << KEY_SLOT_BITS;

// Entry number plus one of each distance in the table, 0 for none: a match
// finds its entry at once instead of walking up to 496 entries.
std::uint32_t entry_of_distance[LONGEST_DISTANCE + 1];

std::uint32_t key_of_group[MOST_GROUPS];
std::uint16_t next_of_kind[MOST_GROUPS];
bool first_of_kind[MOST_GROUPS];
// Offset plus one of the last group linked so far of the kind whose key
// hashes here, 0 for an empty slot.
std::uint16_t last_of_slot[KEY_SLOTS];

void clear_candidate_table()
{
    candidate_count = 0;
    std::memset(entry_of_distance, 0, sizeof entry_of_distance);
}

void count_occurrences(std::uint32_t distance, std::int32_t occurrences)
{
    std::uint32_t entry = entry_of_distance[distance];
    if (entry != 0) {
        candidate_table[entry - 1].occurrences += occurrences;
        return;
    }
    candidate_table[candidate_count] = {static_cast<std::int32_t>(distance), occurrences};
    candidate_count++;
    entry_of_distance[distance] = candidate_count;
}

// The group's bytes up to its first NUL, with the NUL: two groups match
// exactly when their keys are equal.
std::uint32_t group_key(const unsigned char* group)
{
    if (group[0] == 0)
        return 0;
    if (group[1] == 0)
        return group[0];
    if (group[2] == 0)
        return group[0] | group[1] << 8;
    return group[0] | group[1] << 8 | group[2] << 16;
}

std::uint32_t key_slot(std::uint32_t key)
{
    return (key * 0x9E3779B1u) >> (32 - KEY_SLOT_BITS);
}

// Links each group to the next group of its kind and marks the first group
// of each kind. Reads no byte past the last group.
void link_groups_of_a_kind(std::uint32_t groups)
{
    std::memset(last_of_slot, 0, sizeof last_of_slot);
    for (std::uint32_t group_at = 0; group_at < groups; group_at++) {
        std::uint32_t key = group_key(sample_buffer + group_at);
        key_of_group[group_at] = key;
        next_of_kind[group_at] = NO_GROUP;
        std::uint32_t slot = key_slot(key);
        while (last_of_slot[slot] != 0 && key_of_group[last_of_slot[slot] - 1] != key)
            slot = (slot + 1) % KEY_SLOTS;
        first_of_kind[group_at] = last_of_slot[slot] == 0;
        if (!first_of_kind[group_at])
            next_of_kind[last_of_slot[slot] - 1] = static_cast<std::uint16_t>(group_at);
        last_of_slot[slot] = static_cast<std::uint16_t>(group_at + 1);
    }
}

std::uint32_t first_match(std::uint32_t pattern_at)
{
    std::uint32_t match = next_of_kind[pattern_at];
    while (match != NO_GROUP && match < pattern_at + FIRST_OFFSET)
        match = next_of_kind[match];
    return match;
}

// Counts the first match of the pattern at pattern_at; the first pattern of
// a kind also counts every later gap of the kind, for all the patterns that
// see it.
void count_pattern(std::uint32_t pattern_at, std::uint32_t last_pattern)
{
    std::uint32_t match = first_match(pattern_at);
    if (match == NO_GROUP)
        return;
    count_occurrences(match - pattern_at, 1);
    if (!first_of_kind[pattern_at])
        return;
    // Patterns of the kind up to the farthest one that sees a gap; the
    // farthest only moves on, as the gaps do.
    std::int32_t patterns_seeing = 0;
    std::uint32_t next_pattern = pattern_at;
    std::uint32_t previous_match = match;
    for (match = next_of_kind[match]; match != NO_GROUP; match = next_of_kind[match]) {
        std::uint32_t farthest = previous_match - FIRST_OFFSET;
        if (farthest > last_pattern)
            farthest = last_pattern;
        while (next_pattern <= farthest) {
            patterns_seeing++;
            next_pattern = next_of_kind[next_pattern];
        }
        count_occurrences(match - previous_match, patterns_seeing);
        previous_match = match;
    }
}

} // namespace

void count_repeat_distances(std::uint32_t valid_length)
{
    clear_candidate_table();
    std::uint32_t window = valid_length > SCAN_WINDOW ? SCAN_WINDOW : valid_length;
    if (window < SHORTEST_WINDOW)
        return;
    // The last group compared starts at window - 4; the last pattern at
    // window - 7.
    link_groups_of_a_kind(window - 3);
    std::uint32_t last_pattern = window - 7;
    for (std::uint32_t pattern_at = 0; pattern_at <= last_pattern; pattern_at++)
        count_pattern(pattern_at, last_pattern);
}

void scan_repeat_distances(std::FILE* out, std::uint32_t valid_length)
{
    count_repeat_distances(valid_length);
    report_candidates(out, valid_length);
}
