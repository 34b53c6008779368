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

std::string repeat(const std::string& piece, int times)
{
    std::string text;
    for (int each = 0; each < times; each++)
        text += piece;
    return text;
}

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
        encoding_case{"shift_jis",
                      "\x96\xBC\x91O,\x94N\x97\xEE\x0A\x8ER\x93"
                      "c\x91\xBE\x98Y,30\x0A\x97\xE9\x96\xD8\x89\xD4\x8Eq,25\x0A",
                      text_encoding::shift_jis, 0},
        encoding_case{"euc_jp",
                      "\xCC\xBE\xC1\xB0,\xC6\xC9\xA4\xDF\x0A\xBB\xB3\xC5\xC4,"
                      "\xA4\xE4\xA4\xDE\xA4\xC0\x0A\xCE\xEB\xCC\xDA,\xA4\xB9\xA4\xBA\xA4\xAD\x0A",
                      text_encoding::euc_jp, 0},
        encoding_case{"euc_kr",
                      "\xC0\xCC\xB8\xA7,\xB3\xAA\xC0\xCC\x0A\xB1\xE8\xC3\xB6\xBC\xF6,"
                      "30\x0A\xC0\xCC\xBF\xB5\xC8\xF1,25\x0A",
                      text_encoding::euc_kr, 0},
        encoding_case{
            "gb18030",
            "\xC3\xFB\xD7\xD6,\xC4\xEA\xC1\xE4\x0A\xD5\xC5\xCE\xB0,30\x0A\xCD\xF5\xB7\xBC,25\x0A",
            text_encoding::gb18030, 0},
        encoding_case{"big5",
                      "\xA6W\xA6r\xA1"
                      "A\xA6~\xC4\xD6\x0A\xB1i\xB0\xB6\xA1"
                      "A\xA4T\xA4Q\x0A\xA4\xFD\xAA\xDA\xA1"
                      "A\xA4G\xA4Q\xA4\xAD\x0A",
                      text_encoding::big5, 0},
        encoding_case{"windows1252", "He said \x93hi\x94 \x96 ok\x0A", text_encoding::windows1252,
                      0},
        encoding_case{"utf16le_cjk_without_mark",
                      "\x0DTW[,\x00t^\x84\x9F\x0A\x00 _\x1FO,\x00"
                      "3\x00"
                      "0\x00\x0A\x00\x8Bs\xB3\x82,\x00"
                      "2\x00"
                      "5\x00\x0A\x00"s,
                      text_encoding::utf16le, 0},
        encoding_case{"utf16be_cjk_without_mark",
                      "T\x0D[W\x00,^t\x9F\x84\x00\x0A_ O\x1F\x00,\x00"
                      "3\x00"
                      "0\x00\x0As\x8B\x82\xB3\x00,\x00"
                      "2\x00"
                      "5\x00\x0A"s,
                      text_encoding::utf16be, 0},
        // Accents that pair with the letter after them as GBK or Big5
        // would stand alone among ASCII: Latin-1, not Chinese.
        encoding_case{"latin1_accents_pair_with_letters",
                      "Caf\xE9s cr\xE8me br\xFBl\xE9"
                      "e, na\xEFve\n",
                      text_encoding::latin1, 0},
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
        // ASCII's separators between printable bytes are text (FIX's SOH,
        // ASCII-delimited text's US); runs of them are not.
        encoding_case{"soh_between_fields",
                      repeat("8=FIX.4.4\x01" "9=5\x01" "35=0\x01" "10=161\x01\n", 4),
                      text_encoding::ascii, 0},
        encoding_case{"unit_separators", repeat("id\x1Fname\x1F" "city\n", 6),
                      text_encoding::ascii, 0},
        encoding_case{"soh_in_runs", repeat("ab\x01\x01" "cd\n", 10), text_encoding::binary, 0},
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
