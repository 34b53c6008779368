#include "binary_columns.h"

#include "../base/byte_class.h"
#include "../base/byte_kernels.h"
#include "../base/byte_order.h"
#include "../base/text_decode.h"
#include "text_columns.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <span>
#include <string>
#include <string_view>

namespace
{

// Fewer records leave every pattern of a few bytes to chance: eight
// records agree on a random byte's nibbles far too rarely to be mistaken.
constexpr std::size_t MIN_RECORDS = 8;
// Longer records are a format's blocks (sectors, pages, images' rows)
// rather than a copybook's records; and counts of every byte value at
// every offset stay small below this.
constexpr std::uint64_t MAX_RECORD_LENGTH = 4096;
// Packed decimal holds at most 31 digits and its sign: 16 bytes.
constexpr std::size_t MAX_PACKED_BYTES = 16;
// The widths of binary integers, widest first: a wider one that fits is
// the one value, not two neighbours.
constexpr std::array<std::size_t, 3> INTEGER_WIDTHS = {8, 4, 2};
// A small integer's top byte only extends its sign: its high nibble is 0
// or F in every record. Floating-point numbers put their exponent there
// (0x3F, 0x40, 0xC0...), and so are not taken for integers.
constexpr unsigned char SIGN_NIBBLE_PLUS = 0x0;
constexpr unsigned char SIGN_NIBBLE_MINUS = 0xF;
// An integer's low byte must vary by this many bits of entropy more than
// its high byte for its byte order to be told: small values leave the high
// byte nearly constant.
constexpr double ORDER_MARGIN_BITS = 1.0;
// From the high byte to the low one, each byte varies at least as much as
// the one before, but for this much that a sample's chance allows.
constexpr double RAMP_SLACK_BITS = 0.5;

// Floating-point numbers of measurements lie within this many powers of
// two either side of 1 (about 1e-12 to 1e12); small integers read as
// floats are far smaller (or not numbers), so a word of such floats in
// every record is no integer.
constexpr int FLOAT_EXPONENT_REACH = 40;
constexpr int FLOAT32_BIAS = 127;
constexpr int FLOAT64_BIAS = 1023;
// ASCII's letters are common bytes of binary numbers (a float's exponent
// byte 0x40 to 0x43 is @ to C); a lone one is not taken for text there.
constexpr std::size_t MIN_ASCII_TEXT_BYTES = 2;

// An offset where this share of records, but not all, has a form's byte
// is a field whose records disagree: the digits beside it are its own,
// not a field of their own.
constexpr double NEAR_SHARE = 0.5;

// A zoned sign byte's digit varies as the digit before it does, but for
// this much that a sample's chance allows.
constexpr double SIGN_DIGIT_SLACK_BITS = 0.5;

// Offsets whose byte counts are taken in one walk down the records: their
// counters, 1 KiB an offset, fit the processor's nearest cache (a matter
// of speed alone).
constexpr std::size_t OFFSETS_COUNTED_AT_ONCE = 32;

// Nibbles of the forms.
constexpr unsigned ZONE_DIGIT = 0xF;
constexpr unsigned SIGN_PLUS = 0xC;
constexpr unsigned SIGN_MINUS = 0xD;
constexpr unsigned SIGN_NONE = 0xF;
constexpr unsigned LARGEST_DIGIT = 9;

constexpr std::uint8_t TEXT_CLASSES =
    BYTE_BLANK | BYTE_DIGIT | BYTE_UPPER | BYTE_LOWER | BYTE_PUNCTUATION;
constexpr std::uint8_t LETTER_CLASSES = BYTE_UPPER | BYTE_LOWER;

bool is_sign(unsigned nibble)
{
    return nibble == SIGN_PLUS || nibble == SIGN_MINUS || nibble == SIGN_NONE;
}

bool is_bcd(unsigned char byte)
{
    return (byte >> 4) <= LARGEST_DIGIT && (byte & 0xF) <= LARGEST_DIGIT;
}

bool is_packed_sign(unsigned char byte)
{
    return (byte >> 4) <= LARGEST_DIGIT && is_sign(byte & 0xFu);
}

bool is_zoned_digit(unsigned char byte)
{
    return (byte >> 4) == ZONE_DIGIT && (byte & 0xF) <= LARGEST_DIGIT;
}

bool is_zoned_sign(unsigned char byte)
{
    return is_sign(byte >> 4) && (byte & 0xF) <= LARGEST_DIGIT;
}

// What every record holds at one offset.
struct offset_facts {
    bool zoned_digit = true;
    bool zoned_sign = true;
    bool bcd = true;
    bool near_zoned_digit = false;
    bool near_bcd = false;
    bool packed_sign = true;
    bool text = true;
    bool letter = false;
    bool blank = true;
    bool constant = true;
    std::size_t distinct = 0;
    double entropy = 0;
    // Of the low nibbles alone: a zoned sign byte's digit.
    double digit_entropy = 0;
};

// How many records hold each byte value at each offset: the facts of an
// offset, the code of the text and most shares of a form are read off
// these counts, not off the records again.
// The values each offset holds, rising, are listed too: most offsets hold
// a few, and each step reads them rather than all 256 counts.
struct offset_counts {
    std::size_t records = 0;
    std::vector<std::uint32_t> table;
    std::vector<unsigned char> values;
    // Where each offset's values start in them, and past the last.
    std::vector<std::uint32_t> values_from;

