#include "../../src/survey/report/shown_text.h"
#include "../../src/survey/report/text_report.h"

#include <gtest/gtest.h>

namespace
{

struct shown_case {
    const char* name;
    text_encoding encoding;
    std::string_view record;
    std::size_t from, to;
    const char* on_utf8;  // on a terminal that shows UTF-8
    const char* on_ascii; // elsewhere, as before
};

class ShownBytes : public testing::TestWithParam<shown_case>
{
};

// Every byte keeps one column of the terminal, so that the ruler of byte
// offsets stays over the bytes.
TEST_P(ShownBytes, OneColumnPerByte)
{
    const shown_case& each = GetParam();
    std::string utf8 = shown_bytes(each.record, each.from, each.to, each.encoding, true);
    EXPECT_EQ(utf8, each.on_utf8);
    EXPECT_EQ(shown_width(utf8), each.to - each.from);
    EXPECT_EQ(shown_bytes(each.record, each.from, each.to, each.encoding, false), each.on_ascii);
}

INSTANTIATE_TEST_SUITE_P(
    Records, ShownBytes,
    testing::Values(shown_case{"utf8_letter", text_encoding::utf8, "M\xC3\xBCller 1", 0, 9,
                               "M\xC3\xBC ller 1", "M..ller 1"},
                    shown_case{"latin1_letter", text_encoding::latin1, "M\xFCller", 0, 6,
                               "M\xC3\xBCller", "M.ller"},
                    // Two columns for a wide character of three bytes, and its third blank.
                    shown_case{"wide_characters", text_encoding::utf8, "\xE6\x9D\xB1\xE4\xBA\xAC|",
                               0, 7, "\xE6\x9D\xB1 \xE4\xBA\xAC |", "......|"},
                    shown_case{"invalid_and_controls", text_encoding::utf8, "a\xC3(\t\x7F\xC0\xAF",
                               0, 7, "a.(....", "a.(...."},
                    shown_case{"cut_by_the_row", text_encoding::utf8,
                               "ab\xC3\xBC"
                               "cd",
                               3, 6, ".cd", ".cd"},
                    shown_case{"windows1252_own_bytes", text_encoding::windows1252, "\x80\xE9", 0,
                               2, ".\xC3\xA9", ".."},
                    // Cyrillic "da" in KOI8-R; undefined 0x81 of Windows-1251 a dot.
                    shown_case{"koi8_r_letters", text_encoding::koi8_r, "\xC4\xC1", 0, 2,
                               "\xD0\xB4\xD0\xB0", ".."},
                    shown_case{"windows1251_undefined", text_encoding::windows1251, "\x98\xE0", 0,
                               2, ".\xD0\xB0", ".."},
                    shown_case{"ebcdic_as_before", text_encoding::ebcdic, "\xC8\x85\x40", 0, 3,
                               "He ", "He "}),
    [](const testing::TestParamInfo<shown_case>& info) { return info.param.name; });

TEST(ShownText, TableColumnsLineUpByCharacters)
{
    const std::string bytes = "name;city\nM\xC3\xBCller;K\xC3\xB6ln\nLi;Oslo\n";
    survey_report report;
    report.name = "people.csv";
    file_layout& layout = report.layout;
    layout.encoding = text_encoding::utf8;
    layout.kind = record_layout::lines;
    layout.terminator = line_terminator::lf;
    layout.delimiter = ';';
    layout.fields = 2;
    layout.header_row = true;
    report.first_records = pick_first_records(
        layout, {reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size()}, true);
    std::string text = text_report(report, 80, true);
    EXPECT_NE(text.find("offset  name    city\n"
                        "        ------  ----\n"
                        "    10  M\xC3\xBCller  K\xC3\xB6ln\n"
                        "    24  Li      Oslo\n"),
              std::string::npos)
        << text;
    EXPECT_NE(text_report(report, 80).find("    10  M..ller  K..ln\n"), std::string::npos);
}

} // namespace
