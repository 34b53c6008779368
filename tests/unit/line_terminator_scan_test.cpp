#include "../../src/analysis/line_terminator_scan.h"
#include "fake_driver.h"

#include <gtest/gtest.h>

#include <climits>

namespace
{

struct limit_case {
    const char* argument;
    std::int32_t limit;
};

class ShowLimit : public testing::TestWithParam<limit_case>
{
};

TEST_P(ShowLimit, ReadsArgumentTwoAsA32BitAtoi)
{
    EXPECT_EQ(show_limit_of(GetParam().argument), GetParam().limit);
}

INSTANTIATE_TEST_SUITE_P(
    Arguments, ShowLimit,
    testing::Values(limit_case{"5", 5}, limit_case{"0", 0}, limit_case{"-3", -3},
                    limit_case{"+12", 12}, limit_case{"  \t7 records", 7}, limit_case{"", 0},
                    limit_case{"F", 0}, limit_case{"-F", 0}, limit_case{"-fx", 0},
                    limit_case{"2147483647", INT32_MAX}, limit_case{"4294967296", INT32_MAX},
                    limit_case{"99999999999999999999999", INT32_MAX},
                    limit_case{"-2147483648", INT32_MIN}, limit_case{"-4294967296", INT32_MIN}));

std::string carriage_return(int position)
{
    return "\nFound 0x0d( carriage return ) at " + std::to_string(position);
}

std::string line_feed(int position, long long records)
{
    return "\nFound 0x0A ( line feed )      at " + std::to_string(position) +
           "\nApparent number of records in file based on " + std::to_string(position) +
           " record length = " + std::to_string(records) +
           "\n\nhit return to continue, or ^C to quit";
}

struct scan_case {
    const char* name;
    std::string sample;
    std::int64_t size_of_file;
    const char* limit; // null: no second argument
    std::string keys;
    std::string expected;
    std::optional<int> status;
    std::size_t prompts_answered;
};

void PrintTo(const scan_case& c, std::ostream* os)
{
    *os << c.name;
}

const scan_case SCAN_CASES[] = {
    {"each line reports its own length",
     "ab\r\nabcde\nz\n",
     100,
     nullptr,
     "",
     carriage_return(3) + line_feed(4, 25) + line_feed(6, 16) + line_feed(2, 50),
     {},
     3},
    {"a line feed first is position 1", "\nab", 7, nullptr, "", line_feed(1, 7), {}, 1},
    {"a lone carriage return does not reset the position",
     "ab\rcd\n",
     60,
     nullptr,
     "",
     carriage_return(3) + line_feed(6, 10),
     {},
     1},
    {"carriage returns without line feed end the scan quietly",
     "a\rb\r",
     4,
     nullptr,
     "",
     carriage_return(2) + carriage_return(4),
     {},
     0},
    {"lower-case x quits with NORMAL_EXIT", "a\nb\nc\n", 6, nullptr, "x", line_feed(2, 3), 0, 1},
    {"upper-case X quits", "a\nb\nc\n", 6, nullptr, "\nX", line_feed(2, 3) + line_feed(2, 3), 0, 2},
    {"the character 3 quits", "a\nb\n", 4, nullptr, "\x03", line_feed(2, 2), 0, 1},
    {"Escape goes on", "a\nb\n", 4, nullptr, "\x1b\x1b", line_feed(2, 2) + line_feed(2, 2), {}, 2},
    {"limit 1 ends after the second line feed", "a\nb\nc\n", 6, "1", "",
     line_feed(2, 3) + line_feed(2, 3), 0, 2},
    {"limit 0 ends at the first, whatever the key", "a\nb\n", 4, "0", "\n", line_feed(2, 2), 0, 1},
    {"a negative limit ends at the first", "a\nb\n", 4, "-5", "", line_feed(2, 2), 0, 1},
};

class LineTerminatorScan : public testing::TestWithParam<scan_case>
{
};

TEST_P(LineTerminatorScan, ReportsEveryLineEnd)
{
    const scan_case& c = GetParam();
    set_sample(c.sample, c.size_of_file);
    script_keys(c.keys);
    char program[] = "korvalen", file[] = "in.dat";
    std::string limit = c.limit != nullptr ? c.limit : "";
    char* arguments[] = {program, file, limit.data(), nullptr};
    int argument_count = c.limit != nullptr ? 3 : 2;
    captured_run run = capture([&](std::FILE* out) {
        scan_line_terminators(out, static_cast<std::uint32_t>(c.sample.size()), argument_count,
                              arguments);
    });
    EXPECT_EQ(run.output, c.expected);
    EXPECT_EQ(run.status, c.status);
    EXPECT_EQ(prompts_answered(), c.prompts_answered);
}

INSTANTIATE_TEST_SUITE_P(Cases, LineTerminatorScan, testing::ValuesIn(SCAN_CASES));

TEST(LineTerminatorScanLimit, DefaultEndsAtTheTenthLineFeed)
{
    std::string lines;
    for (int i = 0; i < 15; i++)
        lines += "abc\n";
    set_sample(lines, 60);
    script_keys("");
    char program[] = "korvalen", file[] = "in.dat";
    char* arguments[] = {program, file, nullptr};
    captured_run run =
        capture([&](std::FILE* out) { scan_line_terminators(out, 60, 2, arguments); });
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(prompts_answered(), 10u);
}

TEST(LineTerminatorScanHandOver, WithoutLineEnds)
{
    set_sample("ABCABCA", 7);
    char program[] = "korvalen", file[] = "in.dat";
    char* arguments[] = {program, file, nullptr};
    captured_run run =
        capture([&](std::FILE* out) { scan_line_terminators(out, 7, 2, arguments); });
    EXPECT_EQ(run.output, "\nCan't find carriage return or line feed, assume fixed length record"
                          "\nPossible record lengths for top 0 occurances\nrecl     no. recs\n\n");
    EXPECT_FALSE(run.status.has_value());
}

} // namespace