    std::span<const std::uint32_t> at(std::size_t offset) const
    {
        return {table.data() + offset * 256, 256};
    }

    std::span<const unsigned char> values_at(std::size_t offset) const
    {
        return {values.data() + values_from[offset], values.data() + values_from[offset + 1]};
    }

    std::size_t length() const
    {
        return table.size() / 256;
    }
};

// Where the run of records from from ends: records one after another in
// the bytes, as those of one piece of the sample are.
std::size_t end_of_run(const std::vector<byte_span>& records, std::size_t from)
{
    std::size_t to = from + 1;
    while (to < records.size() &&
           records[to].data() == records[to - 1].data() + records[to - 1].size())
        to++;
    return to;
}

// Records this long at least, a row of them, are marked in one call:
// short records are taken a few to a row, so that the call's own cost is
// shared by many bytes.
constexpr std::size_t LEAST_MARKED_ROW = 256;

// Marks the offsets where records of a run, one after another in the
// bytes, differ from the first record of all. Only whether an offset
// differs is kept: every record of the run holds the first one's byte
// where the run's first does and each record agrees with the one before
// it, and those pairs are marked a row of a few records at a time.
void mark_run_differences(const unsigned char* run, std::size_t records, std::size_t length,
                          const unsigned char* first, unsigned char* differs,
                          std::vector<unsigned char>& marks)
{
    mark_byte_differences(run, first, length, differs);
    std::size_t pairs = (records - 1) * length;
    if (pairs == 0)
        return;
    std::size_t row = (LEAST_MARKED_ROW + length - 1) / length * length;
    marks.assign(std::min(row, pairs), 0);
    for (std::size_t at = 0; at < pairs; at += row)
        mark_byte_differences(run + at, run + at + length, std::min(row, pairs - at), marks.data());
    for (std::size_t record = 0; record < marks.size(); record += length) {
        for (std::size_t at = 0; at < length; at++)
            differs[at] |= marks[record + at];
    }
}

offset_counts count_offsets(const std::vector<byte_span>& records)
{
    std::size_t length = records.empty() ? 0 : records[0].size();
    offset_counts counts{records.size(), std::vector<std::uint32_t>(length * 256), {}, {0}};
    if (records.empty())
        return counts;
    // An offset where every record holds the first one's byte (padding,
    // a record type) is counted at once; much of a record often is.
    std::vector<unsigned char> differs(length, 0);
    const unsigned char* first_record = records[0].data();
    std::vector<unsigned char> marks;
    for (std::size_t from = 0; from < records.size();) {
        std::size_t to = end_of_run(records, from);
        mark_run_differences(records[from].data(), to - from, length, first_record, differs.data(),
                             marks);
        from = to;
    }
    std::vector<std::uint32_t> varying;
    for (std::size_t at = 0; at < length; at++) {
        if (differs[at] == 0)
            counts.table[at * 256 + first_record[at]] = static_cast<std::uint32_t>(records.size());
        else
            varying.push_back(static_cast<std::uint32_t>(at));
    }
    // Counted a few offsets at a time down all the records: their
    // counters stay in the processor's nearest cache, where a walk along
    // whole records would spread its counts over all of the table.
    // Each offset's counters are found once a group, not at every record.
    std::array<std::size_t, OFFSETS_COUNTED_AT_ONCE> offsets;
    std::array<std::uint32_t*, OFFSETS_COUNTED_AT_ONCE> counters;
    for (std::size_t first = 0; first < varying.size(); first += OFFSETS_COUNTED_AT_ONCE) {
        std::size_t group = std::min(varying.size() - first, OFFSETS_COUNTED_AT_ONCE);
        for (std::size_t each = 0; each < group; each++) {
            offsets[each] = varying[first + each];
            counters[each] = counts.table.data() + offsets[each] * 256;
        }
        // Four offsets a turn: the loop's own count and test cost as much
        // as a count.
        for (byte_span record : records) {
            const unsigned char* bytes = record.data();
            std::size_t each = 0;
            for (; each + 4 <= group; each += 4) {
                counters[each][bytes[offsets[each]]]++;
                counters[each + 1][bytes[offsets[each + 1]]]++;
                counters[each + 2][bytes[offsets[each + 2]]]++;
                counters[each + 3][bytes[offsets[each + 3]]]++;
            }
            for (; each < group; each++)
                counters[each][bytes[offsets[each]]]++;
        }
    }
    for (std::size_t at = 0; at < length; at++) {
        if (differs[at] == 0) {
            counts.values.push_back(first_record[at]);
        } else {
            std::span<const std::uint32_t> held = counts.at(at);
            for (unsigned value = 0; value < held.size(); value++) {
                if (held[value] != 0)
                    counts.values.push_back(static_cast<unsigned char>(value));
            }
        }
        counts.values_from.push_back(static_cast<std::uint32_t>(counts.values.size()));
    }
    return counts;
}

std::vector<offset_facts> facts_of(const offset_counts& offsets, const byte_class_table& classes)
{
    std::size_t length = offsets.length();
    std::size_t records = offsets.records;
    std::vector<offset_facts> facts(length);
    for (std::size_t at = 0; at < length; at++) {
        std::span<const std::uint32_t> counts = offsets.at(at);
        offset_facts& fact = facts[at];
        std::size_t zoned_digits = 0, bcds = 0;
        // The low nibbles' counts, taken from the values seen alone.
        std::array<std::size_t, 16> digits{};
        for (unsigned char byte : offsets.values_at(at)) {
            fact.zoned_digit = fact.zoned_digit && is_zoned_digit(byte);
            fact.zoned_sign = fact.zoned_sign && is_zoned_sign(byte);
            fact.bcd = fact.bcd && is_bcd(byte);
            fact.packed_sign = fact.packed_sign && is_packed_sign(byte);
            fact.text = fact.text && (classes[byte] & TEXT_CLASSES) != 0;
            fact.letter = fact.letter || (classes[byte] & LETTER_CLASSES) != 0;
            fact.blank = fact.blank && classes[byte] == BYTE_BLANK;
            zoned_digits += is_zoned_digit(byte) ? counts[byte] : 0;
            bcds += is_bcd(byte) ? counts[byte] : 0;
            fact.distinct++;
            digits[byte & 0xF] += counts[byte];
            double share = static_cast<double>(counts[byte]) / records;
            fact.entropy -= share * std::log2(share);
        }
        for (std::size_t digit : digits) {
            double share = static_cast<double>(digit) / records;
            fact.digit_entropy -= digit > 0 ? share * std::log2(share) : 0;
        }
        fact.constant = fact.distinct == 1;
        fact.near_zoned_digit =
            !fact.zoned_digit && zoned_digits >= NEAR_SHARE * static_cast<double>(records);
        fact.near_bcd = !fact.bcd && bcds >= NEAR_SHARE * static_cast<double>(records);
    }
    return facts;
}

// How each offset was claimed while the record is cut into columns.
struct cutting {
    const std::vector<byte_span>& records;
    const offset_counts& counts;
    const std::vector<offset_facts>& facts;
    // Bytes, not bits: an offset's mark is read at every step.
    std::vector<unsigned char> claimed;
    std::vector<binary_column> columns;

