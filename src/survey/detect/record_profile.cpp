#include "record_profile.h"

#include "../base/byte_class.h"
#include "../base/byte_kernels.h"

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

// What the records hold at each column, a vector per fact so that a
// record is taken in with a few passes the compiler can widen.
struct column_tallies {
    // The kinds every record so far holds at the column, as bits: each
    // byte is of one kind, so this is that kind's bit or none.
    std::vector<std::uint8_t> kinds_of_all;
    // The first record's bytes, and whether any record since differs.
    std::vector<unsigned char> first;
    std::vector<unsigned char> differs;

    explicit column_tallies(std::uint32_t length)
        : kinds_of_all(length, 0xFF), first(length, 0), differs(length, 0)
    {
    }
};

// A later place may lie out of line with the start by a few bytes put in
// or left out between them (--verify lines such records up again); its
// records are read where they line up with the start's, up to this far.
constexpr std::uint64_t SHIFT_MOST = 16;
// Records of a later place held to the start's constant bytes to find
// where its records lie.
constexpr std::uint64_t SHIFT_PROBE_RECORDS = 64;
// A place is read shifted only where that breaks at most this share of
// the constant bytes that reading it in line breaks: out of line, nearly
// every record breaks them; a shift that only breaks fewer is chance.
constexpr std::uint64_t SHIFT_BREAKS_ONE_IN = 4;

// Calls visit(first record's bytes, records, place) for the whole records
// of each place the sample read, one after another there, the records of
// place i starting shifts[i] bytes after where they would in line with the
// first (none: in line), modulo the length.
template <typename Visit>
void each_run(const file_sample& sample, std::uint64_t first_record, std::uint64_t records_end,
              std::uint32_t length, Visit visit, const std::vector<std::uint64_t>& shifts = {})
{
    std::size_t place = 0;
    auto walk = [&](byte_span bytes, std::uint64_t offset) {
        std::uint64_t first = first_record + (place < shifts.size() ? shifts[place] : 0);
        std::uint64_t end = std::min<std::uint64_t>(records_end, offset + bytes.size());
        std::uint64_t record = first;
        if (record < offset)
            record += (offset - record + length - 1) / length * length;
        std::uint64_t records = record + length <= end ? (end - record) / length : 0;
        visit(bytes.data() + (records > 0 ? record - offset : 0), records, place);
        place++;
    };
    walk(sample.start, 0);
    for (const sample_piece& piece : sample.later)
        walk(piece.bytes, piece.offset);
}

// Whether the start's constant bytes, read shift bytes on, differ from
// themselves somewhere: records of zeros and anything (an image) read the
// same at every shift, and a place cannot be lined up by them.
bool constants_tell(const std::vector<int>& constant, std::uint64_t shift)
{
    std::size_t length = constant.size();
    for (std::size_t column = 0; column < length; column++) {
        int other = constant[(column + shift) % length];
        if (constant[column] >= 0 && other >= 0 && other != constant[column])
            return true;
    }
    return false;
}

// Rows this long at least are marked at once: short records are taken a
// few to a row, so that the words run long.
constexpr std::uint64_t LEAST_MARKED_ROW = 256;

// Marks the columns where records of a run, one after another, differ
// from the first record of all. Only whether a column differs is kept: a
// run's records all agree with the first of all at a column where the
// run's first does and each record agrees with the one before it, and
// those pairs are marked a row of a few records at a time.
void take_differences(column_tallies& tallies, const unsigned char* run, std::uint64_t records,
                      std::uint32_t length, bool first)
{
    if (records == 0)
        return;
    if (first)
        std::copy(run, run + length, tallies.first.begin());
    unsigned char* differs = tallies.differs.data();
    mark_byte_differences(run, tallies.first.data(), length, differs);
    std::uint64_t row = (LEAST_MARKED_ROW + length - 1) / length * length;
    std::uint64_t pairs = (records - 1) * length;
    if (pairs == 0)
        return;
    std::vector<unsigned char> marks(std::min(row, pairs), 0);
    for (std::uint64_t at = 0; at < pairs; at += row)
        mark_byte_differences(run + at, run + at + length, std::min(row, pairs - at), marks.data());
    for (std::size_t at = 0; at < marks.size(); at++)
        differs[at % length] |= marks[at];
}

// Columns every record of the start holds one byte at, next to each other.
struct held_run {
    std::uint32_t from;
    std::uint32_t count;
};

