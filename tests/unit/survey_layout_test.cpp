#include "../../src/survey/detect/layout_survey.h"
#include "survey_fixtures.h"

#include <gtest/gtest.h>

#include <random>

namespace
{

// What a test expects of a layout, in one line that says what differs.
std::string describe(const file_layout& layout)
{
    static const char* kinds[] = {"empty", "fixed-length", "lines", "unknown"};
    std::string text = kinds[static_cast<int>(layout.kind)];
    text += " length " + (layout.record_length ? std::to_string(*layout.record_length) : "-");
    text += " header " + std::to_string(layout.header_length);
    text += " trailer " + std::to_string(layout.trailer_length);
    text += " records " + (layout.records ? std::to_string(*layout.records) : "-");
    return text;
}

std::string fixed(std::uint64_t length, std::uint64_t header, std::uint64_t trailer,
                  std::uint64_t records)
{
    return "fixed-length length " + std::to_string(length) + " header " + std::to_string(header) +
           " trailer " + std::to_string(trailer) + " records " + std::to_string(records);
}

struct fixed_case {
    std::uint32_t length, count, header, trailer;
};

class FixedLength : public testing::TestWithParam<fixed_case>
{
};

// The record length, header and trailer of binary records, from the
// bytes alone.
TEST_P(FixedLength, FindsLengthHeaderAndTrailer)
{
    fixed_case given = GetParam();
    fixture_file file = binary_records(given.length, given.count, given.header, given.trailer);
    EXPECT_EQ(describe(survey_layout(file.sample())),
              fixed(given.length, given.header, given.trailer, given.count));
}

INSTANTIATE_TEST_SUITE_P(Lengths, FixedLength,
                         testing::Values(fixed_case{2, 6000, 0, 0}, fixed_case{2, 6000, 0, 1},
                                         fixed_case{7, 3000, 0, 4}, fixed_case{7, 3000, 128, 0},
                                         fixed_case{384, 60, 0, 0}, fixed_case{497, 200, 300, 0},
                                         fixed_case{512, 100, 0, 0}, fixed_case{512, 100, 1024, 3},
                                         fixed_case{2880, 40, 0, 0}, fixed_case{65536, 5, 0, 0},
                                         fixed_case{1000, 3000, 200, 1}));

TEST(FixedLength, TextRecordsWithoutLineEnds)
{
    file_layout layout = survey_layout(text_records(40, 60, 0).sample());
    EXPECT_EQ(describe(layout), fixed(40, 0, 0, 60));
    EXPECT_EQ(layout.encoding, text_encoding::ascii);
}

// Frames of coded speech, each marked in its first byte's high bits and
// random after it, silence (frames alike) first and last: the mark makes
// them records, the silent ones too.
TEST(FixedLength, MarkedFramesFromFirstToLast)
{
    std::mt19937 random(11);
    std::vector<unsigned char> silence;
    for (int byte = 0; byte < 33; byte++)
        silence.push_back(byte == 0 ? 0xD8 : static_cast<unsigned char>(random()));
    fixture_file file;
    for (int frame = 0; frame < 45; frame++) {
        bool silent = frame < 2 || frame >= 42;
        for (int byte = 0; byte < 33; byte++) {
            unsigned char value = static_cast<unsigned char>(random());
            if (silent)
                value = silence[byte];
            else if (byte == 0)
                value = static_cast<unsigned char>(0xD0 | (value & 0x0F));
            file.bytes.push_back(value);
        }
    }
    EXPECT_EQ(describe(survey_layout(file.sample())), fixed(33, 0, 0, 45));
}

TEST(FixedLength, NoLengthForBytesThatRepeatNothing)
{
    EXPECT_EQ(describe(survey_layout(random_bytes(300000).sample())),
              "unknown length - header 0 trailer 0 records -");
}

// An XPM image whose colour table is longer than its rows: the values
// string counts them, and the pixel rows are the records. The last row,
// without its comma, and the array's close are the trailer.
TEST(Lines, PixelRowsOfAnImageBehindItsColours)
{
    std::vector<std::string> lines = {"/* XPM */", "static char *icon[] = {", "\"4 6 40 1\","};
    for (int colour = 0; colour < 40; colour++)
        lines.push_back("\"" + std::string(1, static_cast<char>('0' + colour)) + " c #0000" +
                        (colour < 10 ? "0" : "") + std::to_string(colour) + "\",");
    for (int row = 0; row < 6; row++)
        lines.push_back(row < 5 ? "\"0123\"," : "\"0123\"");
    lines.push_back("};");
    std::size_t header = 0;
    for (std::size_t line = 0; line < 43; line++)
        header += lines[line].size() + 1;
    EXPECT_EQ(describe(survey_layout(text_lines(lines, "\n").sample())),
              "lines length 8 header " + std::to_string(header) + " trailer 10 records 5");
}

} // namespace
