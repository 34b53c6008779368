#include "counted_directory.h"

#include <algorithm>
#include <array>
#include <numeric>
#include <vector>

namespace
{

// Containers state the count among their first fields: a font's at byte
// 4, a WOFF font's at 12, a colour profile's at 128.
constexpr std::size_t COUNT_REACH = 256;
// Between the count and the entries a header may hold a few more fields
// (a font's three search fields, a WOFF header's 30 bytes).
constexpr std::size_t MOST_BYTES_BETWEEN = 32;
// Fewer entries than this point inside a file by chance often enough; a
// directory of more than this many is no header's list of parts.
constexpr std::uint64_t FEWEST_ENTRIES = 3;
constexpr std::uint64_t MOST_ENTRIES = 4096;
// An entry holds a pointer and something beside it (a tag, a length).
constexpr std::array<std::uint64_t, 6> ENTRY_SIZES = {8, 12, 16, 20, 24, 32};
constexpr std::uint64_t POINTER = 4;
// The first part starts right after the directory, or after padding to an
// alignment of this many bytes at most: a count and pointers that chance
// put inside the file seldom put one there.
constexpr std::uint64_t FIRST_PART_SLACK = 16;
// The last part ends the file, but for padding to such an alignment.
constexpr std::uint64_t LAST_PART_SLACK = 16;
// Words the search reads at most, in all its shapes.
constexpr std::uint64_t READING_BUDGET = std::uint64_t{1} << 18;

struct words {
    byte_span bytes;
    bool big;

    std::uint64_t at(std::uint64_t offset, std::uint64_t width) const
    {
        std::uint64_t value = 0;
        for (std::uint64_t each = 0; each < width; each++)
            value = value << 8 | bytes[offset + (big ? each : width - 1 - each)];
        return value;
    }
};

struct shape {
    std::uint64_t header, entry, entries;

    std::uint64_t end() const
    {
        return header + entry * entries;
    }
    std::uint64_t field(std::uint64_t index, std::uint64_t within) const
    {
        return header + index * entry + within;
    }
};

// The words the search may still read: a file of words that all point
// inside it (one word over and over) would have every shape walk every
// entry. A directory is found long before this many.
struct budget {
    std::uint64_t left = READING_BUDGET;

