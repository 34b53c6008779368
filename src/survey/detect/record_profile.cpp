#include "record_profile.h"

#include "../base/byte_class.h"

#include <algorithm>
#include <array>
#include <vector>

namespace
{

// Fewer records than this say too little to hold the rest of the file to
// a byte or a class at any offset.
constexpr std::uint64_t LEAST_PROFILED_RECORDS = 32;
// Of a file the sample does not hold whole, a rule must show in this many
// of the places the sample read (the start and the later pieces): what
// one stretch of records has in common may be a value that changes slowly.
constexpr std::size_t LEAST_CONFIRMING_PLACES = 2;

struct column_tally {
    // The kinds every record so far holds at the column, as bits: each
    // byte is of one kind, so this is that kind's bit or none.
    std::uint8_t kinds_of_all = 0xFF;
    // A majority vote of the bytes (Boyer and Moore's): the byte most
    // records hold, if any holds most.
    unsigned char candidate = 0;
    std::uint32_t lead = 0;
};

// Calls visit(record bytes, place) for every whole record in each place
// the sample read.
template <typename Visit>
void each_record(const file_sample& sample, std::uint64_t first_record, std::uint64_t records_end,
                 std::uint32_t length, Visit visit)
{
    std::size_t place = 0;
    auto walk = [&](byte_span bytes, std::uint64_t offset) {
        std::uint64_t end = std::min<std::uint64_t>(records_end, offset + bytes.size());
        std::uint64_t record = first_record;
        if (record < offset)
            record += (offset - record + length - 1) / length * length;
        for (; record + length <= end; record += length)
            visit(bytes.data() + (record - offset), place);
        place++;
    };
    walk(sample.start, 0);
    for (const sample_piece& piece : sample.later)
        walk(piece.bytes, piece.offset);
}

// The places whose records the rules rest on.
std::size_t places_with_records(const file_sample& sample, std::uint64_t first_record,
                                std::uint64_t records_end, std::uint32_t length)
{
    std::vector<bool> seen(1 + sample.later.size(), false);
    each_record(sample, first_record, records_end, length,
                [&](const unsigned char*, std::size_t place) { seen[place] = true; });
    return static_cast<std::size_t>(std::count(seen.begin(), seen.end(), true));
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

// Whether every record holds one byte at the column. The vote's lead
// grows at every record only when each holds its candidate: no second
// pass is needed to count them.
bool one_byte_in_all(const column_tally& tally, std::uint64_t records)
{
    return tally.lead == records;
}

bool all_of_kind(const column_tally& tally, int kind)
{
    return (tally.kinds_of_all >> kind & 1) != 0;
}

// A digit that stayed put while the digit after it changed is the high
// digit of a counter or an amount: the next stretch of records may well
// hold another.
bool counter_digit(const std::vector<column_tally>& tallies, std::uint32_t column,
                   std::uint64_t records)
{
    int digit = kind_index(BYTE_DIGIT);
    for (std::uint32_t next = column + 1; next < tallies.size(); next++) {
        const column_tally& after = tallies[next];
        if (!all_of_kind(after, digit))
            return false;
        if (!one_byte_in_all(after, records))
            return all_of_kind(tallies[column], digit);
    }
    return false;
}

} // namespace

record_profile profile_records(const file_sample& sample, std::uint64_t first_record,
                               std::uint64_t records_end, std::uint32_t length,
                               const byte_class_table& classes)
{
    std::vector<column_tally> tallies(length);
    std::uint64_t records = 0;
    // Each byte's kind as its bit, looked up once, not worked out at every
    // byte.
    std::array<std::uint8_t, 256> kind_bit{};
    for (std::size_t byte = 0; byte < kind_bit.size(); byte++)
        kind_bit[byte] = static_cast<std::uint8_t>(1u << kind_index(classes[byte]));
    each_record(sample, first_record, records_end, length,
                [&](const unsigned char* record, std::size_t) {
                    for (std::uint32_t column = 0; column < length; column++) {
                        column_tally& tally = tallies[column];
                        tally.kinds_of_all &= kind_bit[record[column]];
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
    bool confirmed =
        sample_is_whole_file(sample) ||
        places_with_records(sample, first_record, records_end, length) >= LEAST_CONFIRMING_PLACES;
    if (records < LEAST_PROFILED_RECORDS || !confirmed)
        return profile;
    profile.allowed_classes.assign(length, 0xFF);
    profile.constant_byte.assign(length, -1);
    for (std::uint32_t column = 0; column < length; column++) {
        const column_tally& tally = tallies[column];
        if (one_byte_in_all(tally, records) && !counter_digit(tallies, column, records))
            profile.constant_byte[column] = tally.candidate;
        for (int kind = 0; kind < 8; kind++) {
            if (all_of_kind(tally, kind))
                profile.allowed_classes[column] = static_cast<std::uint8_t>(1 << kind);
        }
    }
    return profile;
}
