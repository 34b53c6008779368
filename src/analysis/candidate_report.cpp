#include "candidate_report.h"

#include "../process/exit_routine.h"
#include "../process/input_state.h"
#include "../process/keystroke.h"
#include "candidate_table.h"

#include <cinttypes>
#include <cstring>
#include <utility>

namespace
{

constexpr std::int32_t SHORTEST_RECORD = 8;
constexpr std::int32_t FEWEST_OCCURRENCES = 10;
constexpr std::uint32_t MOST_LISTED = 10;
constexpr int SAMPLE_RECORDS = 3;

bool is_usable_length(std::int32_t distance)
{
    return distance >= SHORTEST_RECORD && file_size % distance == 0;
}

bool passes(const candidate& entry)
{
    return entry.distance >= SHORTEST_RECORD && entry.occurrences >= FEWEST_OCCURRENCES;
}

void sort_by_occurrences()
{
    for (std::uint32_t i = 0; i + 1 < candidate_count; i++) {
        std::uint32_t best = i;
        for (std::uint32_t j = i + 1; j < candidate_count; j++) {
            if (candidate_table[j].occurrences > candidate_table[best].occurrences)
                best = j;
        }
        std::swap(candidate_table[i], candidate_table[best]);
    }
}

void list_candidates(std::FILE* out)
{
    for (std::uint32_t i = 0; i < candidate_count; i++) {
        if (passes(candidate_table[i]))
            std::fprintf(out, "[%3d     %7" PRId64 "] \n", candidate_table[i].distance,
                         file_size / candidate_table[i].distance);
    }
}

// The most counted length above 8. Failing that, entry 0: the one case is a
// table whose only passing distance is 8.
std::int32_t suggest_length()
{
    std::int32_t most_occurrences = 0;
    std::int32_t suggested = candidate_table[0].distance;
    for (std::uint32_t i = 0; i < candidate_count; i++) {
        if (candidate_table[i].occurrences > most_occurrences &&
            candidate_table[i].distance > SHORTEST_RECORD) {
            most_occurrences = candidate_table[i].occurrences;
            suggested = candidate_table[i].distance;
        }
    }
    return suggested;
}

// Only the bytes the read delivered are shown; past them a record is just
// its line feed. A NUL ends the record's text and takes its line feed
// with it, so the next record follows on the same line.
void write_sample_record(std::FILE* out, std::uint32_t valid_length, std::int64_t start,
                         std::int32_t length)
{
    std::int64_t end = start + length;
    if (end > valid_length)
        end = valid_length;
    if (start < end) {
        const unsigned char* record = sample_buffer + start;
        std::size_t shown = static_cast<std::size_t>(end - start);
        const void* nul = std::memchr(record, 0, shown);
        if (nul != nullptr) {
            std::fwrite(record, 1, static_cast<const unsigned char*>(nul) - record, out);
            return;
        }
        std::fwrite(record, 1, shown, out);
    }
    std::fputc('\n', out);
}

void show_sample_records(std::FILE* out, std::uint32_t valid_length, std::int32_t length)
{
    std::fprintf(out, "\nsuggested record length is %d characters, and sample\n\n", length);
    for (int record = 0; record < SAMPLE_RECORDS; record++)
        write_sample_record(out, valid_length, std::int64_t{record} * length, length);
}

} // namespace

void rank_candidates()
{
    for (std::uint32_t i = 0; i < candidate_count; i++) {
        if (!is_usable_length(candidate_table[i].distance))
            candidate_table[i] = {0, 0};
    }
    sort_by_occurrences();
    for (std::uint32_t i = 0; i < candidate_count; i++) {
        if (candidate_table[i].distance == 0 ||
            candidate_table[i].occurrences < FEWEST_OCCURRENCES) {
            candidate_count = i + 1;
            break;
        }
    }
}

std::uint32_t prompt_next_candidate(std::FILE* out, std::int32_t next_length,
                                    std::uint32_t shown_index)
{
    if (shown_index == candidate_count - 1)
        return shown_index + 1;
    std::fprintf(out, "\nhit return to see next possible record length of %d or ^C to quit",
                 next_length);
    int key = read_keystroke();
    if (key == KEY_CTRL_C || key == KEY_ESCAPE || key == 'x')
        exit_routine(USER_ABORTED);
    return shown_index + 1;
}

void report_candidates(std::FILE* out, std::uint32_t valid_length)
{
    rank_candidates();
    std::fprintf(out, "\nPossible record lengths for top %d occurances\n",
                 static_cast<int>(candidate_count) - 1);
    std::fprintf(out, "recl     no. recs\n\n");
    if (candidate_count > MOST_LISTED)
        candidate_count = MOST_LISTED;
    list_candidates(out);
    if (candidate_count < 2)
        return;

    std::int32_t length = suggest_length();
    for (std::uint32_t shown = 1; shown < candidate_count;) {
        if (shown >= 2)
            length = candidate_table[shown - 1].distance;
        show_sample_records(out, valid_length, length);
        shown = prompt_next_candidate(out, candidate_table[shown].distance, shown);
    }
}