    bool spend()
    {
        if (left == 0)
            return false;
        left--;
        return true;
    }
};

// The pointers at one place in every entry, when each falls past the
// directory and inside the file, no two alike in a row, and the lowest
// where the parts begin.
std::optional<std::vector<std::uint64_t>> pointers_at(const words& in, const shape& s,
                                                      std::uint64_t within, std::uint64_t size,
                                                      budget& reads)
{
    std::vector<std::uint64_t> pointers;
    for (std::uint64_t index = 0; index < s.entries; index++) {
        if (!reads.spend())
            return std::nullopt;
        std::uint64_t pointer = in.at(s.field(index, within), POINTER);
        if (pointer < s.end() || pointer >= size || (index > 0 && pointer == pointers.back()))
            return std::nullopt;
        pointers.push_back(pointer);
    }
    if (*std::min_element(pointers.begin(), pointers.end()) > s.end() + FIRST_PART_SLACK)
        return std::nullopt;
    return pointers;
}

// Whether the word beside the pointers is each part's length: the parts,
// taken in the order they stand, follow one another without overlapping,
// and the last ends with the file. Chance pointers into a file of records
// point at a few of them near its start.
bool lengths_fit(const words& in, const shape& s, std::uint64_t within,
                 const std::vector<std::uint64_t>& pointers, std::uint64_t size)
{
    std::vector<std::size_t> order(pointers.size());
    std::iota(order.begin(), order.end(), std::size_t{0});
    std::sort(order.begin(), order.end(),
              [&](std::size_t a, std::size_t b) { return pointers[a] < pointers[b]; });
    for (std::size_t rank = 0; rank < order.size(); rank++) {
        std::uint64_t length = in.at(s.field(order[rank], within), POINTER);
        std::uint64_t next = rank + 1 < order.size() ? pointers[order[rank + 1]] : size;
        if (length == 0 || pointers[order[rank]] + length > next)
            return false;
        if (rank + 1 == order.size() && pointers[order[rank]] + length + LAST_PART_SLACK < size)
            return false;
    }
    return true;
}

// Whether the bytes just before the directory read as one more entry whose
// part ends where the first part begins: then the header is entries too (a
// file that is a list of extents, one of whose lengths reads as a count),
// and the directory does not start there.
bool entry_before(const words& in, const shape& s, std::uint64_t pointer_at,
                  std::uint64_t length_at, std::uint64_t first_part)
{
    if (s.header < s.entry)
        return false;
    std::uint64_t before = s.header - s.entry;
    return in.at(before + pointer_at, POINTER) + in.at(before + length_at, POINTER) == first_part;
}

// How far past the directory's end the first part begins, when the
// entries point at parts with their lengths beside the pointers.
std::optional<std::uint64_t> points_at_parts(const words& in, const shape& s, std::uint64_t size,
                                             budget& reads)
{
    for (std::uint64_t within = 0; within + POINTER <= s.entry; within += POINTER) {
        std::optional<std::vector<std::uint64_t>> pointers =
            pointers_at(in, s, within, size, reads);
        if (!pointers)
            continue;
        std::uint64_t first_part = *std::min_element(pointers->begin(), pointers->end());
        // The word before the pointer wraps past zero at the entry's start,
        // and so stands outside it, as the one after does at its end.
        for (std::uint64_t length_at : {within - POINTER, within + POINTER}) {
            if (length_at > s.entry - POINTER || !lengths_fit(in, s, length_at, *pointers, size))
                continue;
            if (entry_before(in, s, within, length_at, first_part))
                return std::nullopt;
            return first_part - s.end();
        }
    }
    return std::nullopt;
}

// For each even offset a directory can start at and each entry size, the
// farthest place inside the file that a word of a first entry there
// points at (0 for none). Most shapes fail on their first entry, and
// on binary files of small numbers many words read as counts: reading the
// words once for all shapes keeps the search cheap.
using farthest_pointers = std::vector<std::array<std::uint64_t, ENTRY_SIZES.size()>>;

farthest_pointers first_entry_pointers(const words& in, std::uint64_t size)
{
    std::size_t reach = std::min(in.bytes.size(), COUNT_REACH + 4 + MOST_BYTES_BETWEEN +
                                                      static_cast<std::size_t>(ENTRY_SIZES.back()));
    std::vector<std::uint64_t> pointers;
    for (std::size_t at = 0; at + POINTER <= reach; at += 2) {
        std::uint64_t word = in.at(at, POINTER);
        pointers.push_back(word < size ? word : 0);
    }
    // Text's words all point past the end of any file short of 150 MB.
    farthest_pointers farthest;
    if (std::all_of(pointers.begin(), pointers.end(), [](std::uint64_t p) { return p == 0; }))
        return farthest;
    farthest.resize(pointers.size());
    // Each wider entry takes in the narrower one's words and a few more.
    for (std::size_t start = 0; start < pointers.size(); start++) {
        std::uint64_t most = 0;
        std::size_t size_at = 0;
        for (std::uint64_t within = 0; size_at < ENTRY_SIZES.size(); within += POINTER) {
            std::size_t at = start + within / 2;
            if (at < pointers.size())
                most = std::max(most, pointers[at]);
            while (size_at < ENTRY_SIZES.size() && ENTRY_SIZES[size_at] == within + POINTER)
                farthest[start][size_at++] = most;
        }
    }
    return farthest;
}

// Whether any first entry after a count that ends at from can point past
// the shortest directory of that many entries: the widest entries' words
// take in every narrower entry's.
bool reaches_past(const farthest_pointers& farthest, std::uint64_t from, std::uint64_t entries)
{
    std::uint64_t shortest_end = from + entries * ENTRY_SIZES.front();
    for (std::uint64_t header = from;
         header <= from + MOST_BYTES_BETWEEN && header / 2 < farthest.size(); header += 2) {
        if (farthest[header / 2].back() >= shortest_end)
            return true;
    }
    return false;
}

} // namespace

// Of the shapes that fit the earliest count, the one whose first part
// begins nearest its end: read one field early, a directory's entries
// still point at its parts, but past a gap. A later count may be a value
// inside the directory's own entries.
std::optional<counted_directory> find_counted_directory(byte_span start, std::uint64_t file_size)
{
    std::size_t reach = std::min(start.size(), COUNT_REACH);
    const words orders[] = {{start, false}, {start, true}};
    const farthest_pointers farthest[] = {first_entry_pointers(orders[0], file_size),
                                          first_entry_pointers(orders[1], file_size)};
    budget reads;
    std::optional<counted_directory> found;
    std::uint64_t found_gap = 0;
    for (std::size_t count_at = 0; count_at + 2 <= reach && !found; count_at += 2) {
        for (std::uint64_t width : {std::uint64_t{2}, std::uint64_t{4}}) {
            for (bool big : {false, true}) {
                const words& in = orders[big];
                if (count_at + width > start.size() || farthest[big].empty())
                    continue;
                std::uint64_t entries = in.at(count_at, width);
                if (entries < FEWEST_ENTRIES || entries > MOST_ENTRIES ||
                    !reaches_past(farthest[big], count_at + width, entries))
                    continue;
                for (std::uint64_t header = count_at + width;
                     header <= count_at + width + MOST_BYTES_BETWEEN; header += 2) {
                    for (std::size_t size_at = 0; size_at < ENTRY_SIZES.size(); size_at++) {
                        std::uint64_t entry = ENTRY_SIZES[size_at];
                        shape s{header, entry, entries};
                        if (s.end() > start.size() || s.end() >= file_size ||
                            farthest[big][header / 2][size_at] < s.end())
                            continue;
                        std::optional<std::uint64_t> gap = points_at_parts(in, s, file_size, reads);
                        if (gap && (!found || *gap < found_gap)) {
                            found = counted_directory{header, entry, entries};
                            found_gap = *gap;
                        }
                    }
                }
            }
        }
    }
    return found;
}
