#include "../../src/survey/base/text_decode.h"
#include "../../src/survey/detect/layout_survey.h"
#include "survey_fixtures.h"

#include <cstdio>
#include <gtest/gtest.h>

namespace
{

using lines = std::vector<std::string>;

lines numbers_from_one(int last)
{
    lines numbers;
    for (int number = 1; number <= last; number++)
        numbers.push_back(std::to_string(number));
    return numbers;
}

// Numbers in blank-padded columns, one line in twelve a digit shorter:
// too many to be records that break one length, so the blanks that part
// every line alike delimit the values.
lines padded_numbers()
{
    lines numbers;
    for (int line = 0; line < 48; line++)
        numbers.push_back(line % 12 == 5 ? "  12.5    3.7" : "  12.5   13.75");
    return numbers;
}

// A word list under a line that counts its words, or that does not.
lines counted_words(int stated, int words)
{
    lines list = {std::to_string(stated)};
    for (int word = 0; word < words; word++)
        list.push_back(std::string(static_cast<std::size_t>(3 + word % 7), 'a') + "/S");
    return list;
}

// A colour table of as many entries as a setting before it counts, or
// of more, its first line then a row of its own shape.
lines counted_colours(int entries)
{
    lines table = {"ncolors = 20"};
    for (int entry = 0; entry < entries; entry++)
        table.push_back(std::to_string(entry) + " " + std::to_string(entry * 3) + " " +
                        std::to_string(entry * 7));
    return table;
}

// Forty words under a title line and before an empty line, every
// blanks-th of them two words (none when blanks is 0).
lines titled_words(const std::string& title, int blanks)
{
    lines list = {title};
    for (int word = 1; word <= 40; word++)
        list.push_back(std::string(static_cast<std::size_t>(3 + word % 7), 'w') +
                       (blanks && word % blanks == 0 ? " x" : ""));
    list.push_back("");
    return list;
}

// A long preamble of ';' comment lines, as IDL writes, before a few
// readings of one length.
lines station_readings()
{
    lines readings;
    for (int line = 1; line <= 12; line++)
        readings.push_back("; line " + std::to_string(line) + " of the notes" +
                           std::string(static_cast<std::size_t>(line % 5), '.'));
    readings.insert(readings.end(), {"; HHMM  TEMP      PRESSURE", "0000  -1.5e+00  1.01e+03",
                                     "0001  -1.2e+00  1.01e+03", "0002   0.5e+00  1.00e+03",
                                     "0003   1.1e+00  9.99e+02"});
    return readings;
}

// Hourly readings under a header row, a blank between date and time.
lines hourly_readings()
{
    lines readings = {"date,temp"};
    for (int hour = 0; hour < 12; hour++)
        readings.push_back("2010/01/01 " + std::to_string(10 + hour) + ":00," +
                           std::to_string(30 + hour) + ".4");
    return readings;
}

// Entries of a glossary split at blanks: glosses of one to three words,
// and now and then (the first entry too) of six.
lines glossary()
{
    lines entries;
    for (int entry = 0; entry < 200; entry++) {
        int words = entry % 33 == 0 ? 6 : 1 + entry % 3;
        std::string line = "w" + std::to_string(entry) + " [r] /";
        for (int word = 0; word < words; word++)
            line += (word ? " g" : "g") + std::to_string(word);
        entries.push_back(line + "/");
    }
    return entries;
}

// The text side of a layout in one line, so that a failure says what
// differs.
std::string describe_text(const file_layout& layout)
{
    std::string text =
        layout.delimiter ? std::string(1, static_cast<char>(*layout.delimiter)) : "none";
    text += layout.tab_runs ? " of tabs" : "";
    text += layout.quote ? std::string(" quote ") + static_cast<char>(*layout.quote) : "";
    text += " fields " + (layout.fields ? std::to_string(*layout.fields) : "-");
    text += layout.header_row ? " names" : "";
    text += " header " + std::to_string(layout.header_length);
    text += " trailer " + std::to_string(layout.trailer_length);
    text += " length " + (layout.record_length ? std::to_string(*layout.record_length) : "-");
    text += " records " + (layout.records ? std::to_string(*layout.records) : "-");
    return text;
}

// Olive oils by region as R's write.csv leaves them with row names: the
// row of names one short.
lines olive_oils()
{
    lines oils = {"region,area,oleic"};
    for (int row = 1; row <= 24; row++)
        oils.push_back(std::to_string(row) + (row % 2 ? ",Apulia,1," : ",Sicily,3,") +
                       std::to_string(7700 + 17 * row));
    return oils;
}

// A molecule's connection table: a header, atoms in lines of one length,
// then nearly as many bonds in lines of another.
lines molecule()
{
    lines table = {"benzene", "  hand-made", "", "  6  6  0  0  0  0  0  0  0  0999 V2000"};
    for (int atom = 0; atom < 6; atom++)
        table.push_back("    " + std::to_string(atom % 2) + ".0000    " + std::to_string(atom / 2) +
                        ".0000    0.0000 C   0  0  0  0  0  0");
    for (int bond = 1; bond <= 6; bond++)
        table.push_back("  " + std::to_string(bond) + "  " + std::to_string(bond % 6 + 1) + "  " +
                        std::to_string(1 + bond % 2) + "  0  0  0  0");
    table.push_back("M  END");
    return table;
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
    testing::Values(
        text_case{"decimal_commas_behind_semicolons",
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
        // Two lines of one length behind a preamble may be so by chance.
        text_case{"two_records_behind_a_preamble",
                  {"track name=junctions", "c\t180\t402\tJ1", "c\t349\t550\tJ2"},
                  "\t fields 4 header 21 trailer 0 length - records 2"},
        // R writes a row of names one short of the rows, their first
        // field the row names: a row of names, not a title.
        text_case{"names_one_short_over_row_names", olive_oils(),
                  ", fields 4 names header 0 trailer 0 length - records 25"},
        // The '%' that separates fortunes closes the last one too: no
        // trailer.
        text_case{"separator_lines_close_the_last_record",
                  {"Ask twice, cut once.", "\t\t-- a proverb", "%",
                   "Rain follows the plough wherever it goes.", "\t\t-- another", "%",
                   "Haste makes waste.", "\t\t-- a third", "%", "Still waters run deep, they say.",
                   "\t\t-- a fourth", "%"},
                  "none fields - header 0 trailer 0 length - records 4"},
        text_case{"no_delimiter_in_free_text",
                  {"# a program", "int main()", "{", "    return 0;", "}"},
                  "none fields - header 0 trailer 0 length - records 5"},
        // Lines that grow a digit are not a preamble before
        // lines of three digits.
        // Atoms before bonds: two kinds of record, no header.
        text_case{"two_kinds_of_records", molecule(),
                  "none fields - header 0 trailer 0 length - records 17"},
        text_case{"numbers_growing_a_digit", numbers_from_one(400),
                  "none fields - header 0 trailer 0 length - records 400"},
        text_case{"comma_over_blanks_and_colons_in_dates", hourly_readings(),
                  ", fields 2 names header 0 trailer 0 length - records 13"},
        text_case{"semicolon_comments_before_fixed_lines", station_readings(),
                  "none fields - header 317 trailer 0 length 25 records 4"},
        text_case{"names_and_rule_before_fixed_lines",
                  {"ID   | NAME    | SCORE", "-----+---------+------", "1      alice     10.5",
                   "2      bob       7.25", "3      carol     12.0", "4      dave      3.75"},
                  "none fields - header 46 trailer 0 length 22 records 4"},
        // Shift_JIS puts 0x7C in the second byte of some
        // characters: no field ends there.
        text_case{"shift_jis_pipes_inside_characters",
                  {"\x96\xBC\x91O|\x83|\x83"
                   "C\x83\x93\x83g|x",
                   "\x8ER\x93"
                   "c|\x83|\x83"
                   "C|1",
                   "\x97\xE9\x96\xD8|\x83|\x83"
                   "C|2",
                   "\x89\xD4\x8Eq|\x95\\\x8E\xA6|3"},
                  "| fields 3 names header 0 trailer 0 length - records 4"},
        // A first entry with a count of fields other entries
        // have, however seldom, is one of them, not a title.
        text_case{"first_entry_in_the_tail_of_counts", glossary(),
                  "  fields 4 header 0 trailer 0 length - records 200"},
        // Names and types between '|' above records of their length, which
        // hold no '|': a ruled heading, not records.
        text_case{"ruled_heading_of_the_records_length",
                  {"|  id|   name|", "| int|   char|", "    1   alice ", "    2     bob ",
                   "    3   carol ", "    4    dave "},
                  "none fields - header 30 trailer 0 length 15 records 4"},
        // A database shell's grid: rule, names, rule, rows between bars,
        // a closing rule and the count; the rules are heading and trailer.
        text_case{"grid_between_rules",
                  {"+----+-------+", "| id | name  |", "+----+-------+", "|  1 | ann   |",
                   "|  2 | bo    |", "|  3 | cyd   |", "|  4 | dee   |", "|  5 | eve   |",
                   "+----+-------+", "5 rows in set"},
                  "none fields - header 45 trailer 29 length 15 records 5"},
        // A row of '-' values, one a column, is a record, not a rule: first,
        // second or last.
        text_case{"row_of_dashes_is_no_rule",
                  {"apple     3   1.25", "-         -      -", "pear      2   0.50",
                   "plum     12   3.75", "fig       7   2.00", "kiwi      5   0.80",
                   "lime      9   0.30", "-         -      -"},
                  "none fields - header 0 trailer 0 length 19 records 8"},
        // Every line has one length: two records under two heading lines
        // are records of it, however few.
        text_case{"ruled_heading_over_two_records",
                  {"|  id|   name|", "| int|   char|", "    1   alice ", "    2     bob "},
                  "none fields - header 30 trailer 0 length 15 records 2"},
        // Minus signs are no rule: the first records, the only negative
        // ones, are records all the same.
        text_case{"signs_only_in_the_first_records",
                  {" -1.5  -2.5  -3.5", " -0.5  -1.5  -0.5", "  1.5   2.5   3.5",
                   "  0.5   7.5   1.5", "  2.5   2.5   4.5", "  3.5   1.5   0.5",
                   "  4.5   0.5   3.5", "  5.5   2.5   2.5"},
                  "none fields - header 0 trailer 0 length 18 records 8"},
        text_case{"count_of_the_lines_that_follow", counted_words(40, 40),
                  "none fields - header 3 trailer 0 length - records 40"},
        text_case{"number_other_than_the_count", counted_words(40, 60),
                  "none fields - header 0 trailer 0 length - records 61"},
        // Hyphenation patterns behind the name of their character set; a
        // list of such names has none.
        // Cards of one length, one of them blank: the blank card is of the
        // length, and does not break it.
        text_case{"blank_card_among_cards",
                  {"BITPIX  =  -64", "NAXIS   =    2", "NAXIS1  =  128", "              ",
                   "NAXIS2  =  128", "BZERO   =    0", "BSCALE  =    1"},
                  "none fields - header 0 trailer 0 length 15 records 6"},
        text_case{"charset_before_patterns",
                  {"ISO8859-2", ".a1", ".a2b1s", ".a2b2s3t", ".a2d3", "1ba", "2b1c", ".ab4s",
                   "a3ba", "4ce."},
                  "none fields - header 10 trailer 0 length - records 9"},
        text_case{"charset_names",
                  {"UTF-8", "ISO-8859-15", "KOI8-R", "CP1251", "ISO8859-2", "UTF-16"},
                  "none fields - header 0 trailer 0 length - records 6"},
        text_case{"setting_of_the_count", counted_colours(20),
                  "  fields 3 header 13 trailer 0 length - records 20"},
        text_case{"setting_of_another_count", counted_colours(30),
                  "  fields 3 header 0 trailer 0 length - records 31"},
        // A word list under its title, ended by an empty line; a list whose
        // words hold blanks here and there has no title.
        // Columns lined up by runs of tabs, a '*' in the last: runs of one
        // or more tabs part the fields, and are named tabs.
        text_case{"columns_lined_up_by_tabs",
                  {"eabi-uclibc-linux\tlinux-uclibceabi\tlinux[^-]*-uclibceabi",
                   "base-uclibc-linux\tlinux-uclibc\t\tlinux[^-]*-uclibc",
                   "base-musl-linux\t\tlinux-musl\t\tlinux[^-]*-musl",
                   "abi64-gnu-linux\t\tlinux-gnuabi64\t\tlinux[^-]*-gnuabi64",
                   "base-gnu-linux\t\tlinux-gnu\t\tlinux[^-]*(-gnu.*)?",
                   "base-gnu-hurd\t\tgnu\t\t\tgnu[^-]*",
                   "base-bsd-darwin\t\tdarwin\t\t\tdarwin[^-]*",
                   "base-bsd-freebsd\tfreebsd\t\t\tfreebsd[^-]*"},
                  "  of tabs fields 3 header 0 trailer 0 length - records 8"},
        text_case{"title_of_a_word_list", titled_words("German words", 0),
                  "none fields - header 13 trailer 0 length - records 40"},
        text_case{"words_with_blanks_have_no_title", titled_words("German words", 5),
                  "none fields - header 0 trailer 0 length - records 41"},
        // Each entry of a bundle opens with labelled comments and closes
        // with a marker: the first's and the last's are the entries', not a
        // header and a trailer.
        text_case{"entries_opened_and_closed_by_comments",
                  {"# Issuer: CN=Alpha Root", "# Label: \"Alpha\"", "-----BEGIN CERT-----",
                   "MIIBAlphaAAAA", "MIIBAlphaBBBB", "-----END CERT-----", "",
                   "# Issuer: CN=Beta Root", "# Label: \"Beta\"", "-----BEGIN CERT-----",
                   "MIIBBetaAAAA", "-----END CERT-----", "", "# Issuer: CN=Gamma Root",
                   "# Label: \"Gamma\"", "-----BEGIN CERT-----", "MIIBGammaAAAA",
                   "-----END CERT-----"},
                  "none fields - header 0 trailer 0 length - records 4"},
        text_case{"one_line_in_twelve_shorter", padded_numbers(),
                  "  fields 2 header 0 trailer 0 length - records 48"},
        // Prose that ends in a blank line has no trailer.
        text_case{"prose_ending_in_a_blank_line",
                  {"Tea grows on hills", "and is picked by hand;", "then dried.", ""},
                  "none fields - header 0 trailer 0 length - records 3"},
        // One line is no evidence of a record length.
        text_case{"one_line_has_no_consistency",
                  {"Hello, world"},
                  "none fields - header 0 trailer 0 length - records 1"},
        // The colon that starts every hex record marks it; the
        // comments before are a preamble, not records.
        text_case{"leading_marks_behind_comments",
                  {"# loader", "#", ":03000000020003F8", ":0A000300758180AD0102030405060708",
                   ":0B000D00B004E5B8A1A2A3", ":00000001FF"},
                  "none fields - header 11 trailer 0 length - records 4"},
        // Tabs split the records as blanks do, and the track line
        // with blanks inside its values is a preamble.
        text_case{"tabs_over_blanks_behind_a_track_line",
                  {"track name=demo description=\"a b c\" visibility=2", "chr1\t10\t20\tx1\t0\t+",
                   "chr1\t20\t30\tx2\t0\t+", "chr1\t30\t40\tx3\t0\t-", "chr1\t40\t50\tx4\t0\t+"},
                  "\t fields 6 header 49 trailer 0 length 18 records 4"},
        // Blanks inside two-word values leave the names whole;
        // commas split every record, a few of them into more
        // fields.
        text_case{"commas_over_blanks_in_values",
                  {"version,codename,created,eol,extra", "4.10,Warty Warthog,2004-03-05",
                   "5.04,Hoary Hedgehog,2004-10-20,2006-10-31", "5.10,Breezy Badger,2005-04-08",
                   "6.06,Dapper Drake,2005-10-12,2011-06-01,2009",
                   "6.10,Edgy Eft,2006-06-01,2008-04-25", "7.04,Feisty Fawn,2006-10-26"},
                  ", fields 3 names header 0 trailer 0 length - records 7"},
        // Semicolons part the attributes in the last tab-separated
        // field, which some lines end with a tab.
        text_case{"semicolons_inside_the_last_field",
                  {"m1\tsrc\texon\t10\t20\t.\t-\t.\tgene_id \"g1\"; tx \"t1\";\t",
                   "m1\tsrc\tCDS\t12\t20\t.\t-\t0\tgene_id \"g1\"; tx \"t1\";",
                   "m1\tsrc\texon\t30\t45\t.\t-\t.\tgene_id \"g1\"; tx \"t2\";\t",
                   "m1\tsrc\tCDS\t31\t45\t.\t-\t0\tgene_id \"g1\"; tx \"t2\";\t"},
                  "\t fields 10 header 0 trailer 0 length - records 4"},
        // A sequence after the table: lines without a tab.
        text_case{"closing_lines_without_the_delimiter",
                  {"c1\t10\t20\tgene", "c1\t30\t40\texon", "c1\t50\t600\texon", ">", "ACGTACGT"},
                  "\t fields 4 header 0 trailer 11 length - records 3"},
        // "##" meta lines, then a row of names behind one '#'.
        text_case{"commented_names_under_meta_lines",
                  {"##format=4", "##source=x", "#CHROM\tPOS\tID", "1\t100\trs1", "1\t250\t.",
                   "2\t75\trs9"},
                  "\t fields 3 names header 22 trailer 0 length - records 4"},
        // A comment among comments of one mark is a note, though
        // it splits as the records do.
        text_case{
            "commented_names_among_notes",
            {"# zones", "# codes\tplace", "AD\tEurope/Andorra", "AE\tAsia/Dubai", "AF\tAsia/Kabul"},
            "\t fields 2 header 22 trailer 0 length - records 3"}),
    [](const testing::TestParamInfo<text_case>& info) { return std::string(info.param.name); });

// A short line of text without a line end repeats two bytes, but is no
// 84 records of them; numbers of one width that a program wrote out
// without a line end are a line of values, not records of one value; nor
// are values of a few widths, or codes of one width, in a delimited list
// the records its period happens to span.
TEST(TextLayout, ShortTextWithoutLineEndIsOneLine)
{
    std::string listed, coded;
    for (int each = 0; each < 300; each++) {
        listed += std::to_string(each * 7919 % 1000) + "." + std::to_string(each * 31 % 900 + 100) +
                  (each % 2 ? " " : ",");
        coded +=
            "A" + std::to_string(each * 7 % 10) + "." + std::to_string(each * 13 % 90 + 10) + "\t";
    }
    for (std::string piece :
         {std::string("0a1b"), std::string("9.928797843126392308e+02 "), listed, coded}) {
        fixture_file file;
        for (int each = 0; each < (piece.size() > 100 ? 1 : 65); each++)
            file.bytes.insert(file.bytes.end(), piece.begin(), piece.end());
        file_layout layout = survey_layout(file.sample());
        EXPECT_EQ(layout.kind, record_layout::lines) << piece;
        EXPECT_EQ(layout.terminator, line_terminator::none) << piece;
        EXPECT_FALSE(layout.record_length.has_value()) << piece;
        EXPECT_EQ(layout.records, 1u) << piece;
    }
}

// Records that the last line, without its line end, shows to be of other
// lengths have no record length; one record behind the names shows none,
// and a lone double-quoted field still quotes its comma.
TEST(TextLayout, FewRecordsClaimNoLength)
{
    for (const char* text :
         {"a,b,c\n1,2,3\n4,5,xy", "first,last,city,zip\nJo,Doe,\"Town, WW\",08123"}) {
        fixture_file file;
        file.bytes.assign(text, text + std::string_view(text).size());
        file_layout layout = survey_layout(file.sample());
        EXPECT_FALSE(layout.record_length.has_value()) << text;
        EXPECT_EQ(layout.fields, 3u + (text[0] == 'f')) << text;
    }
}

// Every other line holds a lone CR between a country and its states, the
// rest none: the LFs alone end records that ':' parts alike, zones of two
// digits between colons no times.
TEST(TextLayout, LoneReturnsInsideFieldsOfLines)
{
    lines given;
    for (int row = 0; row < 12; row++)
        given.push_back((row % 2 ? "Chile" : "United States\rCO, IA") + std::string(":0") +
                        std::to_string(row % 9) + ":07:NA:36.00:96.00:K" + std::to_string(row) +
                        ":;");
    file_layout layout = survey_layout(text_lines(given, "\n").sample());
    EXPECT_EQ(layout.terminator, line_terminator::lf);
    EXPECT_TRUE(layout.returns_inside);
    EXPECT_EQ(describe_text(layout), ": fields 8 header 0 trailer 0 length - records 12");
}

TEST(TextLayout, ColumnNamesOverNumbers)
{
    file_layout layout = survey_layout(
        text_lines({"id,name,amount", "1,Anna,10.50", "2,Ole,7.25", "3,Kari,100.00"}, "\n")
            .sample());
    EXPECT_EQ(describe_text(layout), ", fields 3 names header 0 trailer 0 length - records 4");
}

// Rows of three, two, four and three fields: as many values in all as
// rows of three would have, but each row's are read where they stand.
TEST(TextLayout, RaggedRowsAreTypedRowByRow)
{
    lines given = {"id,day,note"};
    const char* tails[] = {",z", ",x", "", ",x,y"};
    for (int row = 1; row <= 40; row++)
        given.push_back(std::to_string(row) + ",2024-01-" + std::to_string(10 + row % 18) +
                        tails[row % 4]);
    file_layout layout = survey_layout(text_lines(given, "\n").sample());
    ASSERT_EQ(layout.described_columns.size(), 4u);
    EXPECT_EQ(layout.described_columns[0].type, value_type::integer);
    EXPECT_EQ(layout.described_columns[1].type, value_type::date);
}

// The rule under the names has the records' length, but is the header's
// as the names are; the names line names the columns, and the rule's
// strokes give their widths, whatever gaps the right-aligned amounts leave.
TEST(TextLayout, NamesAndARuleOfTheRecordLength)
{
    lines given = {"CODE  AMOUNT  DAY", "----  ------  ----------"};
    for (int code = 1; code < 30; code++) {
        char record[32];
        std::snprintf(record, sizeof record, "C%03d  %6.2f  2024-03-%02d", code, code * 1.5,
                      code % 28 + 1);
        given.push_back(record);
    }
    file_layout layout = survey_layout(text_lines(given, "\n").sample());
    EXPECT_EQ(describe_text(layout), "none fields - header 43 trailer 0 length 25 records 29");
    std::string names;
    for (const column_description& column : layout.described_columns)
        names += column.name + "|";
    EXPECT_EQ(names, "CODE|AMOUNT|DAY|");
}

// A ruled heading's bars mark the cells, however the values under them
// are spread, the cells before the first bar and after the last too; its
// first line names them, flush with a bar or not, its second gives their
// types.
TEST(TextLayout, RuledHeadingNamesItsCells)
{
    struct heading_case {
        lines heading;
        std::string (*record)(int);
        const char* expected;
    };
    for (const heading_case& each :
         {heading_case{{"|    id|            seen|", "|  long|            char|"},
                       [](int id) {
                           char record[32];
                           std::snprintf(record, sizeof record, " %5d  2024-03-%02d %02d:00 ",
                                         id * 7, id, id);
                           return std::string(record);
                       },
                       "id 1-7|seen 8-24|"},
          heading_case{{"  id | count | total | cd "},
                       [](int id) {
                           char record[32];
                           std::snprintf(record, sizeof record, " %3d   %5d   %5d   ab ", id * 7,
                                         id, id * id);
                           return std::string(record);
                       },
                       "id 0-5|count 6-13|total 14-21|cd 22-26|"}}) {
        lines given = each.heading;
        for (int id = 1; id < 20; id++)
            given.push_back(each.record(id));
        file_layout layout = survey_layout(text_lines(given, "\n").sample());
        std::string cells;
        for (const column_description& column : layout.described_columns)
            cells += column.name + " " + std::to_string(column.span->start) + "-" +
                     std::to_string(column.span->end) + "|";
        EXPECT_EQ(cells, each.expected) << each.heading[0];
    }
}

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

// A spreadsheet's rows end in CR LF, the lines of a cell in LF alone:
// the rows' line end, no mix.
TEST(QuotedCells, LinesInsideCellsDoNotMixTheLineEnds)
{
    file_layout layout =
        survey_layout(text_lines({"id,name,note", "1,Ann,\"first line\nsecond line\"",
                                  "2,Bob,plain", "3,Cid,\"a\nb\"", "4,Dee,x", "5,Eve,\"p\nq\""},
                                 "\r\n")
                          .sample());
    EXPECT_EQ(layout.terminator, line_terminator::crlf);
    EXPECT_EQ(layout.records, 6u);
}

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

// Like sections of a configuration file repeat at one length, but their
// lines, not blocks of them without line ends, are its records.
TEST(TextLayout, RepeatedSectionsAreLines)
{
    lines sections;
    for (int channel = 0; channel < 6; channel++)
        sections.insert(sections.end(),
                        {"[CHANNEL]", "\tSYSTEM = DVBT2",
                         "\tFREQUENCY = " + std::to_string(474 + 24 * channel) + "000000",
                         "\tBANDWIDTH_HZ = 8000000", "\tMODULATION = QAM/AUTO", ""});
    file_layout layout = survey_layout(text_lines(sections, "\n").sample());
    EXPECT_EQ(layout.kind, record_layout::lines);
    EXPECT_FALSE(layout.record_length.has_value());
}

// The names of a row one short stand over all columns but the row names.
TEST(TextLayout, RowNamesStandUnderNoName)
{
    file_layout layout = survey_layout(text_lines(olive_oils(), "\n").sample());
    ASSERT_EQ(layout.described_columns.size(), 4u);
    EXPECT_EQ(layout.described_columns[1].name, "region");
    EXPECT_EQ(layout.described_columns[3].name, "oleic");
}

} // namespace

// A report's rule of dashes under the names gives each column's width: a
// name of two words and right-aligned amounts leave gaps inside their
// columns that the values' blanks alone would cut at.
// A rule that spans more than the values marks no column past them; one
// the values overrun measures nothing, and the values' own gaps cut them.
TEST(TextLayout, RuleLongerOrShorterThanTheValues)
{
    lines values = {"apple     3   1.25", "pear      2   0.50", "plum     12   3.75",
                    "fig       7   2.00", "kiwi      5   0.80", "lime      9   0.30"};
    for (const auto& [names, rule] :
         {std::pair{"name   qty  price   comment", "------ ---- ------ ----------"},
          std::pair{"name   qty", "------ ----"}}) {
        lines given = {names, rule};
        given.insert(given.end(), values.begin(), values.end());
        file_layout layout = survey_layout(text_lines(given, "\n").sample());
        ASSERT_EQ(layout.columns.size(), 3u) << rule;
        EXPECT_LE(layout.columns.back().end, 18u) << rule;
        EXPECT_GE(layout.columns[2].start, 12u) << rule;
    }
}

TEST(TextLayout, RuleUnderNamesGivesTheColumns)
{
    lines given = {"ID    NAME          AMOUNT", "----  ------------  ------"};
    for (int row = 0; row < 12; row++) {
        std::string name = "Person " + std::to_string(row);
        std::string amount = std::to_string(row * 37 % 500);
        given.push_back(std::to_string(row % 10) + "     " + name +
                        std::string(12 - name.size(), ' ') + "  " +
                        std::string(6 - amount.size(), ' ') + amount);
    }
    file_layout layout = survey_layout(text_lines(given, "\n").sample());
    ASSERT_EQ(layout.described_columns.size(), 3u);
    const char* names[] = {"ID", "NAME", "AMOUNT"};
    const std::uint32_t starts[] = {0, 6, 20};
    for (std::size_t column = 0; column < 3; column++) {
        EXPECT_EQ(layout.described_columns[column].name, names[column]);
        EXPECT_EQ(layout.columns[column].start, starts[column]);
    }
}
