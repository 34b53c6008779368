#include "../../../src/survey/detect/layout_survey.h"
#include "../../../src/survey/detect/record_types.h"
#include "../../../src/survey/verify/typed_records.h"
#include "../survey_fixtures.h"

#include <gtest/gtest.h>

namespace
{

const char X12_ISA[] = "ISA*00*          *00*          *ZZ*SENDER         *ZZ*RECEIVER       "
                       "*240101*1200*U*00401*000000001*0*P*:";

std::vector<std::string> x12_segments()
{
    std::vector<std::string> segments = {X12_ISA, "GS*PO*SENDER*RECEIVER*20240101*1200*1*X*004010"};
    for (int order = 0; order < 3; order++) {
        std::string number = std::to_string(order);
        segments.insert(segments.end(),
                        {"ST*850*000" + number, "BEG*00*SA*PO" + number + "**1", "N1*ST*ACME CORP",
                         "N3*1 MAIN ST", "N4*SPRINGFIELD*IL*62701", "PO1*1*10*EA*9.99**VP*ABC123",
                         "CTT*1", "SE*8*000" + number});
    }
    segments.insert(segments.end(), {"GE*3*1", "IEA*1*000000001"});
    return segments;
}

std::vector<std::string> hl7_segments()
{
    std::vector<std::string> segments;
    for (int message = 0; message < 3; message++)
        segments.insert(
            segments.end(),
            {"MSH|^~\\&|LAB|HOSP|EHR|HOSP|20240101||ORU^R01|M" + std::to_string(message) + "|P|2.5",
             "PID|1||1000^^^HOSP^MR||DOE^JOHN||19700101|M", "PV1|1|O|CLINIC",
             "OBX|1|NM|WBC||7.2|10*3/uL|4.0-11.0|N|||F",
             "OBX|2|NM|HGB||14.1|g/dL|13.5-17.5|N|||F"});
    return segments;
}

// Two messages in a batch file: file and batch headers before them,
// trailers after, too few segments to show types without the header.
std::vector<std::string> hl7_batch()
{
    std::vector<std::string> segments = {"FHS|^~\\&|LAB|||||||", "BHS|^~\\&|LAB|||||||"};
    for (int message = 0; message < 2; message++)
        segments.insert(
            segments.end(),
            {"MSH|^~\\&|LAB|HOSP|EHR|HOSP|20240101||ADT^A01|M" + std::to_string(message) + "|P|2.4",
             "PID|1||1000^^^HOSP^MR||DOE^JOHN||19700101|M", "NTE|1|x", "PV1|1|O|CLINIC"});
    segments.insert(segments.end(), {"BTS|2", "FTS|1", "FTS|1"});
    return segments;
}

std::vector<std::string> edifact_segments()
{
    std::vector<std::string> segments = {"UNA:+.? '", "UNB+UNOC:3+501:14+503:14+060223:1601+21++Q'",
                                         "UNH+1+QUOTES:D:96A:UN:EAN002'", "BGM+31C::28+1+9'"};
    for (int line = 1; line <= 4; line++)
        segments.insert(segments.end(), {"LIN+" + std::to_string(line) + "++978014:EN'",
                                         "IMD+L+050+:::Title?+ subtitle'", "QTY+1:1'"});
    segments.insert(segments.end(), {"UNT+15+1'", "UNZ+1+21'"});
    return segments;
}

// Segments ended by ~ and LF, every third by ~ and CR LF.
fixture_file ends_of_two_kinds(const std::vector<std::string>& segments)
{
    std::string text;
    for (std::size_t at = 0; at < segments.size(); at++)
        text += segments[at] + (at % 3 == 2 ? "~\r\n" : "~\n");
    fixture_file file;
    file.bytes.assign(text.begin(), text.end());
    return file;
}

std::vector<std::string> x12_isa_off()
{
    std::vector<std::string> segments = x12_segments();
    segments[0] += "*X";
    return segments;
}

std::vector<std::string> edifact_released()
{
    std::vector<std::string> segments = edifact_segments();
    segments[5] = "IMD+L+050+:::O?'BRIEN?+ SONS'";
    return segments;
}

// Numbered types in the order a batch writes them: a header, details
// whose codes repeat one after another, a trailer.
std::vector<std::string> numbered_types()
{
    std::vector<std::string> records = {"01|ACME|20240101"};
    for (int line = 1; line <= 12; line++)
        records.push_back("02|ITEM" + std::to_string(line) + "|" + std::to_string(line) + "|9.99");
    records.push_back("09|12");
    return records;
}

// FIX messages, a line each: BeginString states the separator (SOH) and
// MsgType (35), not the first field, names the type.
std::vector<std::string> fix_messages()
{
    std::vector<std::string> messages;
    for (int each = 1; each <= 12; each++) {
        std::string seq = "\x01"
                          "34=" +
                          std::to_string(each) +
                          "\x01"
                          "49=A\x01"
                          "56=B\x01";
        if (each % 3 == 0)
            messages.push_back("8=FIX.4.4\x01"
                               "9=20\x01"
                               "35=0" +
                               seq + "10=001\x01");
        else
            messages.push_back("8=FIX.4.4\x01"
                               "9=40\x01"
                               "35=D" +
                               seq +
                               "11=X\x01"
                               "55=IBM\x01"
                               "54=1\x01"
                               "10=002\x01");
    }
    return messages;
}

struct typed_case {
    const char* name;
    fixture_file file;
    unsigned char delimiter;
    const char* terminator; // JSON's: a line end's name or the segment byte
    unsigned char segment;  // the byte that ends each segment, 0 for none
    std::size_t types;
    std::uint64_t records;
};

void PrintTo(const typed_case& c, std::ostream* os)
{
    *os << c.name;
}

// As JSON gives it: the line end, or the segment's byte without one.
std::string terminator_of(const file_layout& layout)
{
    const char* names[] = {"none", "LF", "CRLF", "CR", "NEL", "mixed"};
    if (layout.segment_terminator && layout.terminator == line_terminator::none)
        return std::string(1, static_cast<char>(*layout.segment_terminator));
    return names[static_cast<int>(layout.terminator)];
}

class RecordTypes : public testing::TestWithParam<typed_case>
{
};

TEST_P(RecordTypes, TagsChooseTheDelimiterAndTheTerminator)
{
    const typed_case& c = GetParam();
    file_layout layout = survey_layout(c.file.sample());
    EXPECT_EQ(layout.kind, record_layout::lines);
    EXPECT_EQ(layout.delimiter, c.delimiter);
    EXPECT_EQ(terminator_of(layout), c.terminator);
    EXPECT_EQ(layout.segment_terminator.value_or(0), c.segment);
    EXPECT_EQ(layout.record_types.size(), c.types);
    EXPECT_EQ(layout.records, c.records);
    EXPECT_FALSE(layout.header_row);
    EXPECT_EQ(layout.header_length, 0u);
}

INSTANTIATE_TEST_SUITE_P(
    Formats, RecordTypes,
    testing::Values(
        typed_case{"hl7_ended_by_cr", text_lines(hl7_segments(), "\r"), '|', "CR", 0, 4, 15},
        // A batch file's header states the separator as MSH does.
        typed_case{"hl7_batch", text_lines(hl7_batch(), "\n"), '|', "LF", 0, 8, 13},
        typed_case{"x12_without_line_ends", text_lines(x12_segments(), "~"), '*', "~", '~', 12, 28},
        // A segment a line: the stated terminator still ends each segment,
        // so no field ends in it.
        typed_case{"x12_a_segment_a_line", text_lines(x12_segments(), "~\n"), '*', "LF", '~', 12,
                   28},
        typed_case{"x12_a_segment_a_crlf_line", text_lines(x12_segments(), "~\r\n"), '*', "CRLF",
                   '~', 12, 28},
        typed_case{"fix_a_message_a_line", text_lines(fix_messages(), "\n"), 0x01, "LF", 0, 2, 12},
        typed_case{"edifact_with_una", text_lines(edifact_segments(), "\n"), '+', "LF", '\'', 9,
                   18},
        typed_case{"edifact_without_line_ends", text_lines(edifact_segments(), ""), '+', "'", '\'',
                   9, 18},
        // A released terminator is data, not a segment's end, nor one that
        // a line end fails to follow.
        typed_case{"edifact_released_terminator", text_lines(edifact_released(), ""), '+', "'",
                   '\'', 9, 18},
        typed_case{"edifact_released_terminator_a_line", text_lines(edifact_released(), "\r\n"),
                   '+', "CRLF", '\'', 9, 18},
        // An ISA whose terminator's byte holds its delimiter states no
        // terminator: the lines are the segments.
        typed_case{"x12_isa_off_by_its_elements", text_lines(x12_isa_off(), "\n"), '*', "LF", 0, 12,
                   28},
        typed_case{"x12_segment_ends_of_two_kinds", ends_of_two_kinds(x12_segments()), '*', "mixed",
                   '~', 12, 28},
        typed_case{"numbered_types_in_order", text_lines(numbered_types(), "\n"), '|', "LF", 0, 3,
                   14}),
    [](const testing::TestParamInfo<typed_case>& info) { return info.param.name; });

// Text whose first field only looks like a tag: numbers before a decimal
// point, codes that a dash joins to a number, a code column in records of
// one field count, names of settings.
TEST(RecordTypes, NoTypesInOrdinaryText)
{
    std::vector<std::string> numbers, codes, columns, settings, regions;
    const char* countries[] = {"AD", "AE", "AF"};
    for (int row = 0; row < 40; row++) {
        std::string n = std::to_string(row);
        // A region's code holds a '.', as some names do; tabs part them.
        std::string name = row % 3 == 2 ? "St. Ann" : "Ann";
        regions.push_back(std::string(countries[row % 3]) + "." + n + "\t" + name + "\t" + name +
                          "\t30391" + n);
        numbers.push_back(std::to_string(row % 7) + "." + n + "," + n + (row % 3 ? ",1" : ""));
        codes.push_back("MA-" + n + (row % 2 ? "-B-" : "") + ",x,y");
        columns.push_back(std::string(row % 2 ? "IN" : "OUT") + "," + n + ",z");
        settings.push_back("KEY" + n + "=" + n + (row % 2 ? "=x" : ""));
    }
    for (const auto& lines : {numbers, codes, columns, settings, regions}) {
        std::vector<std::string_view> views(lines.begin(), lines.end());
        EXPECT_FALSE(find_record_types(views, {}).found) << lines.front();
        EXPECT_TRUE(survey_layout(text_lines(lines, "\n").sample()).record_types.empty())
            << lines.front();
    }
}

// A few long lines hold many decimal points or commas, tagged bytes after
// each: the lines are the records, and no byte inside them ends segments.
TEST(RecordTypes, FewLongLinesKeepTheirLineEnds)
{
    std::vector<std::string> matrix, book;
    for (int row = 0; row < 5; row++) {
        std::string line = "A" + std::to_string(row);
        for (int column = 0; column < 300; column++)
            line += "\t0." + std::to_string(100 + (row * 7 + column * 13) % 900);
        matrix.push_back(line);
    }
    for (int row = 0; row < 2; row++)
        book.push_back("2020;1T;E;;F" + std::to_string(row) + ";;01/01/2020;;121,00;100,00;21,00;" +
                       "21,00;5,20;2,60;;;;");
    for (const auto& [lines, end, name] :
         {std::tuple{matrix, "\n", "LF"}, {book, "\r\n", "CRLF"}}) {
        file_layout layout = survey_layout(text_lines(lines, end).sample());
        EXPECT_FALSE(layout.segment_terminator) << name;
        EXPECT_EQ(terminator_of(layout), name);
    }
}

// A bank file: a file header, batches of a header, entries and a control
// record, a file control and lines of 9s to fill the block, all 94 bytes
// and told apart by the digit in column 1 only; a comma in the names.
std::vector<std::string> bank_records()
{
    auto padded = [](std::string text) { return text + std::string(94 - text.size(), ' '); };
    std::vector<std::string> records = {padded("101 091000019 0719047792405071642A094101BANK")};
    for (int batch = 1; batch <= 2; batch++) {
        std::string number = std::to_string(batch);
        records.push_back(padded("5225Payroll " + number + "      8665801226 Debit    PAY"));
        for (int entry = 0; entry < 6; entry++)
            records.push_back(padded("62707100104112345678" + number + "        00000" +
                                     std::to_string(140662 + entry) + "       Doe, J" +
                                     std::to_string(entry) + "   0" + number + "23456780000"));
        records.push_back(padded("82250000060014200402000000000000000000012345" + number));
    }
    records.push_back(padded("9000002000002000000120014200402000000000000000000024690"));
    records.insert(records.end(), 3, std::string(94, '9'));
    return records;
}

// The code in column 1 tells the types; the comma in the names splits
// nothing. Numbers of one length whose first digit varies are one table.
TEST(RecordTypes, TypeCodesInTheFirstColumn)
{
    fixture_file bank = text_lines(bank_records(), "\n");
    file_layout layout = survey_layout(bank.sample());
    EXPECT_EQ(layout.record_types.size(), 5u);
    EXPECT_EQ(layout.tag_width, 1u);
    EXPECT_FALSE(layout.delimiter);
    EXPECT_EQ(layout.header_length, 0u);
    EXPECT_EQ(layout.record_length, 95u);
    typed_checker checker(layout);
    checker.feed(bank.bytes);
    checker.finish();
    EXPECT_EQ(checker.outcome().anomalies, 0u);

    std::vector<std::string> table;
    for (int row = 0; row < 40; row++)
        table.push_back(std::to_string(1 + row % 9) + " " + std::to_string(1000 + row * 7) +
                        " item" + std::to_string(10 + row));
    EXPECT_TRUE(survey_layout(text_lines(table, "\n").sample()).record_types.empty());
}

// A clean file passes whole; a record with another count of fields than
// its type, one with a tag of no type and one with no tag are anomalies.
TEST(RecordTypes, VerifyHoldsEachRecordToItsType)
{
    std::vector<std::string> segments = x12_segments();
    fixture_file clean = text_lines(segments, "~");
    file_layout layout = survey_layout(clean.sample());
    typed_checker checker(layout);
    checker.feed(clean.bytes);
    checker.finish();
    EXPECT_EQ(checker.outcome().records, 28u);
    EXPECT_EQ(checker.outcome().anomalies, 0u);

    segments[4] = "N1*ST*ACME*92*1";
    segments[6] = "ZZ*1";
    segments[8] = "*no tag";
    fixture_file broken = text_lines(segments, "~\r\n");
    typed_checker again(layout);
    again.feed(broken.bytes);
    again.finish();
    EXPECT_EQ(again.outcome().records, 28u);
    EXPECT_EQ(again.outcome().anomalies, 3u);
    ASSERT_FALSE(again.outcome().first_anomalies.empty());
    EXPECT_EQ(again.outcome().first_anomalies[0].record, 5u);
    EXPECT_EQ(again.outcome().first_anomalies[0].what, "5 fields, expected 3 for N1");

    // An empty segment is no record, for the survey and --verify alike.
    segments = x12_segments();
    segments[5] += "~";
    fixture_file doubled = text_lines(segments, "~\n");
    file_layout doubled_layout = survey_layout(doubled.sample());
    EXPECT_EQ(doubled_layout.records, 28u);
    typed_checker third(doubled_layout);
    third.feed(doubled.bytes);
    third.finish();
    EXPECT_EQ(third.outcome().records, 28u);
    EXPECT_EQ(third.outcome().anomalies, 0u);
}

// A file cut inside its last segment: the cut segment does not widen its
// type's fields, and --verify names it.
TEST(RecordTypes, SegmentCutByTheEndIsNamed)
{
    std::vector<std::string> segments = x12_segments();
    segments.resize(24); // up to the last order's PO1
    fixture_file file = text_lines(segments, "~");
    file.bytes.resize(file.bytes.size() - std::string("*EA*9.99**VP*ABC123~").size());
    file_layout layout = survey_layout(file.sample());
    ASSERT_FALSE(layout.record_types.empty());
    auto po1 = std::find_if(layout.record_types.begin(), layout.record_types.end(),
                            [](const record_type& type) { return type.tag == "PO1"; });
    ASSERT_NE(po1, layout.record_types.end());
    EXPECT_EQ(po1->fewest_fields, 8u);
    typed_checker checker(layout);
    checker.feed(file.bytes);
    checker.finish();
    ASSERT_EQ(checker.outcome().anomalies, 1u);
    EXPECT_EQ(checker.outcome().first_anomalies[0].what, "3 fields, expected 8 for PO1");
}

TEST(RecordTypes, VerifyReadsTheTypeFromItsOwnField)
{
    std::vector<std::string> messages = fix_messages();
    file_layout layout = survey_layout(text_lines(messages, "\n").sample());
    EXPECT_EQ(layout.type_field, "35=");
    messages[1] = "8=FIX.4.4\x01"
                  "9=40\x01"
                  "35=D\x01"
                  "10=002\x01";
    messages[4] = "8=FIX.4.4\x01"
                  "9=40\x01"
                  "35=Z\x01"
                  "10=002\x01";
    fixture_file broken = text_lines(messages, "\r\n");
    typed_checker checker(layout);
    checker.feed(broken.bytes);
    checker.finish();
    EXPECT_EQ(checker.outcome().records, 12u);
    ASSERT_EQ(checker.outcome().first_anomalies.size(), 2u);
    EXPECT_EQ(checker.outcome().first_anomalies[0].what, "5 fields, expected 11 for 35=D");
    EXPECT_EQ(checker.outcome().first_anomalies[1].what, "tag 35=Z is of no type found");
}

} // namespace
