#include "../../src/analysis/field_report.h"
#include "fake_driver.h"

#include <gtest/gtest.h>

namespace
{

using namespace std::string_literals;

struct field_case {
    const char* name;
    std::string sample;
    std::string expected_after_heading;
};

const std::string NO_DELIMITER = "EOR\n Can't find pipe delimeter\n";

std::string block(int count, const std::string& shown)
{
    return "First record, " + std::to_string(count) +
           " characters. Not wrapped: Spaces not truncated\n---------------------\n" + shown +
           "\n---------------------\n";
}

std::string length_lines(const std::string& padded_length)
{
    return "\nRecord len: " + padded_length + "\nFrom position 1   from 0\n";
}

std::string first_field(const std::string& shown)
{
    return "Field 1:                    " + shown + "<<TRUNCATED";
}

const field_case FIELD_CASES[] = {
    {"worked example", "ab|cd|ef\r\nzz|zz\r\n",
     block(10, "ab|cd|ef") + length_lines(" 10") + first_field("ab") +
         "\nPipe at       3        2  |cd<<-3"
         "\nPipe at       6        5  |ef<<-3EOR\n"},
    {"lone LF shows no block and loses a byte", "a|bc\nrest",
     length_lines("  5") + first_field("a") + "\nPipe at       2        1  |b<<-2EOR\n"},
    {"CR not before LF stays in the record", "ab\r\r\ncd",
     block(5, "ab\r") + length_lines("  5") + first_field("ab\r\r\n") + NO_DELIMITER},
    {"CR as the last valid byte ends nothing", "abc\r",
     length_lines("  4") + first_field("abc\r") + NO_DELIMITER},
    {"first field is cut at 80 bytes", std::string(100, 'a') + "|x\r\n",
     block(104, std::string(100, 'a') + "|x") + length_lines("104") +
         first_field(std::string(80, 'a')) + "\nPipe at     101      100  |x<<-2EOR\n"},
    {"delimiter as the first byte", "|ab\n",
     length_lines("  4") + first_field("") + "\nPipe at       1        0  |a<<-2EOR\n"},
    {"adjacent delimiters", "a||b\r\n",
     block(6, "a||b") + length_lines("  6") + first_field("a") +
         "\nPipe at       2        1  |<<-1"
         "\nPipe at       3        2  |b<<-2EOR\n"},
    {"delimiter as the last data byte", "ab|\r\n",
     block(5, "ab|") + length_lines("  5") + first_field("ab") +
         "\nPipe at       3        2  |<<-1EOR\n"},
    {"short record shown with its terminator", "hello\r\nnext",
     block(7, "hello") + length_lines("  7") + first_field("hello\r\n") + NO_DELIMITER},
    {"zero byte cuts text but not counts", "a\0b|c\0d|e\r\n"s,
     block(11, "a") + length_lines(" 11") + first_field("a") +
         "\nPipe at       4        3  |c<<-4"
         "\nPipe at       8        7  |e<<-2EOR\n"},
    {"empty sample", "", length_lines("  0") + NO_DELIMITER},
    {"a sample without line end is one record", "ab|cd",
     length_lines("  5") + first_field("ab") + "\nPipe at       3        2  |<<-1EOR\n"},
    {"record over 999 keeps its full count", std::string(1200, 'b') + "\n",
     length_lines("1201") + first_field(std::string(80, 'b')) + NO_DELIMITER},
};

void PrintTo(const field_case& c, std::ostream* os)
{
    *os << c.name;
}

class FieldReport : public testing::TestWithParam<field_case>
{
};

TEST_P(FieldReport, Writes)
{
    const field_case& c = GetParam();
    captured_run run = capture([&](std::FILE* out) {
        report_fields(out, "data.txt", reinterpret_cast<const unsigned char*>(c.sample.data()),
                      static_cast<std::int32_t>(c.sample.size()));
    });
    EXPECT_FALSE(run.status.has_value());
    EXPECT_EQ(run.output, "\nChecking fields in filename: data.txt\n" + c.expected_after_heading);
}

INSTANTIATE_TEST_SUITE_P(Cases, FieldReport, testing::ValuesIn(FIELD_CASES),
                         [](const testing::TestParamInfo<field_case>& info) {
                             std::string name;
                             for (char ch : std::string(info.param.name))
                                 name += std::isalnum(static_cast<unsigned char>(ch)) ? ch : '_';
                             return name;
                         });

TEST(FieldReportSample, ReadsOnlyTheFirstRecordOfALargeSample)
{
    // Delimiters past the first line end belong to later records.
    std::string sample = "x|y\n" + std::string(15990, '|');
    captured_run run = capture([&](std::FILE* out) {
        report_fields(out, "big", reinterpret_cast<const unsigned char*>(sample.data()),
                      static_cast<std::int32_t>(sample.size()));
    });
    EXPECT_EQ(run.output, "\nChecking fields in filename: big\n" + length_lines("  4") +
                              first_field("x") + "\nPipe at       2        1  |<<-1EOR\n");
}

} // namespace
