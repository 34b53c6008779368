#include "record_profile.h"

#include <algorithm>
#include <array>
#include <vector>

namespace
{

constexpr std::size_t PROFILED_BYTES = std::size_t{1} << 18;

struct column_tally {
    std::array<std::uint32_t, 8> kinds{};
    // A majority vote of the bytes (Boyer and Moore's): the byte most
    // records hold, if any holds most.
    unsigned char candidate = 0;
    std::uint32_t lead = 0;
    std::uint32_t agreeing = 0;
};

// Calls visit(record bytes) for every whole record in each place the
// sample read, a quarter MiB of records at most from each.
template <typename Visit>
void each_record(const file_sample& sample, std::uint64_t first_record, std::uint64_t records_end,
                 std::uint32_t length, Visit visit)
{
    auto walk = [&](byte_span bytes, std::uint64_t offset) {
        std::size_t kept =
            std::min(bytes.size(), std::max<std::size_t>(PROFILED_BYTES, 2 * std::size_t{length}));
        std::uint64_t end = std::min(records_end, offset + kept);
        std::uint64_t record = first_record;
        if (record < offset)
            record += (offset - record + length - 1) / length * length;
        for (; record + length <= end; record += length)
            visit(bytes.data() + (record - offset));
    };
    walk(sample.start, 0);
    for (const sample_piece& piece : sample.later)
        walk(piece.bytes, piece.offset);
}

int kind_index(std::uint8_t kind)
{
    int index = 0;
    while (kind > 1) {
        kind >>= 1;
        index++;
    }
    return index;
}

bool all_of(std::uint64_t agreeing, std::uint64_t records)
{
    return agreeing == records;
}

} // namespace

record_profile profile_records(const file_sample& sample, std::uint64_t first_record,
                               std::uint64_t records_end, std::uint32_t length,
                               const byte_class_table& classes)
{
    std::vector<column_tally> tallies(length);
    std::uint64_t records = 0;
    each_record(sample, first_record, records_end, length, [&](const unsigned char* record) {
        for (std::uint32_t column = 0; column < length; column++) {
            column_tally& tally = tallies[column];
            tally.kinds[kind_index(classes[record[column]])]++;
            if (tally.lead == 0)
                tally.candidate = record[column];
            if (tally.candidate == record[column])
                tally.lead++;
            else
                tally.lead--;
        }
        records++;
    });
    record_profile profile;
    if (records == 0)
        return profile;
    each_record(sample, first_record, records_end, length, [&](const unsigned char* record) {
        for (std::uint32_t column = 0; column < length; column++)
            tallies[column].agreeing += tallies[column].candidate == record[column];
    });
    profile.allowed_classes.assign(length, 0xFF);
    profile.constant_byte.assign(length, -1);
    for (std::uint32_t column = 0; column < length; column++) {
        const column_tally& tally = tallies[column];
        if (all_of(tally.agreeing, records))
            profile.constant_byte[column] = tally.candidate;
        for (int kind = 0; kind < 8; kind++) {
            if (all_of(tally.kinds[kind], records))
                profile.allowed_classes[column] = static_cast<std::uint8_t>(1 << kind);
        }
    }
    return profile;
}
