#include "reference_repeat_distances.h"

#include "../../src/analysis/candidate_table.h"

#include <algorithm>
#include <cstring>

bool matches_as_strncmp(const char* pattern, const char* group)
{
    for (int i = 0; i < 3; i++) {
        if (pattern[i] != group[i])
            return false;
        if (pattern[i] == '\0')
            return true;
    }
    return true;
}

distance_table reference_repeat_distances(const unsigned char* sample, std::uint32_t valid_length)
{
    int window = static_cast<int>(std::min(valid_length, SCAN_WINDOW));
    distance_table counted;
    for (int pattern_at = 0; pattern_at <= window - 7; pattern_at++) {
        char pattern[4] = {};
        std::memcpy(pattern, sample + pattern_at, 3);
        int previous_match = pattern_at;
        for (int group_at = pattern_at + 3; group_at <= window - 4; group_at++) {
            const char* group = reinterpret_cast<const char*>(sample + group_at);
            if (!matches_as_strncmp(pattern, group))
                continue;
            int distance = group_at - previous_match;
            previous_match = group_at;
            auto entry = std::find_if(counted.begin(), counted.end(),
                                      [&](const auto& e) { return e.first == distance; });
            if (entry != counted.end())
                entry->second++;
            else
                counted.emplace_back(distance, 1);
        }
    }
    return counted;
}

distance_table candidate_entries()
{
    distance_table entries;
    for (std::uint32_t i = 0; i < candidate_count; i++)
        entries.emplace_back(candidate_table[i].distance, candidate_table[i].occurrences);
    return entries;
}
