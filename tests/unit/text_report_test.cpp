#include "../../src/survey/report/text_report.h"

#include <gtest/gtest.h>

namespace
{

byte_span span_of(const std::string& bytes)
{
    return {reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size()};
}

// A 4-byte file header, three 12-byte records with a binary tail, and an
// end-of-file byte.
const std::string PEOPLE = std::string("HDR\0", 4) + std::string("0001ANNA  \0*", 12) +
                           std::string("0002BOB   \x01\x02", 12) + "0003CLARA \xFF\x10" + "\x1A";

survey_report people_report()
{
    survey_report report;
    report.name = "people.dat";
    report.size = PEOPLE.size();
    file_layout& layout = report.layout;
    layout.encoding = text_encoding::binary;
    layout.kind = record_layout::fixed_length;
    layout.record_length = 12;
    layout.header_length = 4;
    layout.trailer_length = 1;
    layout.records = 3;
    layout.columns = {{0, 4}, {4, 10}, {10, 12}};
    report.verified = true;
    report.outcome.records = 3;
    report.first_records = pick_first_records(layout, span_of(PEOPLE), true);
    return report;
}

TEST(SurveyText, FixedLengthReport)
{
    // The bytes around the records are named as such, and the column of
    // file offsets is labelled.
    EXPECT_EQ(text_report(people_report(), 80),
              "people.dat\n"
              "  size            41 bytes\n"
              "  encoding        binary\n"
              "  layout          fixed-length records, no line ends\n"
              "  record          12 bytes\n"
              "  leading bytes   4 bytes\n"
              "  trailing bytes  1 byte\n"
              "  records         3\n"
              "  verified        every record matches the layout\n"
              "\n"
              "        0         10\n"
              "        012345678901\n"
              "offset  |---|-----|-\n"
              "     4  0001ANNA  .*\n"
              "    16  0002BOB   ..\n"
              "    28  0003CLARA ..\n");
}

TEST(SurveyText, NarrowWidthFoldsAtWholeTens)
{
    std::string text = text_report(people_report(), 18);
    EXPECT_EQ(text.substr(text.find("\n\n") + 2), "        0\n"
                                                  "        0123456789\n"
                                                  "offset  |---|-----\n"
                                                  "     4  0001ANNA  \n"
                                                  "    16  0002BOB   \n"
                                                  "    28  0003CLARA \n"
                                                  "\n"
                                                  "        10\n"
                                                  "        01\n"
                                                  "offset  |-\n"
                                                  "    14  .*\n"
                                                  "    26  ..\n"
                                                  "    38  ..\n");
}

TEST(SurveyText, AnomaliesAndAnEstimatedCount)
{
    survey_report report = people_report();
    report.layout.records_estimated = true;
    report.verified = false;
    EXPECT_NE(text_report(report, 80).find("  records         about 3\n"), std::string::npos);
    report.verified = true;
    report.outcome.records = 1000;
    report.outcome.anomalies = 3;
    report.outcome.anomaly_kinds[static_cast<std::size_t>(anomaly_kind::length)] = 2;
    report.outcome.anomaly_kinds[static_cast<std::size_t>(anomaly_kind::field_count)] = 1;
    report.outcome.first_anomalies = {
        {17, 196, "length 11, not 12", anomaly_kind::length, 18},
        {20, 230, "3 fields, expected 2", anomaly_kind::field_count, 21}};
    std::string text = text_report(report, 80);
    EXPECT_NE(
        text.find("  records         1000\n"
                  "  verified        3 of 1000 records break the layout (2 length, 1 field "
                  "count), the first:\n"
                  "                  record 17, line 18 at offset 196: length 11, not 12\n"
                  "                  record 20, line 21 at offset 230: 3 fields, expected 2\n"),
        std::string::npos)
        << text;
}

TEST(SurveyText, LinesReportFromAStream)
{
    const std::string bytes = "\xEF\xBB\xBFid\tname\n1\tAnna\n22\tBob\n";
    survey_report report;
    report.name = "-";
    file_layout& layout = report.layout;
    layout.encoding = text_encoding::utf8;
    layout.byte_order_mark = true;
    layout.kind = record_layout::lines;
    layout.terminator = line_terminator::lf;
    layout.usual_length = 7;
    layout.header_length = 3;
    layout.delimiter = '\t';
    layout.fields = 2;
    layout.header_row = true;
    report.first_records = pick_first_records(layout, span_of(bytes), true);
    // The byte order mark is a leading byte; the row of column names is a
    // record, named as such above the others.
    EXPECT_EQ(text_report(report, 80),
              "-\n"
              "  size            unknown, read from a stream\n"
              "  encoding        utf-8 with BOM\n"
              "  layout          lines ended by LF\n"
              "  record          varies, usually 7 bytes, line end included\n"
              "  leading bytes   3 bytes\n"
              "  trailing bytes  none\n"
              "  delimiter       tab\n"
              "  fields          2\n"
              "  column names    in the first record\n"
              "\n"
              "offset  id  name\n"
              "        --  ----\n"
              "    11  1   Anna\n"
              "    18  22  Bob\n");
}

TEST(SurveyText, UnknownLayoutShowsThreeRowsOfFirstBytes)
{
    std::string bytes(100, '\x07');
    bytes.replace(0, 11, "\xC8\x85\x93\x93\x96\x40\xE6\x96\x99\x93\x84");
    survey_report report;
    report.name = "blob";
    report.size = bytes.size();
    report.layout.encoding = text_encoding::ebcdic;
    report.first_records = pick_first_records(report.layout, span_of(bytes), true);
    std::string text = text_report(report, 30);
    EXPECT_EQ(text.substr(text.find("\n\n") + 2), "        0         10\n"
                                                  "offset  01234567890123456789\n"
                                                  "     0  Hello World.........\n"
                                                  "    20  ....................\n"
                                                  "    40  ....................\n")
        << text;
}

struct lines_case {
    const char* name;
    text_encoding encoding;
    line_terminator terminator;
    std::string bytes;
    bool whole_file;
    std::vector<std::pair<std::uint64_t, std::string>> expected;
};

void PrintTo(const lines_case& c, std::ostream* os)
{
    *os << c.name;
}

const lines_case LINES_CASES[] = {
    {"LF",
     text_encoding::ascii,
     line_terminator::lf,
     "ab\ncd\n\nef\n",
     true,
     {{0, "ab"}, {3, "cd"}, {6, ""}}},
    {"CR LF keeps a lone CR",
     text_encoding::ascii,
     line_terminator::crlf,
     "a\rb\r\ncd\r\n",
     true,
     {{0, "a\rb"}, {5, "cd"}}},
    {"CR", text_encoding::ascii, line_terminator::cr, "ab\rc\nd\r", true, {{0, "ab"}, {3, "c\nd"}}},
    {"mixed",
     text_encoding::ascii,
     line_terminator::mixed,
     "a\r\nb\nc\rd",
     true,
     {{0, "a"}, {3, "b"}, {5, "c"}}},
    {"last line without an end, whole file",
     text_encoding::ascii,
     line_terminator::lf,
     "a\nbc",
     true,
     {{0, "a"}, {2, "bc"}}},
    {"a line the sample cuts off is left out",
     text_encoding::ascii,
     line_terminator::lf,
     "a\nbc",
     false,
     {{0, "a"}}},
    {"UTF-16LE",
     text_encoding::utf16le,
     line_terminator::crlf,
     std::string("a\0\r\0\n\0\n\x01\r\0\n\0", 12),
     true,
     {{0, std::string("a\0", 2)}, {6, std::string("\n\x01", 2)}}},
    {"UTF-16BE",
     text_encoding::utf16be,
     line_terminator::lf,
     std::string("\0a\0\n\x0a\0\0\n", 8),
     true,
     {{0, std::string("\0a", 2)}, {4, std::string("\x0a\0", 2)}}},
    {"EBCDIC new line",
     text_encoding::ebcdic,
     line_terminator::nel,
     "\xC1\x25\xC2\x15\xC3\x15",
     true,
     {{0, "\xC1\x25\xC2"}, {4, "\xC3"}}},
};

class FirstLines : public testing::TestWithParam<lines_case>
{
};

TEST_P(FirstLines, AreCutAtTheirLineEnds)
{
    const lines_case& c = GetParam();
    file_layout layout;
    layout.encoding = c.encoding;
    layout.kind = record_layout::lines;
    layout.terminator = c.terminator;
    std::vector<std::pair<std::uint64_t, std::string>> found;
    for (const shown_record& record : pick_first_records(layout, span_of(c.bytes), c.whole_file))
        found.emplace_back(record.offset, record.bytes);
    EXPECT_EQ(found, c.expected);
}

INSTANTIATE_TEST_SUITE_P(Terminators, FirstLines, testing::ValuesIn(LINES_CASES));

TEST(FirstRecords, FixedLengthStopsBeforeTheTrailerAndCutsLongRecords)
{
    file_layout layout;
    layout.kind = record_layout::fixed_length;
    layout.record_length = 5;
    std::string bytes = "aaaaabbbbbcc";
    EXPECT_EQ(pick_first_records(layout, span_of(bytes), true).size(), 2u);

    layout.record_length = 3 * SHOWN_RECORD_LIMIT;
    bytes.assign(3 * SHOWN_RECORD_LIMIT + SHOWN_RECORD_LIMIT, 'x');
    std::vector<shown_record> records = pick_first_records(layout, span_of(bytes), false);
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[1].offset, 3 * SHOWN_RECORD_LIMIT);
    EXPECT_EQ(records[1].length, 3 * SHOWN_RECORD_LIMIT);
    EXPECT_EQ(records[1].bytes.size(), SHOWN_RECORD_LIMIT);
}

// Lines of one length whose closing rule is the trailer: the rule is not
// shown among the records.
TEST(SurveyText, TrailerIsNoShownRecord)
{
    const std::string report_text = "name  qty\n----  ---\nab      1\ncd      2\n----  ---\n";
    file_layout layout;
    layout.kind = record_layout::lines;
    layout.encoding = text_encoding::ascii;
    layout.terminator = line_terminator::lf;
    layout.record_length = 10;
    layout.header_length = 20;
    layout.trailer_length = 10;
    layout.records = 2;
    std::vector<shown_record> shown = pick_first_records(layout, span_of(report_text), true);
    ASSERT_EQ(shown.size(), 2u);
    EXPECT_EQ(shown.back().offset, 30u);
}

} // namespace
