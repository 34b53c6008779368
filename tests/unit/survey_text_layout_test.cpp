#include "../../src/survey/detect/delimiter_choice.h"
#include "../../src/survey/detect/encoding_guess.h"
#include "../../src/survey/detect/layout_survey.h"
#include "../../src/survey/detect/text_columns.h"
#include "../../src/survey/base/text_decode.h"
#include "survey_fixtures.h"

#include <gtest/gtest.h>

namespace
{

using lines = std::vector<std::string>;

// The text side of a layout in one line, so that a failure says what
// differs.
std::string describe_text(const file_layout& layout)
{
    std::string text =
        layout.delimiter ? std::string(1, static_cast<char>(*layout.delimiter)) : "none";
    text += layout.quote ? std::string(" quote ") + static_cast<char>(*layout.quote) : "";
    text += " fields " + (layout.fields ? std::to_string(*layout.fields) : "-");
    text += layout.header_row ? " names" : "";
    text += " header " + std::to_string(layout.header_length);
    text += " trailer " + std::to_string(layout.trailer_length);
    text += " length " + (layout.record_length ? std::to_string(*layout.record_length) : "-");
    text += " records " + (layout.records ? std::to_string(*layout.records) : "-");
    return text;
}

struct text_case {
    const char* name;
    lines given;
    const char* expected;
};

class TextLayout : public testing::TestWithParam<text_case>
{
};

TEST_P(TextLayout, Finds)
{
    file_layout layout = survey_layout(text_lines(GetParam().given, "\n").sample());
    EXPECT_EQ(layout.kind, record_layout::lines);
    EXPECT_EQ(describe_text(layout), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Files, TextLayout,
    testing::Values(text_case{"decimal_commas_behind_semicolons",
                              {"1;10,50;x", "2;7,25;y", "3;100,00;z", "4;1,5;w"},
                              "; fields 3 header 0 trailer 0 length - records 4"},
                    text_case{"quoted_delimiters_and_line_ends",
                              {"\"a,b\",1", "\"c\",2", "\"multi", "line\",3", "\"d\",4"},
                              ", quote \" fields 2 header 0 trailer 0 length - records 4"},
                    text_case{"comment_preamble_and_closing",
                              {"# made by hand", "#", "a\t1\tx", "b\t2\ty", "c\t3\tz", "# end"},
                              "\t fields 3 header 17 trailer 6 length 6 records 3"},
                    text_case{"title_line_before_the_records",
                              {"Sales 2026", "a|1|x", "b|2|y", "c|3|z", "d|4|w", "e|5|v"},
                              "| fields 3 header 11 trailer 0 length 6 records 5"},
                    text_case{"no_delimiter_in_free_text",
                              {"# a program", "int main()", "{", "    return 0;", "}"},
                              "none fields - header 0 trailer 0 length - records 5"},
                    text_case{"one_line_has_no_consistency",
                              {"Hello, world"},
                              "none fields - header 0 trailer 0 length 13 records 1"}),
    [](const testing::TestParamInfo<text_case>& info) { return std::string(info.param.name); });

TEST(TextLayout, ColumnNamesOverNumbers)
{
    file_layout layout = survey_layout(
        text_lines({"id,name,amount", "1,Anna,10.50", "2,Ole,7.25", "3,Kari,100.00"}, "\n")
            .sample());
    EXPECT_EQ(describe_text(layout), ", fields 3 names header 0 trailer 0 length - records 4");
}

TEST(TextColumns, BlankRunsAndKindChangesMarkColumns)
{
    std::vector<std::string_view> records = {"ANNA BERG 0001200 OSLO  ", "OLEMANN   0000045 BERGEN",
                                             "LI        1234567 AS    "};
    std::vector<column_span> columns = find_text_columns(records);
    std::vector<std::pair<std::uint32_t, std::uint32_t>> found;
    for (column_span column : columns)
        found.emplace_back(column.start, column.end);
    EXPECT_EQ(found,
              (std::vector<std::pair<std::uint32_t, std::uint32_t>>{{0, 9}, {10, 17}, {18, 24}}));
}

struct encoding_case {
    const char* name;
    std::string bytes;
    text_encoding expected;
    std::size_t mark;
};

class Encoding : public testing::TestWithParam<encoding_case>
{
};

TEST_P(Encoding, Names)
{
    const std::string& bytes = GetParam().bytes;
    encoding_guess guess = guess_encoding(
        byte_span(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size()));
    EXPECT_EQ(guess.encoding, GetParam().expected);
    EXPECT_EQ(guess.byte_order_mark, GetParam().mark);
}

using namespace std::string_literals;

INSTANTIATE_TEST_SUITE_P(
    Samples, Encoding,
    testing::Values(
        encoding_case{"ascii", "id,name\n1,Anna\n", text_encoding::ascii, 0},
        encoding_case{"utf8", "navn\nK\xC3\xA5re\n", text_encoding::utf8, 0},
        encoding_case{"utf8_with_mark", "\xEF\xBB\xBFid\n", text_encoding::utf8, 3},
        encoding_case{"utf8_cut_at_the_end", "K\xC3\xA5re K\xC3", text_encoding::utf8, 0},
        encoding_case{"overlong_utf8_reads_as_latin1", "a\xC0\xAF b c d", text_encoding::latin1, 0},
        encoding_case{"latin1", "K\xE5re \xD8stby, Troms\xF8\n", text_encoding::latin1, 0},
        encoding_case{"utf16le_with_mark",
                      "\xFF\xFE"
                      "a\0,\0b\0\n\0"s,
                      text_encoding::utf16le, 2},
        encoding_case{"utf16be_without_mark", "\0a\0,\0b\0\n\0c\0,\0d\0\n"s, text_encoding::utf16be,
                      0},
        encoding_case{"ebcdic",
                      "\xC1\xC2\xC3\x40\xF1\xF2\xF3\x40\xC4\xC5\x40\xF4\xF5\x15"
                      "\xC6\xC7\x40\xF6\xF7\x40\xC8\xC9\x15",
                      text_encoding::ebcdic, 0},
        encoding_case{"nul_bytes_are_binary",
                      "ab\0\0\0\x01\x02"
                      "cd\0\0\0\x03\x04"s,
                      text_encoding::binary, 0}),
    [](const testing::TestParamInfo<encoding_case>& info) { return std::string(info.param.name); });

} // namespace

namespace
{

// Text in EBCDIC (code page 037), each line ended by NEL when nel is set.
fixture_file ebcdic_text(const std::vector<std::string>& lines, bool nel)
{
    fixture_file file;
    for (const std::string& line : lines) {
        for (char character : line)
            file.bytes.push_back(
                encoded_byte(static_cast<unsigned char>(character), text_encoding::ebcdic));
        if (nel)
            file.bytes.push_back(0x15);
    }
    return file;
}

const std::vector<std::string> EBCDIC_RECORDS = {
    "0001 ANNA BERG     OSLO      00120050", "0002 OLE DAHL      BERGEN    00004500",
    "0003 KARI LUND     TROMSO    00031075", "0004 PER MOE       BODO      00000000",
    "0005 LIV NES       MOLDE     00008810", "0006 TOR HAUG      ALTA      00012345"};

TEST(Ebcdic, LinesEndedByNewLineAreFixedWidthText)
{
    file_layout layout = survey_layout(ebcdic_text(EBCDIC_RECORDS, true).sample());
    EXPECT_EQ(layout.encoding, text_encoding::ebcdic);
    EXPECT_EQ(layout.kind, record_layout::lines);
    EXPECT_EQ(layout.terminator, line_terminator::nel);
    EXPECT_EQ(layout.record_length, 38u);
    EXPECT_EQ(layout.columns.size(), 4u);
}

TEST(Ebcdic, RecordsWithoutLineEndsAreFixedLength)
{
    file_layout layout = survey_layout(ebcdic_text(EBCDIC_RECORDS, false).sample());
    EXPECT_EQ(layout.encoding, text_encoding::ebcdic);
    EXPECT_EQ(layout.kind, record_layout::fixed_length);
    EXPECT_EQ(layout.record_length, 37u);
    EXPECT_EQ(layout.columns.size(), 4u);
}

} // namespace

#include "../../src/survey/base/small_math.h"

#include <cmath>

namespace
{

TEST(SmallMath, AgreesWithTheMathsLibrary)
{
    for (double x : {1e-300, 1e-9, 0.001, 0.5, 0.9999, 1.0, 1.5, 2.0, 3.7, 9.99, 10.0, 128.0,
                     12345.678, 1e9, 1e300}) {
        EXPECT_NEAR(natural_log(x), std::log(x), 1e-12 * (1 + std::fabs(std::log(x)))) << x;
        if (x < 1e12) {
            EXPECT_NEAR(log_gamma(x), std::lgamma(x), 1e-9 * (1 + std::fabs(std::lgamma(x)))) << x;
        }
    }
}

} // namespace
