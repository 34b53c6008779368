#include "../../../src/survey/detect/binary_columns.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>

namespace
{

using bytes = std::vector<unsigned char>;

constexpr std::size_t RECORDS = 40;

// EBCDIC (code page 037) of the letters, digits and blank the cases use.
unsigned char ebcdic(char c)
{
    if (c >= '0' && c <= '9')
        return static_cast<unsigned char>(0xF0 + (c - '0'));
    if (c >= 'A' && c <= 'I')
        return static_cast<unsigned char>(0xC1 + (c - 'A'));
    if (c >= 'J' && c <= 'R')
        return static_cast<unsigned char>(0xD1 + (c - 'J'));
    if (c >= 'S' && c <= 'Z')
        return static_cast<unsigned char>(0xE2 + (c - 'S'));
    return 0x40;
}

void text(bytes& out, std::string value, std::size_t width)
{
    value.resize(width, ' ');
    for (char c : value)
        out.push_back(ebcdic(c));
}

void zoned(bytes& out, long value, std::size_t width, bool is_signed)
{
    std::string digits = std::to_string(std::labs(value));
    digits.insert(0, width - digits.size(), '0');
    for (char digit : digits)
        out.push_back(static_cast<unsigned char>(0xF0 | (digit - '0')));
    if (is_signed)
        out.back() = static_cast<unsigned char>((value < 0 ? 0xD0 : 0xC0) | (out.back() & 0xF));
}

void packed(bytes& out, long value, std::size_t width, unsigned sign_plus = 0xC)
{
    std::string digits = std::to_string(std::labs(value));
    digits.insert(0, width * 2 - 1 - digits.size(), '0');
    unsigned sign = value < 0 ? 0xD : sign_plus;
    for (std::size_t at = 0; at < width; at++) {
        unsigned high = static_cast<unsigned>(digits[2 * at] - '0');
        unsigned low = at + 1 < width ? static_cast<unsigned>(digits[2 * at + 1] - '0') : sign;
        out.push_back(static_cast<unsigned char>(high << 4 | low));
    }
}

void integer(bytes& out, long long value, std::size_t width, bool big_endian)
{
    for (std::size_t at = 0; at < width; at++) {
        std::size_t shift = 8 * (big_endian ? width - 1 - at : at);
        out.push_back(static_cast<unsigned char>(static_cast<unsigned long long>(value) >> shift));
    }
}

// A value of the record that looks drawn at random, from -range to range.
long spread(std::size_t record, long range, long seed)
{
    std::uint64_t mixed = (record + 1) * 0x9E3779B97F4A7C15u ^ static_cast<std::uint64_t>(seed);
    mixed ^= mixed >> 29;
    mixed *= 0xBF58476D1CE4E5B9u;
    mixed ^= mixed >> 32;
    return static_cast<long>(mixed % static_cast<std::uint64_t>(2 * range + 1)) - range;
}

const char* NAMES[] = {"SMITH", "JONES", "DAVIS", "MILLER", "LEE", "CLARK", "BROWN"};

struct columns_case {
    const char* name;
    std::function<void(bytes&, std::size_t)> record;
    // Each column as start-end form, with its byte order and sign.
    const char* expected;
    std::size_t records = RECORDS;
};

std::string describe(const std::vector<binary_column>& columns)
{
    std::string text;
    for (const binary_column& column : columns) {
        text += std::to_string(column.span.start) + "-" + std::to_string(column.span.end) + " " +
                binary_form_name(column.field.form);
        if (column.field.form == binary_form::integer)
            text += column.field.big_endian ? ",be" : ",le";
        text += column.field.is_signed ? ",signed " : " ";
    }
    return text;
}

class BinaryColumns : public testing::TestWithParam<columns_case>
{
};

TEST_P(BinaryColumns, Chooses)
{
    std::vector<bytes> built(GetParam().records);
    std::vector<byte_span> records;
    for (std::size_t record = 0; record < built.size(); record++) {
        GetParam().record(built[record], record);
        records.push_back(built[record]);
    }
    binary_columns_choice found = find_binary_columns(records, text_encoding::ebcdic);
    EXPECT_EQ(describe(found.choice), GetParam().expected);
    // The chosen form is weighed among the candidates, and fits every record.
    for (const binary_column& column : found.choice) {
        if (column.field.form == binary_form::integer || column.field.form == binary_form::bytes)
            continue;
        bool weighed = false;
        for (const scored<binary_form>& candidate : column.candidates)
            weighed = weighed || (candidate.value == column.field.form && candidate.score == 1);
        EXPECT_TRUE(weighed) << column.span.start;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Records, BinaryColumns,
    testing::Values(
        columns_case{"zoned_between_text",
                     [](bytes& r, std::size_t i) {
                         text(r, NAMES[i % 7], 7);
                         zoned(r, spread(i, 9999, 1) + 9999, 5, false);
                         text(r, i % 2 ? "NO" : "YES", 4);
                         zoned(r, spread(i, 999, 2), 4, true);
                     },
                     "0-7 text 7-12 zoned_decimal 12-16 text 16-20 zoned_decimal,signed "},
        // Fields side by side, told apart by their sign nibbles.
        columns_case{"packed_of_several_widths",
                     [](bytes& r, std::size_t i) {
                         packed(r, spread(i, 9, 1), 1);
                         packed(r, spread(i, 49999, 2) + 49999, 3, 0xF);
                         packed(r, spread(i, 999999999L, 3) * 1000, 8);
                         text(r, NAMES[i % 7], 6);
                     },
                     "0-1 packed_decimal,signed 1-4 packed_decimal 4-12 packed_decimal,signed "
                     "12-18 text "},
        columns_case{"integers_of_both_orders",
                     [](bytes& r, std::size_t i) {
                         integer(r, 1000 + static_cast<long long>(i) * 3, 4, true);
                         text(r, NAMES[i % 7], 6);
                         integer(r, spread(i, 300, 1), 2, false);
                         integer(r, spread(i, 100000, 2) + 100000, 8, false);
                         integer(r, spread(i, 2000, 3), 2, true);
                         r.insert(r.end(), {0, 0, 0});
                     },
                     "0-4 integer,be 4-10 text 10-12 integer,le,signed 12-20 integer,le "
                     "20-22 integer,be,signed 22-25 filler "},
        // A single record that breaks a form leaves the column undecided.
        columns_case{"numbers_one_record_breaks",
                     [](bytes& r, std::size_t i) {
                         text(r, NAMES[i % 7], 6);
                         zoned(r, spread(i, 999, 1) + 999, 4, false);
                         if (i == 17)
                             r[r.size() - 2] = 0x7A;
                         packed(r, spread(i, 999, 2), 2);
                         if (i == 23)
                             r[r.size() - 2] = 0xA1;
                         integer(r, spread(i, 200, 3), 2, true);
                         if (i == 31)
                             r[r.size() - 2] = 0x47;
                     },
                     "0-6 text 6-10 text 10-14 bytes "},
        // Floats of plain values look like small integers byte by byte;
        // they are left undecided.
        columns_case{"floats_are_not_integers",
                     [](bytes& r, std::size_t i) {
                         float half = static_cast<float>(spread(i, 8, 1)) / 2;
                         std::uint32_t bits = 0;
                         std::memcpy(&bits, &half, sizeof bits);
                         integer(r, bits, 4, false);
                         text(r, NAMES[i % 7], 6);
                         double scaled = static_cast<double>(spread(i, 1000, 2)) * 0.25;
                         std::uint64_t wide = 0;
                         std::memcpy(&wide, &scaled, sizeof wide);
                         integer(r, static_cast<long long>(wide), 8, true);
                     },
                     "0-4 bytes 4-10 text 10-18 bytes "},
        columns_case{"too_few_records",
                     [](bytes& r, std::size_t i) {
                         text(r, NAMES[i % 7], 6);
                         zoned(r, spread(i, 999, 1), 4, true);
                     },
                     "", 5}),
    [](const testing::TestParamInfo<columns_case>& info) { return info.param.name; });

} // namespace