    void claim(std::size_t start, std::size_t end, binary_field field)
    {
        std::fill(claimed.begin() + static_cast<std::ptrdiff_t>(start),
                  claimed.begin() + static_cast<std::ptrdiff_t>(end), 1);
        columns.push_back(
            {{static_cast<std::uint32_t>(start), static_cast<std::uint32_t>(end)}, field, {}});
    }

    bool varies(std::size_t start, std::size_t end) const
    {
        for (std::size_t at = start; at < end; at++) {
            if (!facts[at].constant)
                return true;
        }
        return false;
    }
};

// Digits of zone F, the last one's zone the sign where a record has C or
// D there. A lone signed byte is not taken: the letters A to R are such
// bytes in EBCDIC. Nor are digits beside an offset where most records
// but not all have a digit.
void claim_zoned(cutting& cut)
{
    std::size_t length = cut.facts.size();
    for (std::size_t at = 0; at < length;) {
        if (!cut.facts[at].zoned_digit) {
            at++;
            continue;
        }
        std::size_t end = at;
        while (end < length && cut.facts[end].zoned_digit)
            end++;
        // The sign byte holds the last digit, which varies at least as the
        // one before it does; a letter after digits rarely does.
        bool is_signed =
            end < length && cut.facts[end].zoned_sign &&
            cut.facts[end].digit_entropy + SIGN_DIGIT_SLACK_BITS >= cut.facts[end - 1].entropy;
        if (is_signed)
            end++;
        bool broken = (at > 0 && cut.facts[at - 1].near_zoned_digit) ||
                      (end < length && cut.facts[end].near_zoned_digit);
        if (cut.varies(at, end) && !broken)
            cut.claim(at, end, {binary_form::zoned_decimal, false, is_signed});
        at = end;
    }
}

// A sign nibble in every record, and before it bytes of two digits each.
// A byte that is text in every record stops the digits: a name's blanks
// are 0x40, two digits' byte too, and names sit before amounts.
void claim_packed(cutting& cut)
{
    for (std::size_t sign = 0; sign < cut.facts.size(); sign++) {
        if (cut.claimed[sign] || !cut.facts[sign].packed_sign)
            continue;
        std::size_t start = sign;
        while (start > 0 && sign - start + 1 < MAX_PACKED_BYTES && !cut.claimed[start - 1] &&
               cut.facts[start - 1].bcd && !cut.facts[start - 1].text)
            start--;
        if (!cut.varies(start, sign + 1) || (start > 0 && cut.facts[start - 1].near_bcd))
            continue;
        bool negative = false;
        for (byte_span record : cut.records)
            negative = negative || (record[sign] & 0xFu) == SIGN_MINUS;
        cut.claim(start, sign + 1, {binary_form::packed_decimal, false, negative});
    }
}

// Runs of text, cut where blanks or the kind of character line up in every
// record; a run of blanks alone is filler.
void claim_text(cutting& cut, std::string_view decoded, text_encoding code)
{
    std::size_t length = cut.facts.size();
    for (std::size_t at = 0; at < length;) {
        if (cut.claimed[at] || !cut.facts[at].text) {
            at++;
            continue;
        }
        std::size_t end = at;
        bool letter = false;
        for (; end < length && !cut.claimed[end] && cut.facts[end].text; end++)
            letter = letter || cut.facts[end].letter;
        if (code != text_encoding::ebcdic && end - at < MIN_ASCII_TEXT_BYTES) {
            at = end;
            continue;
        }
        std::vector<std::string_view> slices;
        slices.reserve(cut.records.size());
        for (std::size_t record = 0; record < cut.records.size(); record++)
            slices.push_back(decoded.substr(record * length + at, end - at));
        std::vector<column_span> spans = find_text_columns(slices).choice;
        if (!letter && !cut.varies(at, end))
            spans.clear();
        if (spans.empty()) {
            cut.claim(at, end, {binary_form::filler, false, false});
        } else {
            // Blanks after a field's text belong to it, those before the
            // first to the first.
            for (std::size_t each = 0; each < spans.size(); each++) {
                std::size_t from = each == 0 ? at : at + spans[each].start;
                std::size_t to = each + 1 < spans.size() ? at + spans[each + 1].start : end;
                cut.claim(from, to, {binary_form::text, false, false, code});
            }
        }
        at = end;
    }
}

double entropy_of(const cutting& cut, std::size_t at)
{
    return cut.facts[at].entropy;
}

// The value of width bytes read unsigned in the byte order: a word's
// width at once, as every integer and float is, any other a byte at a
// time.
std::uint64_t unsigned_at(const unsigned char* bytes, std::size_t width, bool big_endian)
{
    switch (width) {
    case 2:
        return word_in_order<std::uint16_t>(bytes, big_endian);
    case 4:
        return word_in_order<std::uint32_t>(bytes, big_endian);
    case 8:
        return word_in_order<std::uint64_t>(bytes, big_endian);
    }
    std::uint64_t value = 0;
    for (std::size_t each = 0; each < width; each++)
        value = value << 8 | bytes[big_endian ? each : width - 1 - each];
    return value;
}

// Values read in the byte order rise record by record: a counter.
bool rises(const cutting& cut, std::size_t start, std::size_t width, bool big_endian)
{
    std::uint64_t last = 0;
    for (std::size_t record = 0; record < cut.records.size(); record++) {
        std::uint64_t value = unsigned_at(cut.records[record].data() + start, width, big_endian);
        if (record > 0 && value <= last)
            return false;
        last = value;
    }
    return true;
}

// The evidence that [start, start + width) is one integer in the byte
// order: a counter, or a small value in every record whose low byte
// varies more than its high one by as much. Negative where it is not one.
double integer_evidence(const cutting& cut, std::size_t start, std::size_t width, bool big_endian)
{
    std::size_t high = big_endian ? start : start + width - 1;
    std::size_t low = big_endian ? start + width - 1 : start;
    if (cut.facts[low].distinct < 2)
        return -1;
    if (rises(cut, start, width, big_endian) && !rises(cut, start, width, !big_endian))
        return entropy_of(cut, low) - entropy_of(cut, high) + ORDER_MARGIN_BITS;
    // Values that are not a counter are odd in some record and even in
    // another; the mantissas of floats of a few plain values (0.5, 1.5,
    // 3.0) end in zero bits, and so do not pass for integers.
    // Some record odd where not all are. Both this and the sign nibble
    // are asked of the values each offset holds, not of every record.
    unsigned char any = 0, all = 0xFF;
    for (unsigned char value : cut.counts.values_at(low)) {
        any |= value;
        all &= value;
    }
    if ((any & 1) == 0 || (all & 1) != 0)
        return -1;
    for (unsigned char value : cut.counts.values_at(high)) {
        unsigned nibble = value >> 4;
        if (nibble != SIGN_NIBBLE_PLUS && nibble != SIGN_NIBBLE_MINUS)
            return -1;
    }
    for (std::size_t step = 0; step + 1 < width; step++) {
        std::size_t higher = big_endian ? start + step : start + width - 1 - step;
        std::size_t lower = big_endian ? higher + 1 : higher - 1;
        if (entropy_of(cut, lower) + RAMP_SLACK_BITS < entropy_of(cut, higher))
            return -1;
    }
    double margin = entropy_of(cut, low) - entropy_of(cut, high);
    return margin >= ORDER_MARGIN_BITS ? margin : -1;
}

// A double holds every value of this many bytes exactly.
constexpr std::size_t EXACT_DOUBLE_BYTES = 6;

// A value read unsigned as a double: exact to six bytes, a wider one
// rounded at each byte as it is taken in (the comparisons below have
// always seen it so). Of seven or eight bytes, all but the last two come
// to the same exactly however taken, and only those two round. Either way
// a greater word is never a smaller double.
double double_of(std::uint64_t word, std::size_t width)
{
    if (width <= EXACT_DOUBLE_BYTES)
        return static_cast<double>(word);
    double value = static_cast<double>(word >> 16);
    value = value * 256 + static_cast<double>(word >> 8 & 0xFF);
    return value * 256 + static_cast<double>(word & 0xFF);
}

// Whether the values read as two's complement lie closer together than
// read unsigned, every record's value taken as a double.
bool signed_by_records(const cutting& cut, std::size_t start, std::size_t width, bool big_endian)
{
    double unsigned_low = 0, unsigned_high = 0, signed_low = 0, signed_high = 0;
    double span = std::ldexp(1.0, static_cast<int>(width * 8));
    for (std::size_t record = 0; record < cut.records.size(); record++) {
        double value =
            double_of(unsigned_at(cut.records[record].data() + start, width, big_endian), width);
        double as_signed = value >= span / 2 ? value - span : value;
        unsigned_low = record == 0 ? value : std::min(unsigned_low, value);
        unsigned_high = record == 0 ? value : std::max(unsigned_high, value);
        signed_low = record == 0 ? as_signed : std::min(signed_low, as_signed);
        signed_high = record == 0 ? as_signed : std::max(signed_high, as_signed);
    }
    return signed_high - signed_low < unsigned_high - unsigned_low;
}

// Read as two's complement the values lie closer together than read
// unsigned: small numbers either side of zero. As a greater word is never
// a smaller double, the least and greatest words of each sign are all the
// doubles asked: unless a word below the sign bit rounds up to it, and so
// reads as negative, when each record's double is asked.
bool signed_values(const cutting& cut, std::size_t start, std::size_t width, bool big_endian)
{
    const std::uint64_t sign = std::uint64_t{1} << (width * 8 - 1);
    std::uint64_t positive_low = ~std::uint64_t{0}, positive_high = 0;
    std::uint64_t negative_low = ~std::uint64_t{0}, negative_high = 0;
    bool positives = false, negatives = false;
    for (byte_span record : cut.records) {
        std::uint64_t word = unsigned_at(record.data() + start, width, big_endian);
        if ((word & sign) != 0) {
            negatives = true;
            negative_low = std::min(negative_low, word);
            negative_high = std::max(negative_high, word);
        } else {
            positives = true;
            positive_low = std::min(positive_low, word);
            positive_high = std::max(positive_high, word);
        }
    }
    double span = std::ldexp(1.0, static_cast<int>(width * 8));
    if (positives && double_of(positive_high, width) >= span / 2)
        return signed_by_records(cut, start, width, big_endian);
    double unsigned_low = double_of(positives ? positive_low : negative_low, width);
    double unsigned_high = double_of(negatives ? negative_high : positive_high, width);
    double signed_low = negatives ? double_of(negative_low, width) - span : unsigned_low;
    double signed_high =
        positives ? double_of(positive_high, width) : double_of(negative_high, width) - span;
    return signed_high - signed_low < unsigned_high - unsigned_low;
}

// Every record holds a float of a measurement's size there, or zero.
bool plain_floats(const cutting& cut, std::size_t start, std::size_t width, bool big_endian)
{
    // Asked first, as it costs nothing: padding is most of many records.
    if (!cut.varies(start, start + width))
        return false;
    bool nonzero = false;
    int exponent_bits = width == 4 ? 8 : 11;
    int bias = width == 4 ? FLOAT32_BIAS : FLOAT64_BIAS;
    for (byte_span record : cut.records) {
        std::uint64_t bits = unsigned_at(record.data() + start, width, big_endian);
        std::uint64_t magnitude = bits & ~(std::uint64_t{1} << (width * 8 - 1));
        if (magnitude == 0)
            continue;
        int exponent = static_cast<int>(magnitude >> (width * 8 - 1 - exponent_bits));
        if (std::abs(exponent - bias) > FLOAT_EXPONENT_REACH)
            return false;
        nonzero = true;
    }
    return nonzero;
}

// Where floats lie, how wide they are; 0 where none do.
std::size_t float_width(const cutting& cut, std::size_t start, std::size_t room)
{
    for (std::size_t width : {std::size_t{8}, std::size_t{4}}) {
        for (bool big_endian : {true, false}) {
            if (width <= room && plain_floats(cut, start, width, big_endian))
                return width;
        }
    }
    return 0;
}

// Bytes of no form, or filler, joined to the same before them.
void claim_undecided(cutting& cut, std::size_t start, std::size_t end, binary_form form)
{
    if (!cut.columns.empty() && cut.columns.back().span.end == start &&
        cut.columns.back().field.form == form) {
        std::fill(cut.claimed.begin() + static_cast<std::ptrdiff_t>(start),
                  cut.claimed.begin() + static_cast<std::ptrdiff_t>(end), 1);
        cut.columns.back().span.end = static_cast<std::uint32_t>(end);
    } else {
        cut.claim(start, end, {form, false, false});
    }
}

// The offsets nothing else claimed: integers where their bytes vary as an
// integer's do, filler where every record has the same, bytes otherwise.
// Floats are not typed, but their bytes are kept from passing for
// integers.
void claim_rest(cutting& cut)
{
    std::size_t length = cut.facts.size();
    // Where the unclaimed offsets from at end: a claim here takes offsets
    // from at on and before it, so it holds until at passes it.
    std::size_t free = 0;
    for (std::size_t at = 0; at < length;) {
        if (cut.claimed[at]) {
            at++;
            continue;
        }
        if (free <= at) {
            free = at;
            while (free < length && !cut.claimed[free])
                free++;
        }
        if (std::size_t floats = float_width(cut, at, free - at); floats > 0) {
            claim_undecided(cut, at, at + floats, binary_form::bytes);
            continue;
        }
        double best = -1;
        bool big_endian_best = false;
        std::size_t width = 0;
        for (std::size_t each : INTEGER_WIDTHS) {
            for (bool big_endian : {true, false}) {
                double evidence =
                    each <= free - at ? integer_evidence(cut, at, each, big_endian) : -1;
                if (evidence > best && width <= each) {
                    best = evidence;
                    width = each;
                    big_endian_best = big_endian;
                }
            }
            if (width > 0)
                break;
        }
        // Whether its values are signed is asked of the one chosen alone.
        if (width > 0) {
            cut.claim(at, at + width,
                      {binary_form::integer, big_endian_best,
                       signed_values(cut, at, width, big_endian_best)});
        } else {
            claim_undecided(cut, at, at + 1,
                            cut.facts[at].constant ? binary_form::filler : binary_form::bytes);
        }
    }
}

// The share of records whose bytes in the span all pass fits(byte, last).
// Told from the counts where they decide it, as they mostly do: every
// record fits where at each offset every byte does, none where at one
// offset no byte does.
template <typename Fits> double share_fitting(const cutting& cut, column_span span, Fits fits)
{
    bool all_fit = true;
    for (std::size_t at = span.start; at < span.end; at++) {
        std::span<const std::uint32_t> counts = cut.counts.at(at);
        std::size_t fitting_here = 0;
        for (unsigned char value : cut.counts.values_at(at)) {
            if (fits(value, at + 1 == span.end))
                fitting_here += counts[value];
        }
        if (fitting_here == 0)
            return 0;
        all_fit = all_fit && fitting_here == cut.records.size();
    }
    if (all_fit)
        return 1;
    std::size_t fitting = 0;
    for (byte_span record : cut.records) {
        bool all = true;
        for (std::size_t at = span.start; at < span.end && all; at++)
            all = fits(record[at], at + 1 == span.end);
        fitting += all;
    }
    return static_cast<double>(fitting) / cut.records.size();
}

// The share of records whose bytes in the span have the form.
double form_share(const cutting& cut, column_span span, binary_form form, text_encoding code)
{
    const byte_class_table& classes = byte_classes_of(code);
    byte_span first = cut.records[0];
    switch (form) {
    case binary_form::zoned_decimal:
        return share_fitting(cut, span, [](unsigned char byte, bool last) {
            return is_zoned_digit(byte) || (last && is_zoned_sign(byte));
        });
    case binary_form::packed_decimal:
        return share_fitting(cut, span, [](unsigned char byte, bool last) {
            return last ? is_packed_sign(byte) : is_bcd(byte);
        });
    case binary_form::text:
        return share_fitting(cut, span, [&classes](unsigned char byte, bool) {
            return (classes[byte] & TEXT_CLASSES) != 0;
        });
    case binary_form::filler: {
        if (!cut.varies(span.start, span.end))
            return 1;
        // Every record holds the first one's byte at an offset of one
        // byte: the records are read at the others alone, and where only
        // one is left its count tells.
        std::vector<std::size_t> varying;
        for (std::size_t at = span.start; at < span.end; at++) {
            if (!cut.facts[at].constant)
                varying.push_back(at);
        }
        // The rarest of the first record's bytes asked first: most records
        // fail there. Where no other record holds it, none but the first
        // fits.
        auto held = [&](std::size_t at) { return cut.counts.at(at)[first[at]]; };
        std::sort(varying.begin(), varying.end(), [&](std::size_t a, std::size_t b) {
            return held(a) != held(b) ? held(a) < held(b) : a < b;
        });
        std::size_t fitting = 0;
        if (varying.size() == 1 || held(varying[0]) == 1) {
            fitting = held(varying[0]);
        } else {
            for (byte_span record : cut.records) {
                std::size_t each = 0;
                while (each < varying.size() && record[varying[each]] == first[varying[each]])
                    each++;
                fitting += each == varying.size();
            }
        }
        return static_cast<double>(fitting) / cut.records.size();
    }
    default:
        return 1;
    }
}

void weigh_candidates(const cutting& cut, binary_column& column, text_encoding code)
{
    for (binary_form form : {binary_form::text, binary_form::zoned_decimal,
                             binary_form::packed_decimal, binary_form::filler})
        column.candidates.push_back({form, form_share(cut, column.span, form, code)});
    std::size_t width = column.span.end - column.span.start;
    double integer = 0;
    if (std::find(INTEGER_WIDTHS.begin(), INTEGER_WIDTHS.end(), width) != INTEGER_WIDTHS.end())
        integer = std::max(integer_evidence(cut, column.span.start, width, true),
                           integer_evidence(cut, column.span.start, width, false)) /
                  8;
    column.candidates.push_back({binary_form::integer, std::clamp(integer, 0.0, 1.0)});
}

// Filler next to filler is one stretch, whichever step found each.
void merge_filler(std::vector<binary_column>& columns)
{
    std::vector<binary_column> merged;
    for (binary_column& column : columns) {
        if (!merged.empty() && merged.back().field.form == binary_form::filler &&
            column.field.form == binary_form::filler)
            merged.back().span.end = column.span.end;
        else
            merged.push_back(std::move(column));
    }
    columns = std::move(merged);
}

text_encoding text_code_from(const offset_counts& offsets)
{
    if (offsets.records == 0)
        return text_encoding::ascii;
    // Offsets where every record holds text and some record a letter:
    // where names and codes lie in that code. Both codes' bits are looked
    // up in one table.
    constexpr std::uint8_t ASCII_TEXT = 1, ASCII_LETTER = 2, EBCDIC_TEXT = 4, EBCDIC_LETTER = 8;
    const byte_class_table& ascii = byte_classes_of(text_encoding::ascii);
    const byte_class_table& ebcdic = byte_classes_of(text_encoding::ebcdic);
    std::array<std::uint8_t, 256> bits{};
    for (std::size_t byte = 0; byte < bits.size(); byte++)
        bits[byte] =
            static_cast<std::uint8_t>(((ascii[byte] & TEXT_CLASSES) != 0 ? ASCII_TEXT : 0) |
                                      ((ascii[byte] & LETTER_CLASSES) != 0 ? ASCII_LETTER : 0) |
                                      ((ebcdic[byte] & TEXT_CLASSES) != 0 ? EBCDIC_TEXT : 0) |
                                      ((ebcdic[byte] & LETTER_CLASSES) != 0 ? EBCDIC_LETTER : 0));
    std::size_t length = offsets.length();
    std::size_t ascii_offsets = 0, ebcdic_offsets = 0;
    for (std::size_t at = 0; at < length; at++) {
        std::uint8_t all_of = 0xFF, any_of = 0;
        for (unsigned char byte : offsets.values_at(at)) {
            all_of &= bits[byte];
            any_of |= bits[byte];
        }
        ascii_offsets += (all_of & ASCII_TEXT) != 0 && (any_of & ASCII_LETTER) != 0;
        ebcdic_offsets += (all_of & EBCDIC_TEXT) != 0 && (any_of & EBCDIC_LETTER) != 0;
    }
    return ebcdic_offsets > ascii_offsets ? text_encoding::ebcdic : text_encoding::ascii;
}

binary_columns_choice columns_of(const std::vector<byte_span>& records, const offset_counts& counts,
                                 text_encoding code)
{
    binary_columns_choice result;
    if (records.size() < MIN_RECORDS || records[0].empty())
        return result;
    std::vector<offset_facts> facts = facts_of(counts, byte_classes_of(code));
    // Both codes map a byte to a byte, so the records are decoded as one:
    // a run of them one after another in the bytes is copied in one go,
    // and records that are all one run are not copied at all.
    std::size_t length = records[0].size();
    std::vector<unsigned char> joined;
    byte_span all_records;
    for (std::size_t from = 0; from < records.size();) {
        std::size_t to = end_of_run(records, from);
        byte_span run(records[from].data(), (to - from) * length);
        if (from == 0 && to == records.size()) {
            all_records = run;
        } else {
            joined.reserve(records.size() * length);
            joined.insert(joined.end(), run.begin(), run.end());
            all_records = byte_span(joined);
        }
        from = to;
    }
    // Kept whole, not copied out: its text is the joined bytes themselves
    // or a translation it holds.
    decoded_text decoded = decode_text(all_records, 0, code);
    cutting cut{records, counts, facts, std::vector<unsigned char>(facts.size(), 0), {}};
    if (code == text_encoding::ebcdic)
        claim_zoned(cut);
    claim_packed(cut);
    claim_text(cut, decoded.text, code);
    claim_rest(cut);
    std::sort(
        cut.columns.begin(), cut.columns.end(),
        [](const binary_column& a, const binary_column& b) { return a.span.start < b.span.start; });
    merge_filler(cut.columns);
    bool any_form = false;
    for (binary_column& column : cut.columns) {
        weigh_candidates(cut, column, code);
        any_form = any_form || (column.field.form != binary_form::bytes &&
                                column.field.form != binary_form::filler);
    }
    if (any_form)
        result.choice = std::move(cut.columns);
    return result;
}

// The whole records of the sample, the later pieces' too.
std::vector<byte_span> sampled_records(const file_sample& sample, const file_layout& layout)
{
    std::uint64_t length = *layout.record_length;
    std::uint64_t end = layout.header_length + layout.records.value_or(0) * length;
    std::vector<byte_span> records;
    // As many as the sample's bytes could hold, reserved at once.
    std::uint64_t held = sample.start.size();
    for (const sample_piece& piece : sample.later)
        held += piece.bytes.size();
    records.reserve(held / length + 1);
    auto take = [&](byte_span bytes, std::uint64_t offset) {
        std::uint64_t first =
            offset <= layout.header_length
                ? layout.header_length
                : layout.header_length +
                      (offset - layout.header_length + length - 1) / length * length;
        for (std::uint64_t at = first; at + length <= std::min(end, offset + bytes.size());
             at += length)
            records.push_back(bytes.subspan(at - offset, length));
    };
    take(sample.start, 0);
    for (const sample_piece& piece : sample.later) {
        if (piece.offset >= sample.start.size())
            take(piece.bytes, piece.offset);
    }
    return records;
}

value_type loaders_type(binary_form form)
{
    switch (form) {
    case binary_form::integer:
        return value_type::integer;
    case binary_form::zoned_decimal:
    case binary_form::packed_decimal:
        return value_type::decimal;
    default:
        break;
    }
    return value_type::text;
}

} // namespace