// Runs this long at least are compared by the wide kernel; the call costs
// more than a shorter run's bytes one by one.
constexpr std::uint32_t LEAST_WIDE_RUN = 32;
// Records are taken whole, a block at a time, where at least one column
// in this many varies: a block looked up costs about what a few columns
// taken one by one do.
constexpr std::size_t WHOLE_RECORD_SHARE = 4;

std::uint64_t differing_bytes(const unsigned char* bytes, const unsigned char* held,
                              std::uint32_t count)
{
    if (count >= LEAST_WIDE_RUN)
        return count - count_equal_bytes(bytes, held, count);
    std::uint64_t differing = 0;
    for (std::uint32_t at = 0; at < count; at++)
        differing += bytes[at] != held[at];
    return differing;
}

// For each place, the shift at which its first records break the fewest of
// the bytes every record of the start holds (start, of start_records);
// 0 unless another breaks fewer.
std::vector<std::uint64_t> shifts_of_places(const file_sample& sample, std::uint64_t first_record,
                                            std::uint64_t records_end, std::uint32_t length,
                                            const column_tallies& start,
                                            std::uint64_t start_records)
{
    std::vector<std::uint64_t> shifts(1 + sample.later.size(), 0);
    bool first = start_records == 0;
    std::vector<int> constant(length, -1);
    for (std::uint32_t column = 0; column < length && !first; column++) {
        if (start.differs[column] == 0)
            constant[column] = start.first[column];
    }
    if (first ||
        static_cast<std::uint64_t>(std::count(constant.begin(), constant.end(), -1)) == length)
        return shifts;
    // The probes read those columns alone, a run of them at a time.
    std::vector<held_run> held;
    std::vector<unsigned char> held_bytes(length, 0);
    for (std::uint32_t column = 0; column < length; column++) {
        if (constant[column] < 0)
            continue;
        held_bytes[column] = static_cast<unsigned char>(constant[column]);
        if (!held.empty() && held.back().from + held.back().count == column)
            held.back().count++;
        else
            held.push_back({column, 1});
    }
    std::uint64_t most = std::min<std::uint64_t>(SHIFT_MOST, length - 1);
    for (std::size_t index = 0; index < sample.later.size(); index++) {
        const sample_piece& piece = sample.later[index];
        auto breaks = [&](std::uint64_t shift) {
            std::uint64_t start = first_record + shift;
            if (start < piece.offset)
                start += (piece.offset - start + length - 1) / length * length;
            std::uint64_t end =
                std::min<std::uint64_t>(records_end, piece.offset + piece.bytes.size());
            std::uint64_t count = 0;
            for (std::uint64_t record = 0; record < SHIFT_PROBE_RECORDS && start + length <= end;
                 record++, start += length) {
                const unsigned char* bytes = piece.bytes.data() + (start - piece.offset);
                for (held_run run : held)
                    count +=
                        differing_bytes(bytes + run.from, held_bytes.data() + run.from, run.count);
            }
            return count;
        };
        std::uint64_t in_line = breaks(0);
        std::uint64_t fewest = in_line;
        // Bytes left out read as the shift of the rest of a record.
        for (std::uint64_t shift = 1; shift <= most && fewest > 0; shift++) {
            for (std::uint64_t way : {shift, length - shift}) {
                if (!constants_tell(constant, way))
                    continue;
                std::uint64_t count = breaks(way);
                if (count < fewest && count * SHIFT_BREAKS_ONE_IN <= in_line) {
                    fewest = count;
                    shifts[index + 1] = way;
                }
            }
        }
    }
    return shifts;
}

