#include "../../src/survey/detect/column_types.h"
#include "../../src/survey/detect/layout_survey.h"
#include "survey_fixtures.h"

#include <gtest/gtest.h>

namespace
{

// A column's type in one line, so that a failure says what differs.
std::string describe_type(const column_description& column)
{
    std::string text = value_type_name(column.type);
    if (!column.format.empty())
        text += " " + column.format;
    if (column.type == value_type::decimal || column.type == value_type::floating)
        text += std::string(" mark ") + column.decimal_mark;
    if (column.grouping_mark)
        text += std::string(" grouped ") + *column.grouping_mark;
    if (column.nullable)
        text += " null '" + column.null_marker + "'";
    return text;
}

struct type_case {
    const char* name;
    std::vector<std::string_view> values;
    const char* expected;
};

class ColumnType : public testing::TestWithParam<type_case>
{
};

TEST_P(ColumnType, FromEveryValue)
{
    EXPECT_EQ(describe_type(infer_column_type(GetParam().values)), GetParam().expected);
}

std::string case_name(const testing::TestParamInfo<type_case>& info)
{
    return info.param.name;
}

INSTANTIATE_TEST_SUITE_P(
    Numbers, ColumnType,
    testing::Values(type_case{"integers_with_signs", {"1", "-20", "+300"}, "integer"},
                    type_case{"points_make_decimals", {"1", "2.50", "-.5"}, "decimal mark ."},
                    type_case{"commas_make_decimals", {"1,5", "20,25"}, "decimal mark ,"},
                    type_case{"grouped_thousands", {"1,234,567", "12"}, "integer grouped ,"},
                    type_case{
                        "grouped_by_points", {"1.234,50", "7,25"}, "decimal mark , grouped ."},
                    type_case{"exponents_make_floats", {"1.5e3", "2", "-3E-2"}, "float mark ."},
                    type_case{"too_long_for_64_bits", {"1234567890123456789"}, "text"},
                    type_case{"misplaced_group_is_text", {"1,234,56"}, "text"}),
    case_name);

INSTANTIATE_TEST_SUITE_P(
    Times, ColumnType,
    testing::Values(
        type_case{"iso_dates", {"2024-01-31", "2023-12-01"}, "date %Y-%m-%d"},
        type_case{"day_first_decided_by_a_13", {"01/02/2024", "13/02/2024"}, "date %d/%m/%Y"},
        type_case{"month_first_decided_by_a_13", {"01/02/2024", "02/13/2024"}, "date %m/%d/%Y"},
        type_case{"undecided_slash_is_month_first", {"01/02/2024"}, "date %m/%d/%Y"},
        type_case{"dotted_day_first", {"31.12.2024"}, "date %d.%m.%Y"},
        type_case{"times", {"23:59:60", "0:00:00"}, "time %H:%M:%S"},
        type_case{"datetimes_without_seconds", {"2024/05/06 07:08"}, "datetime %Y/%m/%d %H:%M"},
        type_case{"iso_datetimes", {"2024-05-06T07:08:09.123"}, "datetime %Y-%m-%dT%H:%M:%S.%f"},
        type_case{"no_month_13", {"2024-13-01"}, "text"},
        type_case{"leap_day", {"2024-02-29", "2000-02-29"}, "date %Y-%m-%d"},
        type_case{"no_leap_day_in_2023", {"2024-01-31", "2023-02-29"}, "text"},
        type_case{"no_leap_day_in_1900", {"29.02.1900"}, "text"},
        type_case{"no_31_april_walked", {"4/30/2024", "4/31/2024"}, "text"},
        type_case{"booleans", {"true", "FALSE", "True"}, "boolean"}),
    case_name);

INSTANTIATE_TEST_SUITE_P(
    Missing, ColumnType,
    testing::Values(type_case{"empty_values", {"1", "", "3"}, "integer null ''"},
                    type_case{"na_marker", {"NA", "2.5", ""}, "decimal mark . null 'NA'"},
                    type_case{"backslash_n", {"\\N", "2024-01-01"}, "date %Y-%m-%d null '\\N'"},
                    type_case{"two_markers_are_text", {"NA", "NULL", "1"}, "text null 'NA'"},
                    type_case{"all_missing", {"", ""}, "text null ''"}),
    case_name);

TEST(ColumnType, MixedValuesSayWhyText)
{
    column_description column = infer_column_type({"1", "2", "x3", "4"});
    EXPECT_EQ(column.type, value_type::text);
    EXPECT_EQ(column.why_text, "mixed: integer values until \"x3\" in record 3");
    EXPECT_EQ(infer_column_type({"Anna", "Ole"}).why_text, "");
}

// A day the calendar lacks, far into a run of dates, still breaks the type:
// a loader would refuse it.
TEST(ColumnType, DayNotInTheCalendarEndsADateRun)
{
    std::vector<std::string_view> values(300, "2024-03-31");
    values[250] = "2024-06-31";
    EXPECT_EQ(infer_column_type(values).type, value_type::text);
}

// Values whose digits alone differ from one taken before are passed over
// while only number forms live: the widest value and the first that
// breaks the type still count, however many like values come between.
TEST(ColumnType, LikeValuesPassedOverStillCount)
{
    std::vector<std::string_view> values(300, "12.50");
    values[150] = "12.5";
    values[200] = "1,234.50";
    column_description column = infer_column_type(values);
    EXPECT_EQ(describe_type(column), "decimal mark . grouped ,");
    EXPECT_EQ(column.integer_digits, 4u);
    EXPECT_EQ(column.fraction_digits, 2u);
    values.push_back("12.5x");
    EXPECT_EQ(infer_column_type(values).why_text,
              "mixed: decimal values until \"12.5x\" in record 301");
}

TEST(DescribedColumns, NamesFromTheHeaderRowMadeUnique)
{
    file_layout layout = survey_layout(
        text_lines({"id,name,id,", "1,Anna,2024-01-02,x", "2,Ole,2024-02-03,y"}, "\n").sample());
    ASSERT_EQ(layout.described_columns.size(), 4u);
    std::string names, types;
    for (const column_description& column : layout.described_columns) {
        names += column.name + " ";
        types += std::string(value_type_name(column.type)) + " ";
    }
    EXPECT_EQ(names, "id name id_2 column_4 ");
    EXPECT_EQ(types, "integer text date text ");
}

// Columns are typed a group at a time side by side: each keeps its own
// values and names across the groups' edges, the short rows' missing
// values included.
TEST(DescribedColumns, WideTableTypedColumnByColumn)
{
    constexpr int COLUMNS = 150;
    std::string names, first, second;
    for (int column = 0; column < COLUMNS; column++) {
        std::string sep = column == 0 ? "" : ",";
        names += sep + "c" + std::to_string(column);
        first += sep + (column % 3 == 0 ? std::to_string(column) : column % 3 == 1 ? "x" : "1.5");
        second += sep + (column % 3 == 0 ? "7" : column % 3 == 1 ? "y" : "2.25");
    }
    std::string short_row = second.substr(0, second.rfind(','));
    file_layout layout =
        survey_layout(text_lines({names, first, second, first, short_row, second}, "\n").sample());
    ASSERT_EQ(layout.described_columns.size(), static_cast<std::size_t>(COLUMNS));
    for (int column = 0; column < COLUMNS; column++) {
        const column_description& described = layout.described_columns[column];
        EXPECT_EQ(described.name, "c" + std::to_string(column));
        value_type wanted = column % 3 == 0   ? value_type::integer
                            : column % 3 == 1 ? value_type::text
                                              : value_type::decimal;
        EXPECT_EQ(described.type, wanted) << column;
        EXPECT_EQ(described.nullable, column == COLUMNS - 1) << column;
    }
}

TEST(DescribedColumns, FixedWidthSpansAndNames)
{
    file_layout layout = survey_layout(
        text_lines({"CODE  AMOUNT", "AB01   12.50", "CD02    7.25", "EF03  100.00"}, "\n")
            .sample());
    ASSERT_EQ(layout.described_columns.size(), 2u);
    EXPECT_EQ(layout.described_columns[0].name, "CODE");
    EXPECT_EQ(layout.described_columns[1].name, "AMOUNT");
    EXPECT_EQ(layout.described_columns[1].type, value_type::decimal);
    ASSERT_TRUE(layout.described_columns[1].span.has_value());
    EXPECT_EQ(layout.described_columns[1].span->end, 12u);
}

// A catalogue's descriptors are two 32-bit words, length then offset, as
// its header's byte order has them: never one 8-byte number, however
// small the offsets' high halves are.
TEST(DescribedColumns, StatedFieldsHoldTheirOwnColumns)
{
    constexpr std::uint32_t STRINGS = 40, HEADER = 28;
    std::vector<std::uint32_t> words = {
        0x950412de, 0, STRINGS, HEADER, HEADER + 8 * STRINGS, 0, HEADER + 16 * STRINGS};
    std::uint32_t offset = HEADER + 16 * STRINGS;
    for (std::uint32_t string = 0; string < 2 * STRINGS; string++) {
        std::uint32_t length = 3 + string * 7 % 20;
        words.insert(words.end(), {length, offset});
        offset += length + 1;
    }
    fixture_file file;
    for (std::uint32_t word : words)
        for (int byte = 0; byte < 4; byte++)
            file.bytes.push_back(static_cast<unsigned char>(word >> (8 * byte)));
    file.bytes.resize(offset, 'x');
    file_layout layout = survey_layout(file.sample());
    ASSERT_EQ(layout.described_columns.size(), 2u);
    for (const column_description& column : layout.described_columns) {
        ASSERT_TRUE(column.span.has_value());
        EXPECT_EQ(column.span->end - column.span->start, 4u);
        EXPECT_EQ(column.type, value_type::integer);
    }
}

} // namespace
