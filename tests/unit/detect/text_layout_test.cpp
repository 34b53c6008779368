#include "../../../src/survey/detect/text_layout.h"
#include "../survey_fixtures.h"

#include <gtest/gtest.h>

namespace
{

struct shape_case {
    const char* name;
    std::vector<std::string> lines;
    text_shape expected;
};

class TextShape : public testing::TestWithParam<shape_case>
{
};

// Surveys ASCII lines ended by LF, as the steps before have found them.
text_layout_choice survey_ascii_lines(const std::vector<std::string>& lines, file_layout& layout)
{
    fixture_file file = text_lines(lines, "\n");
    layout.encoding = text_encoding::ascii;
    layout.kind = record_layout::lines;
    layout.terminator = line_terminator::lf;
    return survey_text_lines(file.sample(), {text_encoding::ascii, 0, 1, {}}, layout);
}

// Rows of one length but the thirtieth, longer.
std::vector<std::string> one_longer_in(int rows)
{
    std::vector<std::string> lines;
    for (int row = 0; row < rows; row++)
        lines.push_back(std::string(row == 29 ? 24 : 20, static_cast<char>('A' + row % 26)));
    return lines;
}

// Rows of one length but three a column wider (a value that takes a sign).
std::vector<std::string> three_wider_in(int rows)
{
    std::vector<std::string> lines(static_cast<std::size_t>(rows), "015011COUNTM-2016");
    lines[40] = lines[200] = lines[250] = "015012TOTALM-2-016";
    return lines;
}

// Data wrapped at one width whose last pieces are shorter, before two
// closing lines (a firmware image in hex records): one line in a hundred
// and fifty of another length is still records that vary.
std::vector<std::string> wrapped_with_short_ends()
{
    std::vector<std::string> lines(300, ":10E000000D9489F10D94");
    lines.insert(lines.end(), {":04F72000F8", ":04F72400C6", ":0400000330", ":00000001FF"});
    return lines;
}

// A sparse matrix's entries behind its banner and size line (rows,
// columns, entries); with whole numbers for values, like a colour map of
// as many entries whose first entry holds the count by chance.
std::vector<std::string> matrix_entries(bool banner, const char* value)
{
    std::vector<std::string> lines;
    if (banner)
        lines = {"%%MatrixMarket matrix coordinate real general", "20 20 18"};
    for (int entry = 1; entry <= 18; entry++)
        lines.push_back(std::to_string(entry) + " " + std::to_string(entry % 7 + 1) + " " + value);
    if (!banner)
        lines.insert(lines.begin(), "0 0 18");
    return lines;
}

TEST_P(TextShape, Chooses)
{
    file_layout layout;
    EXPECT_EQ(survey_ascii_lines(GetParam().lines, layout).choice, GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, TextShape,
    testing::Values(
        shape_case{"delimited", {"a,1", "b,2", "c,3"}, text_shape::delimited},
        // Single blanks between as many values in every line split fields.
        shape_case{
            "blank_separated", {"a 1 x", "bb 22 y", "c 3 zz", "dd 4 w"}, text_shape::delimited},
        // Blanks that pad values to line up make columns of fixed width.
        shape_case{"padded_columns",
                   {"ann    12  x", "bo      3  y", "carl  100  z"},
                   text_shape::fixed_width},
        shape_case{"title_then_fixed_run",
                   {"Stock list", "A0010012", "B0020340", "C0030056", "D0040078"},
                   text_shape::fixed_width},
        // One line in twenty-two of another length: records
        // that vary, not fixed ones with an anomaly.
        shape_case{"one_length_but_one_in_twenty_two",
                   {"A0010012", "B0020340", "C0030056", "D0040078", "E0050012", "F0060340",
                    "G0070056", "H0080078", "I0090012", "J0100340", "K0110056", "L01200",
                    "M0130078", "N0140012", "O0150340", "P0160056", "Q0170078", "R0180012",
                    "S0190340", "T0200056", "U0210078", "V0220012"},
                   text_shape::free_text},
        // One in sixty-six (a table row longer than the rest).
        shape_case{"one_length_but_one_in_sixty_six", one_longer_in(66), text_shape::free_text},
        shape_case{"short_ends_of_wrapped_data", wrapped_with_short_ends(), text_shape::free_text},
        shape_case{"three_wider_rows_in_three_hundred", three_wider_in(300), text_shape::free_text},
        shape_case{"free_text",
                   {"# a program", "int main()", "{", "    return 0;", "}"},
                   text_shape::free_text}),
    [](const testing::TestParamInfo<shape_case>& info) { return info.param.name; });

// Values padded to line up, but the first row's first value is a digit
// short and so is the row: every row is a record, the blanks part them,
// and no length is claimed behind a "header" that is a row itself.
TEST(TextShape, PaddedRowsBehindARowThatIsShorter)
{
    std::vector<std::string> lines = {"1  1  0  0  3  Linked"};
    for (int row = 2; row <= 12; row++) {
        std::string number = std::to_string(row);
        lines.push_back("  1" + std::string(3 - number.size(), ' ') + number + "  1  2  0  Linked");
    }
    file_layout layout;
    EXPECT_EQ(survey_ascii_lines(lines, layout).choice, text_shape::delimited);
    EXPECT_EQ(layout.delimiter, ' ');
    EXPECT_FALSE(layout.record_length);
    EXPECT_EQ(layout.header_length, 0u);
}

// A table behind a preamble of settings and before a closing line: the
// settings are its header, the closing line its trailer (a colour
// measurement file's BEGIN_DATA block, in tabs and in padded blanks; a
// bank's export).
struct table_case {
    const char* name;
    std::vector<std::string> lines;
    unsigned char delimiter;
    std::uint64_t header, trailer;
};

class TableBehindSettings : public testing::TestWithParam<table_case>
{
};

TEST_P(TableBehindSettings, Finds)
{
    file_layout layout;
    survey_ascii_lines(GetParam().lines, layout);
    EXPECT_EQ(layout.delimiter, std::optional<unsigned char>(GetParam().delimiter));
    EXPECT_EQ(layout.header_length, GetParam().header);
    EXPECT_EQ(layout.trailer_length, GetParam().trailer);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, TableBehindSettings,
    testing::Values(table_case{"tabs",
                               {"SPECT", "DISPLAY\t\"Ra CRI\"", "NUMBER_OF_FIELDS\t4",
                                "NUMBER_OF_SETS\t3", "BEGIN_DATA", "TCS01\t0.12\t0.14\t0.16",
                                "TCS02\t0.22\t0.24\t0.26", "TCS03\t0.32\t0.34\t0.36", "END_DATA"},
                               '\t',
                               70,
                               9},
                    table_case{"padded_blanks",
                               {"IT8.7/2", "ORIGINATOR \"Graeme\"", "NUMBER_OF_FIELDS 4",
                                "BEGIN_DATA_FORMAT", "SAMPLE_ID LAB_L LAB_A LAB_B",
                                "END_DATA_FORMAT", "BEGIN_DATA", "A01 37.99   13.56   14.06",
                                "A02 65.71   18.13   17.81", "A03 49.93   -4.88   -21.93",
                                "A04 43.14   -13.10  21.91", "A05 55.11   8.84    -25.40",
                                "A06 70.72   -33.40  -0.20", "A07 62.66   36.07   57.10",
                                "A08 40.02   10.41   -45.96", "END_DATA"},
                               ' ',
                               120,
                               9},
                    // Settings padded to the table's width by a spreadsheet.
                    table_case{"padded_settings",
                               {"Account:,1234,,,", "Period:,2020,,,",
                                "Date,Payee,Amount,Balance,Memo", "2020-01-01,Shop,1.00,10.00,x",
                                "2020-01-02,Shop,2.00,12.00,y", "2020-01-03,Shop,3.00,15.00,z"},
                               ',',
                               33,
                               0},
                    // A grid's axis of numbers padded to the rows' width
                    // is the table's first record.
                    table_case{"padded_axis",
                               {"1\t12\t\t\t\t", "2005\t2005.1\t2005.2\t2005.3\t2005.4\t2005.5",
                                "2.1\t2.2\t2.3\t2.4\t2.5\t2.6", "3.1\t3.2\t3.3\t3.4\t3.5\t3.6",
                                "4.1\t4.2\t4.3\t4.4\t4.5\t4.6"},
                               '\t',
                               0,
                               0},
                    // A small file's title line, whose field count no
                    // record shares, over rows the first of which is only
                    // shorter: a title, and a record.
                    table_case{"size_line", matrix_entries(true, "1.5e+00"), ' ', 55, 0},
                    table_case{"count_by_chance", matrix_entries(false, "18"), ' ', 0, 0},
                    table_case{"title_over_few_rows",
                               {"Colour resource Gradient", "0 1 1 1 1", "0.25 0 0 0 1",
                                "0.50 1 1 1 1", "0.75 0 0 0 1", "1.00 1 1 1 1"},
                               ' ',
                               25,
                               0}),
    [](const testing::TestParamInfo<table_case>& info) { return info.param.name; });

} // namespace