// The places whose records the rules rest on.
std::size_t places_with_records(const file_sample& sample, std::uint64_t first_record,
                                std::uint64_t records_end, std::uint32_t length)
{
    std::size_t places = 0;
    each_run(
        sample, first_record, records_end, length,
        [&](const unsigned char*, std::uint64_t records, std::size_t) { places += records > 0; });
    return places;
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

// Whether every record holds one byte at the column.
bool one_byte_in_all(const column_tallies& tallies, std::uint32_t column)
{
    return tallies.differs[column] == 0;
}

bool all_of_kind(const column_tallies& tallies, std::uint32_t column, int kind)
{
    return (tallies.kinds_of_all[column] >> kind & 1) != 0;
}

// A digit that stayed put while the digit after it changed is the high
// digit of a counter or an amount: the next stretch of records may well
// hold another.
bool counter_digit(const column_tallies& tallies, std::uint32_t column)
{
    int digit = kind_index(BYTE_DIGIT);
    for (std::uint32_t next = column + 1; next < tallies.first.size(); next++) {
        if (!all_of_kind(tallies, next, digit))
            return false;
        if (!one_byte_in_all(tallies, next))
            return all_of_kind(tallies, column, digit);
    }
    return false;
}

// The kinds of the columns whose bytes vary: a column of one byte is of
// that byte's kind, and most of a record is often such (padding, codes).
// Where many columns vary the records are taken whole, a block at a time,
// the columns of one byte left as they are by taken.
void take_kinds(column_tallies& tallies, const unsigned char* run, std::uint64_t records,
                std::uint32_t length, const std::vector<std::uint32_t>& varying,
                const std::array<std::uint8_t, 256>& kind_bit,
                const std::vector<unsigned char>& taken)
{
    std::uint8_t* kinds = tallies.kinds_of_all.data();
    if (varying.size() * WHOLE_RECORD_SHARE >= length) {
        and_mapped_records(run, records, length, kind_bit.data(), taken.data(), kinds);
        return;
    }
    // Four columns a turn: the loop's own count and test cost as much as
    // a column.
    const std::uint32_t* columns = varying.data();
    std::size_t count = varying.size();
    for (std::uint64_t record = 0; record < records; record++, run += length) {
        std::size_t each = 0;
        for (; each + 4 <= count; each += 4) {
            kinds[columns[each]] &= kind_bit[run[columns[each]]];
            kinds[columns[each + 1]] &= kind_bit[run[columns[each + 1]]];
            kinds[columns[each + 2]] &= kind_bit[run[columns[each + 2]]];
            kinds[columns[each + 3]] &= kind_bit[run[columns[each + 3]]];
        }
        for (; each < count; each++)
            kinds[columns[each]] &= kind_bit[run[columns[each]]];
    }
}

} // namespace

record_profile profile_records(const file_sample& sample, std::uint64_t first_record,
                               std::uint64_t records_end, std::uint32_t length,
                               const byte_class_table& classes)
{
    column_tallies tallies(length);
    std::uint64_t records = 0;
    // Each byte's kind as its bit, looked up once, not worked out at every
    // byte.
    std::array<std::uint8_t, 256> kind_bit{};
    for (std::size_t byte = 0; byte < kind_bit.size(); byte++)
        kind_bit[byte] = static_cast<std::uint8_t>(1u << kind_index(classes[byte]));
    // The start's records first: the bytes they all hold line up the
    // later places, whose records are then taken where they line up.
    each_run(sample, first_record, records_end, length,
             [&](const unsigned char* run, std::uint64_t count, std::size_t place) {
                 if (place != 0)
                     return;
                 take_differences(tallies, run, count, length, records == 0);
                 records += count;
             });
    std::vector<std::uint64_t> shifts =
        shifts_of_places(sample, first_record, records_end, length, tallies, records);
    each_run(
        sample, first_record, records_end, length,
        [&](const unsigned char* run, std::uint64_t count, std::size_t place) {
            if (place == 0)
                return;
            take_differences(tallies, run, count, length, records == 0);
            records += count;
        },
        shifts);
    std::vector<std::uint32_t> varying;
    for (std::uint32_t column = 0; column < length && records > 0; column++) {
        if (tallies.differs[column] != 0)
            varying.push_back(column);
        else
            tallies.kinds_of_all[column] = kind_bit[tallies.first[column]];
    }
    std::vector<unsigned char> taken(length, 0);
    for (std::uint32_t column : varying)
        taken[column] = 0xFF;
    if (!varying.empty())
        each_run(
            sample, first_record, records_end, length,
            [&](const unsigned char* run, std::uint64_t count, std::size_t) {
                take_kinds(tallies, run, count, length, varying, kind_bit, taken);
            },
            shifts);
    record_profile profile;
    bool confirmed =
        sample_is_whole_file(sample) ||
        places_with_records(sample, first_record, records_end, length) >= LEAST_CONFIRMING_PLACES;
    if (records < LEAST_PROFILED_RECORDS || !confirmed)
        return profile;
    profile.allowed_classes.assign(length, 0xFF);
    profile.constant_byte.assign(length, -1);
    for (std::uint32_t column = 0; column < length; column++) {
        if (one_byte_in_all(tallies, column) && !counter_digit(tallies, column))
            profile.constant_byte[column] = tallies.first[column];
        for (int kind = 0; kind < 8; kind++) {
            if (all_of_kind(tallies, column, kind))
                profile.allowed_classes[column] = static_cast<std::uint8_t>(1 << kind);
        }
    }
    return profile;
}
