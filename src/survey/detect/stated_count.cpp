#include "stated_count.h"

#include <algorithm>

namespace
{

// Headers longer than this are documents of their own, not a count and a
// few fields before the records.
constexpr std::uint64_t LONGEST_HEADER = 4096;
// Small numbers (versions, flags, widths in bytes) are everywhere in a
// header: a count of this many records at least is a count. A 32-bit word
// equal to the file's record count by chance is then about one in a
// million per place.
constexpr std::uint64_t FEWEST_STATED_RECORDS = 16;
// Counts stand at even offsets in the formats that state them, among the
// first fields of the header (an image's height, a table's row count) or
// right before the records (a mesh's triangle count): a word elsewhere
// that equals a count is more often a value of the records' own.
constexpr std::size_t COUNT_ALIGNMENT = 2;
constexpr std::size_t EARLY_FIELDS = 64;
constexpr std::size_t COUNT_BYTES = 4;

std::uint64_t word_at(byte_span bytes, std::size_t at, bool big_endian)
{
    std::uint64_t value = 0;
    for (std::size_t each = 0; each < COUNT_BYTES; each++) {
        std::size_t from = big_endian ? at + each : at + COUNT_BYTES - 1 - each;
        value = value << 8 | bytes[from];
    }
    return value;
}

} // namespace

std::optional<stated_count> find_stated_count(const file_sample& sample, std::uint64_t length,
                                              std::uint64_t trailer, std::uint64_t found_header)
{
    if (!sample.file_size || length == 0 || *sample.file_size <= trailer)
        return std::nullopt;
    std::uint64_t body = *sample.file_size - trailer;
    // Whole records from the first byte: the early words are a record's
    // own values (ids, indexes up to the count), so only a count right
    // before the records can move their start.
    bool whole_from_start = found_header == 0 && body % length == 0;
    byte_span start = sample.start;
    std::size_t reach =
        static_cast<std::size_t>(std::min<std::uint64_t>(start.size(), LONGEST_HEADER));
    std::optional<stated_count> found;
    for (std::size_t at = 0; at + COUNT_BYTES <= reach; at += COUNT_ALIGNMENT) {
        for (bool big_endian : {false, true}) {
            std::uint64_t count = word_at(start, at, big_endian);
            if (count < FEWEST_STATED_RECORDS || count > body / length)
                continue;
            std::uint64_t header = body - count * length;
            if (header < at + COUNT_BYTES || header > LONGEST_HEADER ||
                ((at >= EARLY_FIELDS || whole_from_start) && header != at + COUNT_BYTES))
                continue;
            if (found && found->header != header)
                return std::nullopt;
            found = stated_count{header, count};
        }
    }
    return found;
}
