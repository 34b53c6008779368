#include "../../../src/survey/detect/encoding_guess.h"
#include "../survey_fixtures.h"

#include <gtest/gtest.h>

namespace
{

struct encoding_case {
    const char* name;
    std::string bytes;
    text_encoding expected;
    std::size_t mark;
};

class EncodingGuess : public testing::TestWithParam<encoding_case>
{
};

TEST_P(EncodingGuess, Chooses)
{
    const std::string& bytes = GetParam().bytes;
    encoding_guess guess = guess_encoding(
        byte_span(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size()));
    EXPECT_EQ(guess.encoding, GetParam().expected);
    EXPECT_EQ(guess.byte_order_mark, GetParam().mark);
}

using namespace std::string_literals;

INSTANTIATE_TEST_SUITE_P(
    Samples, EncodingGuess,
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
        // Cards of codes and numbers, no blanks, no line ends.
        encoding_case{"ebcdic_cards_without_blanks",
                      "\xF0\xF0\xF1\xC1\xC2\xF5\xF5\x4B\xF2\xD1\xE2\xF9\xF0\xF0\xF2\xC3"
                      "\xC4\xF6\xF1\x4B\xF7\xD2\xE3\xF8",
                      text_encoding::ebcdic, 0},
        encoding_case{"latin1_too_high", "\xE9\xE9\xE9,1\n\xE9\xE9\xE9,1\n", text_encoding::binary,
                      0},
        // A stray control byte in a hundred is too many; NULs far fewer.
        encoding_case{"stray_controls", std::string(97, 'a') + "\x01\x01\n", text_encoding::binary,
                      0},
        encoding_case{"one_stray_control", std::string(198, 'a') + "\n\x01", text_encoding::ascii,
                      0},
        encoding_case{"nul_bytes_are_binary",
                      "ab\0\0\0\x01\x02"
                      "cd\0\0\0\x03\x04"s,
                      text_encoding::binary, 0}),
    [](const testing::TestParamInfo<encoding_case>& info) { return std::string(info.param.name); });

TEST(EncodingGuess, ScoresTextShare)
{
    encoding_guess guess = guess_encoding(bytes_of(std::string(97, 'a') + "\x01\x01\n"));
    EXPECT_NEAR(guess.text_share, 0.98, 1e-9);
    EXPECT_FALSE(guess.candidates.empty());
}

} // namespace