text_encoding text_code_of(const std::vector<byte_span>& records)
{
    return text_code_from(count_offsets(records));
}

binary_columns_choice find_binary_columns(const std::vector<byte_span>& records, text_encoding code)
{
    return columns_of(records, count_offsets(records), code);
}

// The columns inside each span a format's header states, found in that
// span's bytes alone: the header's fields are never one wider value.
std::vector<binary_column> columns_in_spans(const std::vector<byte_span>& records,
                                            const std::vector<column_span>& spans,
                                            text_encoding code)
{
    std::vector<binary_column> columns;
    for (const column_span& span : spans) {
        if (span.end > records[0].size() || span.start >= span.end)
            return {};
        std::vector<byte_span> parts;
        parts.reserve(records.size());
        for (byte_span record : records)
            parts.push_back(record.subspan(span.start, span.end - span.start));
        std::vector<binary_column> found = columns_of(parts, count_offsets(parts), code).choice;
        if (found.empty())
            found.push_back({{0, span.end - span.start}, {binary_form::bytes, false, false}, {}});
        for (binary_column& column : found) {
            column.span.start += span.start;
            column.span.end += span.start;
            columns.push_back(column);
        }
    }
    return columns;
}

bool describe_binary_columns(const file_sample& sample, file_layout& layout)
{
    bool binary =
        layout.encoding == text_encoding::binary || layout.encoding == text_encoding::ebcdic;
    if (!binary || layout.kind != record_layout::fixed_length || !layout.record_length ||
        *layout.record_length > MAX_RECORD_LENGTH ||
        (!layout.format_name.empty() && !layout.records_are_values) || layout.element_length ||
        !layout.records)
        return false;
    std::vector<byte_span> records = sampled_records(sample, layout);
    offset_counts counts = count_offsets(records);
    text_encoding code =
        layout.encoding == text_encoding::ebcdic ? text_encoding::ebcdic : text_code_from(counts);
    layout.described_columns.clear();
    std::vector<binary_column> columns = layout.columns.empty() || records.empty()
                                             ? columns_of(records, counts, code).choice
                                             : columns_in_spans(records, layout.columns, code);
    for (const binary_column& column : columns) {
        column_description described;
        described.type = loaders_type(column.field.form);
        described.span = column.span;
        described.binary = column.field;
        layout.described_columns.push_back(described);
    }
    return true;
}
