#include "../../src/survey/base/field_split.h"
#include "../../src/survey/base/text_lines.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace
{

struct split_case {
    const char* name;
    std::string text;
    bool at_end;
    std::vector<std::string> lines; // each with its line end, a cut last line without
};

std::vector<std::string> split(const std::string& text, bool at_end)
{
    std::vector<std::string> result;
    for (const text_line& line : split_text_lines(text, at_end)) {
        EXPECT_EQ(line.text, std::string_view(text).substr(line.start, line.text.size()));
        result.push_back(text.substr(line.start, line.end - line.start));
    }
    return result;
}

// Line ends are found a word at a time: ends at every place in a word, and
// bytes that differ from LF or CR in one bit only, must come out as byte
// by byte.
TEST(TextLines, SplitsAtEveryKindOfLineEnd)
{
    using namespace std::string_literals;
    const std::string near_misses = "\x8a\x8d\x0b\x0c\x0e\x00\x2a\x2d"
                                    "x"s;
    const std::vector<split_case> cases = {
        {"lf", "a\nbc\n", true, {"a\n", "bc\n"}},
        {"crlf", "one\r\ntwo\r\n", true, {"one\r\n", "two\r\n"}},
        {"lone cr", "one\rtwo\r", true, {"one\r", "two\r"}},
        {"cr lf across a word",
         "abcdefg\r\nhijklmnopq\r\n",
         true,
         {"abcdefg\r\n", "hijklmnopq\r\n"}},
        {"end in each place of a word",
         "1\n12\n123\n1234\n12345\n123456\n1234567\n12345678\n123456789\n",
         true,
         {"1\n", "12\n", "123\n", "1234\n", "12345\n", "123456\n", "1234567\n", "12345678\n",
          "123456789\n"}},
        {"bytes near line ends",
         near_misses + "\n" + near_misses,
         true,
         {near_misses + "\n", near_misses}},
        {"cut last line", "a\nbcdefghijk", false, {"a\n"}},
        {"cut last line kept at the end", "a\nbcdefghijk", true, {"a\n", "bcdefghijk"}},
        {"cr at the end of a piece may begin cr lf", "abc\r", false, {}},
        {"cr at the end of the file", "abc\r", true, {"abc\r"}},
        {"empty lines", "\n\r\n\r", true, {"\n", "\r\n", "\r"}},
        {"no line end", "abcdefghijklmnop", true, {"abcdefghijklmnop"}},
        {"nothing", "", true, {}},
    };
    for (const split_case& each : cases)
        EXPECT_EQ(split(each.text, each.at_end), each.lines) << each.name;
}

// Lines taken from a split of the whole text are the part's own split,
// for every part that starts and ends anywhere, at a file's end or not;
// where they are not taken the part is split anew, so only wrong lines
// fail: a CR that may begin a CR LF, a line left open at the part's end.
TEST(TextLines, KeptLinesOfAPartAreItsOwnSplit)
{
    for (std::string text : {"ab\ncd\r\nef\rgh\r\n\r\nij", "a\r\rb\n\nc\r", "x\ny"}) {
        for (bool at_end : {false, true}) {
            kept_lines kept = keep_lines(text, at_end);
            EXPECT_TRUE(kept_lines_of(kept, text, at_end)) << text;
            for (std::size_t start = 0; start <= text.size(); start++) {
                for (std::size_t end = start; end <= text.size(); end++) {
                    std::string_view part = std::string_view(text).substr(start, end - start);
                    auto taken = kept_lines_of(kept, part, at_end);
                    if (!taken)
                        continue;
                    std::vector<text_line> own = split_text_lines(part, at_end);
                    ASSERT_EQ(taken->size(), own.size()) << text << " " << start << "-" << end;
                    for (std::size_t line = 0; line < own.size(); line++) {
                        const text_line& each = (*taken)[line];
                        EXPECT_EQ(each.text.data(), own[line].text.data());
                        EXPECT_EQ(each.text.size(), own[line].text.size());
                        EXPECT_EQ(each.start - start, own[line].start);
                        EXPECT_EQ(each.end - start, own[line].end);
                        EXPECT_EQ(each.terminated, own[line].terminated);
                    }
                }
            }
        }
    }
}

TEST(TextLines, TellsCommentAndBlankLines)
{
    const std::vector<std::pair<const char*, bool>> cases = {
        {"# note", true},
        {"  % tex", true},
        {"\t// c", true},
        {"-- sql", true},
        {"!fortran", true},
        {"\\ idl", true},
        // A backslash before anything but a blank escapes it: a pattern's
        // or a TeX command's first byte, not a comment.
        {"\\.gif$\timage/gif", false},
        {"\\documentclass{article}", false},
        {"; ini", true},
        {"/ half", false},
        {"- half", false},
        {"/", false},
        {"-", false},
        {"a # b", false},
        {"   ", false},
        {"", false},
        // A colour leads a palette's records; a numbered entry commented out
        // and a mark before blanks stay comments.
        {"#ff00aa 1.0", false},
        {"#000000", false},
        {"#DEADBEEF,1", false},
        {"#176 Basal", true},
        {"#000210  Il", false},
        {"# ffffff", true},
        {"#ffffffg", true},
        {"#include <a>", true},
    };
    for (auto [line, comment] : cases)
        EXPECT_EQ(is_comment_line(line), comment) << '"' << line << '"';
    EXPECT_TRUE(is_blank_line(""));
    EXPECT_TRUE(is_blank_line(" \t\f\v "));
    EXPECT_FALSE(is_blank_line(" \t.\v"));
    // Read in one pass, the two questions at once answer as asked apart.
    for (const char* line : {"# note", "  % tex", "\t// c", " - half", "   ", "", " \f ", " \v#",
                             "\f\t", "a # b", " ;", "  x"})
        EXPECT_EQ(is_blank_or_comment_line(line), is_blank_line(line) || is_comment_line(line))
            << '"' << line << '"';
}

struct field_case {
    const char* record;
    unsigned char delimiter;
    std::optional<unsigned char> quote;
    std::vector<std::string_view> fields;
};

TEST(FieldSplit, SplitsOutsideQuotesOnly)
{
    const std::vector<field_case> cases = {
        {"a,b,,c", ',', '"', {"a", "b", "", "c"}},
        {",", ',', '"', {"", ""}},
        {"", ',', '"', {""}},
        {"\"x,y\",z", ',', '"', {"\"x,y\"", "z"}},
        {"\"a\"\"b,c\",d", ',', '"', {"\"a\"\"b,c\"", "d"}},
        {"\"x,y\",z", ',', std::nullopt, {"\"x", "y\"", "z"}},
        {"a|'b|c'|d", '|', '\'', {"a", "'b|c'", "d"}},
        {"  a  b 'c d' ", ' ', '\'', {"a", "b", "'c d'"}},
        {"a\tb", ' ', std::nullopt, {"a", "b"}},
        // Fields are found eight bytes at a time: delimiters and quotes at
        // every place in a word and across words, and bytes one bit away.
        {"abcdefgh,ijklmnopq,\"rstuvw,xyz0123\"456789,",
         ',',
         '"',
         {"abcdefgh", "ijklmnopq", "\"rstuvw,xyz0123\"456789", ""}},
        {"a,b,\"c,d\",e,,f,g,h", ',', '"', {"a", "b", "\"c,d\"", "e", "", "f", "g", "h"}},
        {"\xac\x2d\x0c\xa2;\xbb;1234567;;12345678",
         ';',
         std::nullopt,
         {"\xac\x2d\x0c\xa2", "\xbb", "1234567", "", "12345678"}},
    };
    for (const field_case& each : cases) {
        field_rule rule{each.delimiter, each.quote};
        EXPECT_EQ(split_fields(each.record, rule), each.fields) << each.record;
        EXPECT_EQ(count_fields(each.record, rule), each.fields.size()) << each.record;
    }
}

// Values of many records marked a block at a time across records are the
// values of each alone: records shorter and longer than a block, fields
// across a block's end, lines between records that are none, and quotes
// left open at a record's end (which close at its end, not the next's).
TEST(FieldSplit, ValuesOfRecordsAsOfEachAlone)
{
    std::string text;
    for (int line = 0; line < 40; line++) {
        text += std::string(static_cast<std::size_t>(line * 7 % 23), 'x') + ", \"a,b\" ,";
        text += line % 5 == 0 ? "\"open," : "c";
        text += std::string(static_cast<std::size_t>(line * 13 % 71), 'y') + ",z\n";
        text += line % 3 == 0 ? "# not a record, none\n" : "";
    }
    std::vector<std::string_view> records;
    for (const text_line& line : split_text_lines(text, true))
        if (!line.text.starts_with('#'))
            records.push_back(line.text);
    for (field_rule rule : {field_rule{',', '"'}, field_rule{',', std::nullopt},
                            field_rule{'"', std::nullopt}, field_rule{' ', '"'}}) {
        std::vector<std::string_view> expected, values;
        std::vector<std::size_t> expected_ends, ends;
        for (std::string_view record : records) {
            append_values(record, rule, expected);
            expected_ends.push_back(expected.size());
        }
        append_values_of_records(records, rule, values, ends);
        EXPECT_EQ(values, expected) << rule.delimiter;
        EXPECT_EQ(ends, expected_ends) << rule.delimiter;
    }
}

} // namespace
