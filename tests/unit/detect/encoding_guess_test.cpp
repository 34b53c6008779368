#include "../../../src/survey/base/text_decode.h"
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

// Small numbers of 16 bits (a volume's voxels): a zero high byte in each,
// but their low bytes are no characters.
std::string small_numbers()
{
    std::string bytes;
    for (int each = 0; each < 400; each++)
        bytes += {static_cast<char>(1 + each * 7 % 200), '\0'};
    return bytes;
}

INSTANTIATE_TEST_SUITE_P(
    Samples, EncodingGuess,
    testing::Values(
        encoding_case{"ascii", "id,name\n1,Anna\n", text_encoding::ascii, 0},
        encoding_case{"small_16_bit_numbers", small_numbers(), text_encoding::binary, 0},
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
        // Light pixels pair up as the characters of GB18030 do; tens of
        // kilobytes of them without a line end are no text.
        encoding_case{"light_pixels_without_line_ends",
                      repeat("\xE3\xE5\xFA\xDC\xEF\xDA\xEC\xDB\xEE\xDD\xFB\xDE", 3000),
                      text_encoding::binary, 0},
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
        // High bytes inside words are text in some code page however many
        // they are; beside digits and signs they are not.
        encoding_case{"eight_bit_words", "\xE9\xE9\xE9,1\n\xE9\xE9\xE9,1\n", text_encoding::latin1,
                      0},
        encoding_case{"high_bytes_outside_words", repeat("1\xE9,2\xFA;3\xE8 4\n", 4),
                      text_encoding::binary, 0},
        // Accents struck over letters with a backspace between them.
        encoding_case{"overstruck_accents",
                      repeat("Lom['\be|e\b'|e]:Togo\nR['\be|e\b'|e]union:France\n", 3),
                      text_encoding::ascii, 0},
        // A keymap names each character alone, between blanks: a capital
        // and its small letter a line.
        encoding_case{"lone_characters_of_a_keymap", repeat("\xC0\t\xE0\n\xC1 \xE1\n", 8),
                      text_encoding::latin1, 0},
        // Russian in three pages, Bulgarian, Greek in two; the same bytes
        // read in another page of the script make improbable letters.
        encoding_case{
            "koi8_r",
            "\xED\xD9 \xC5\xC8\xC1\xCC\xC9 \xD7 \xD0\xCF\xC5\xDA\xC4\xC5 \xD7\xC5\xD3\xD8 "
            "\xC4\xC5\xCE\xD8, \xC1 \xD7\xC5\xDE\xC5\xD2\xCF\xCD \xD0\xD2\xC9\xDB\xCC\xC9 "
            "\xC4\xCF\xCD\xCF\xCA.\n\xEF\xCE\xC1 \xDE\xC9\xD4\xC1\xCC\xC1 \xCB\xCE\xC9\xC7\xD5, "
            "\xCB\xCF\xD4\xCF\xD2\xD5\xC0 \xC5\xCA \xD0\xCF\xC4\xC1\xD2\xC9\xCC "
            "\xD3\xD4\xC1\xD2\xD9\xCA \xC4\xD2\xD5\xC7.\n",
            text_encoding::koi8_r, 0},
        encoding_case{
            "windows1251",
            "\xD2\xFF \xEE\xF2\xE8\xE4\xE5 \xED\xE0 \xEF\xE0\xE7\xE0\xF0 \xE8 \xEA\xF3\xEF\xE8 "
            "\xF5\xEB\xFF\xE1 \xE8 \xEF\xEB\xEE\xE4\xEE\xE2\xE5 \xE7\xE0 "
            "\xF1\xE5\xEC\xE5\xE9\xF1\xF2\xE2\xEE\xF2\xEE.\n\xC2\xE5\xF7\xE5\xF0\xF2\xE0 "
            "\xE2\xF1\xE8\xF7\xEA\xE8 \xF1\xE5\xE4\xED\xE0\xF5\xE0 \xED\xE0 "
            "\xEC\xE0\xF1\xE0\xF2\xE0 \xE8 \xE3\xEE\xE2\xEE\xF0\xE8\xF5\xE0 "
            "\xE4\xFA\xEB\xE3\xEE.\n",
            text_encoding::windows1251, 0},
        encoding_case{
            "iso8859_5",
            "\xBC\xEB \xD5\xE5\xD0\xDB\xD8 \xD2 \xDF\xDE\xD5\xD7\xD4\xD5 \xD2\xD5\xE1\xEC "
            "\xD4\xD5\xDD\xEC, \xD0 \xD2\xD5\xE7\xD5\xE0\xDE\xDC \xDF\xE0\xD8\xE8\xDB\xD8 "
            "\xD4\xDE\xDC\xDE\xD9.\n\xBE\xDD\xD0 \xE7\xD8\xE2\xD0\xDB\xD0 \xDA\xDD\xD8\xD3\xE3, "
            "\xDA\xDE\xE2\xDE\xE0\xE3\xEE \xD5\xD9 \xDF\xDE\xD4\xD0\xE0\xD8\xDB "
            "\xE1\xE2\xD0\xE0\xEB\xD9 \xD4\xE0\xE3\xD3.\n",
            text_encoding::iso8859_5, 0},
        encoding_case{
            "iso8859_7",
            "\xC7 \xEC\xE7\xF4\xDD\xF1\xE1 \xEC\xEF\xF5 \xEC\xE1\xE3\xE5\xE9\xF1\xE5\xFD\xE5\xE9 "
            "\xEA\xDC\xE8\xE5 \xCA\xF5\xF1\xE9\xE1\xEA\xDE \xE3\xE9\xE1 \xFC\xEB\xE7 \xF4\xE7\xED "
            "\xEF\xE9\xEA\xEF\xE3\xDD\xED\xE5\xE9\xE1.\n\xD4\xEF "
            "\xEA\xE1\xEB\xEF\xEA\xE1\xDF\xF1\xE9 "
            "\xF0\xE7\xE3\xE1\xDF\xED\xEF\xF5\xEC\xE5 \xF3\xF4\xEF \xF7\xF9\xF1\xE9\xFC.\n",
            text_encoding::iso8859_7, 0},
        // Capital alpha with tonos where Windows-1253 puts it (0xA2).
        encoding_case{
            "windows1253",
            "\xA2\xF1\xF7\xE9\xF3\xE5 \xED\xE1 \xE2\xF1\xDD\xF7\xE5\xE9 \xEA\xE1\xE9 \xE7 "
            "\xA2\xED\xED\xE1 \xDD\xEA\xEB\xE5\xE9\xF3\xE5 \xF4\xEF "
            "\xF0\xE1\xF1\xDC\xE8\xF5\xF1\xEF.\n\xA2\xEB\xEB\xEF\xE9 \xDD\xEC\xE5\xE9\xED\xE1\xED "
            "\xF3\xF4\xEF \xF3\xF0\xDF\xF4\xE9 \xF4\xEF\xF5\xF2.\n",
            text_encoding::windows1253, 0},
        // Greek capitals with tonos, which the other pages read as signs
        // and box drawing: a table of letters, not prose, is still Greek.
        encoding_case{
            "greek_capitals_with_accents",
            repeat("\xC1\xBE<   \xC1\xD5\n\xC1\xD5\xC3   \xC1\xC2\n\xC5\xBE   \xC5\xC2\n"
                   "\xB6\xC9   \xC1\xC9\n\xBC\xC9   \xCF\xC9\n\xB8\xC9   \xC5\xC9\n\xB9   \xC7\n"
                   "\xBF   \xD9\n\xBA   \xC9\n\xCC\xD0   \xC2\n\xCD\xD4   \xC4\n",
                   2),
            text_encoding::iso8859_7, 0},
        // Runs of high bytes with line ends but no blank between them.
        encoding_case{"high_bytes_without_gaps",
                      repeat(repeat("\xE0\xE7\xEE\xF3\xFA,", 20) + "\n", 10), text_encoding::binary,
                      0},
        // Polish: Western signs (± ³ ¼ ¿) between letters are ą ł ź ż;
        // Windows-1250 puts ś and ź in 0x80-0x9F.
        encoding_case{"iso8859_2",
                      repeat("Za\xBF\xF3\xB3\xE6 g\xEA\xB6l\xB1 ja\xBC\xF1. Wczoraj poszed\xB3"
                             "em do sklepu i kupi\xB3"
                             "em chleb, mas\xB3o oraz \xB6wie\xBF"
                             "e owoce.\nDzieci bawi\xB3y si\xEA w ogrodzie a\xBF do wieczora.\n",
                             2),
                      text_encoding::iso8859_2, 0},
        encoding_case{"windows1250",
                      repeat("Za\xBF\xF3\xB3\xE6 g\xEA\x9Cl\xB9 ja\x9F\xF1. Wczoraj poszed\xB3"
                             "em do sklepu i kupi\xB3"
                             "em chleb, mas\xB3o oraz \x9Cwie\xBF"
                             "e owoce.\nDzieci bawi\xB3y si\xEA w ogrodzie a\xBF do wieczora.\n",
                             2),
                      text_encoding::windows1250, 0},
        // A registered sign after a word is no letter of another page.
        encoding_case{"registered_sign_after_words",
                      repeat("\"Russell Microcap\xAE Value Index\",\"07/03/2017\"\n", 12),
                      text_encoding::latin1, 0},
        encoding_case{"iso2022jp",
                      "\x1B$B$3$l$OF|K\\8l$NJ8>O$G$9!#\x1B(B\n\x1B$BEl5~\x1B(B,\x1B$BBg:e\x1B(B\n",
                      text_encoding::iso2022jp, 0},
        encoding_case{"escape_without_shift_is_ascii", "\x1B[1mbold\x1B[0m\n", text_encoding::ascii,
                      0},
        // JIS X 0212 after SS3 and no kana: EUC-JP, not GB18030.
        encoding_case{"euc_jp_single_shifts",
                      repeat("\x8F\xB0\xA1\x8F\xB0\xA2\xC5\xEC\xB5\xFE\x8F\xB0\xA3\n", 3),
                      text_encoding::euc_jp, 0},
        // A stray control byte in a hundred is too many; NULs far fewer.
        encoding_case{"stray_controls", std::string(97, 'a') + "\x01\x01\n", text_encoding::binary,
                      0},
        encoding_case{"one_stray_control", std::string(198, 'a') + "\n\x01", text_encoding::ascii,
                      0},
        // ASCII's separators between printable bytes are text (FIX's SOH,
        // ASCII-delimited text's US); runs of them are not.
        encoding_case{"soh_between_fields",
                      repeat("8=FIX.4.4\x01"
                             "9=5\x01"
                             "35=0\x01"
                             "10=161\x01\n",
                             4),
                      text_encoding::ascii, 0},
        encoding_case{"unit_separators",
                      repeat("id\x1Fname\x1F"
                             "city\n",
                             6),
                      text_encoding::ascii, 0},
        // Another control chosen to part the items of a field (EM between
        // the fields of a SAM record inside a pairs file's).
        encoding_case{"em_inside_fields",
                      repeat("read1\tchr1\tread1\x19"
                             "129\x19"
                             "chr1\x19"
                             "60\n",
                             6),
                      text_encoding::ascii, 0},
        // 16-bit numbers whose high byte is a control between printable
        // low bytes, with no line end: an array, not text.
        encoding_case{"control_high_bytes_of_numbers",
                      repeat("\x20\x02\x41\x02\x7E\x02\x33\x02", 40), text_encoding::binary,
                      0},
        encoding_case{"soh_in_runs",
                      repeat("ab\x01\x01"
                             "cd\n",
                             10),
                      text_encoding::binary, 0},
        encoding_case{"nul_bytes_are_binary",
                      "ab\0\0\0\x01\x02"
                      "cd\0\0\0\x03\x04"s,
                      text_encoding::binary, 0}),
    [](const testing::TestParamInfo<encoding_case>& info) { return std::string(info.param.name); });

// Commas inside ISO-2022-JP's shifted pairs are bytes of characters; the
// one between the shifts stays a comma.
TEST(EncodingGuess, ShiftedPairsHideNoDelimiter)
{
    std::string bytes = "\x1B$B,!\x1B(B,a\n";
    decoded_text decoded = decode_text(bytes_of(bytes), 0, text_encoding::iso2022jp);
    EXPECT_EQ(decoded.text, std::string(8, '\xFF') + ",a\n");
}

TEST(EncodingGuess, ScoresTextShare)
{
    encoding_guess guess = guess_encoding(bytes_of(std::string(97, 'a') + "\x01\x01\n"));
    EXPECT_NEAR(guess.text_share, 0.98, 1e-9);
    EXPECT_FALSE(guess.candidates.empty());
}

} // namespace
