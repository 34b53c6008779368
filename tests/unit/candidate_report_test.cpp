#include "../../src/analysis/candidate_report.h"
#include "../../src/analysis/candidate_table.h"
#include "../../src/analysis/repeat_distances.h"
#include "fake_driver.h"
#include "id_records.h"

#include <gtest/gtest.h>

namespace
{

using namespace std::string_literals;
using table = std::vector<std::pair<int, int>>;

void set_table(const table& entries)
{
    candidate_count = 0;
    for (auto [distance, occurrences] : entries)
        candidate_table[candidate_count++] = {distance, occurrences};
}

table current_table()
{
    table entries;
    for (std::uint32_t i = 0; i < candidate_count; i++)
        entries.emplace_back(candidate_table[i].distance, candidate_table[i].occurrences);
    return entries;
}

std::string heading(int top)
{
    return "\nPossible record lengths for top " + std::to_string(top) +
           " occurances\nrecl     no. recs\n\n";
}

std::string row(const char* text)
{
    return "["s + text + "] \n";
}

std::string samples(int length, const std::string& records)
{
    return "\nsuggested record length is " + std::to_string(length) +
           " characters, and sample\n\n" + records;
}

std::string prompt(int next_length)
{
    return "\nhit return to see next possible record length of " + std::to_string(next_length) +
           " or ^C to quit";
}

const std::string DIGITS = "0123456789";

std::string repeated(const std::string& text, int times)
{
    std::string result;
    for (int i = 0; i < times; i++)
        result += text;
    return result;
}

struct report_case {
    const char* name;
    table entries;
    std::int64_t size_of_file;
    std::string sample;
    std::string keys;
    std::string expected;
    std::optional<int> status;
};

void PrintTo(const report_case& c, std::ostream* os)
{
    *os << c.name;
}

const report_case REPORT_CASES[] = {
    {"empty table", {}, 100, DIGITS, "", heading(-1), {}},
    {"entry 0 fails", {{3, 50}, {5, 40}}, 100, DIGITS, "", heading(0), {}},
    {"one passing entry is listed but not shown",
     {{10, 50}},
     100,
     DIGITS,
     "",
     heading(0) + row(" 10          10"),
     {}},
    {"three passing entries show the first two",
     {{10, 30}, {20, 20}, {25, 15}},
     100,
     repeated(DIGITS, 10),
     "\n",
     heading(2) + row(" 10          10") + row(" 20           5") + row(" 25           4") +
         samples(10, repeated(DIGITS + "\n", 3)) + prompt(20) +
         samples(20, repeated(DIGITS + DIGITS + "\n", 3)),
     {}},
    {"8 is listed but 16 is suggested and shown twice",
     {{8, 50}, {16, 40}, {3, 100}},
     64,
     repeated(DIGITS, 10),
     "",
     heading(2) + row("  8           8") + row(" 16           4") +
         samples(16, "0123456789012345\n6789012345678901\n2345678901234567\n") + prompt(16) +
         samples(16, "0123456789012345\n6789012345678901\n2345678901234567\n"),
     {}},
    {"a failing last entry can be suggested",
     {{8, 50}, {24, 3}},
     48,
     repeated(DIGITS, 10),
     "",
     heading(1) + row("  8           6") +
         samples(24, "012345678901234567890123\n456789012345678901234567\n"
                     "890123456789012345678901\n"),
     {}},
    {"without a suggestion entry 0 is shown",
     {{8, 50}, {5, 20}},
     64,
     repeated(DIGITS, 10),
     "",
     heading(1) + row("  8           8") + samples(8, "01234567\n89012345\n67890123\n"),
     {}},
    {"a NUL ends a record and its line feed",
     {{10, 50}, {3, 1}},
     100,
     "ab\0defghijklmnopqrst1234567890"s,
     "",
     heading(1) + row(" 10          10") + samples(10, "abklmnopqrst\n1234567890\n"),
     {}},
    {"records past the valid length show only delivered bytes",
     {{10, 50}, {3, 1}},
     100,
     "abcdefghijklmno",
     "",
     heading(1) + row(" 10          10") + samples(10, "abcdefghij\nklmno\n\n"),
     {}},
};

class CandidateReport : public testing::TestWithParam<report_case>
{
};

TEST_P(CandidateReport, WritesListSamplesAndPrompts)
{
    const report_case& c = GetParam();
    set_sample(c.sample, c.size_of_file);
    set_table(c.entries);
    script_keys(c.keys);
    captured_run run = capture([&](std::FILE* out) {
        report_candidates(out, static_cast<std::uint32_t>(c.sample.size()));
    });
    EXPECT_EQ(run.output, c.expected);
    EXPECT_EQ(run.status, c.status);
}

INSTANTIATE_TEST_SUITE_P(Cases, CandidateReport, testing::ValuesIn(REPORT_CASES));

struct key_case {
    int key;
    std::optional<int> status;
};

class PagerKey : public testing::TestWithParam<key_case>
{
};

TEST_P(PagerKey, QuitsWithUserAbortedOrGoesOn)
{
    set_sample(repeated(DIGITS, 10), 100);
    set_table({{10, 30}, {20, 20}, {25, 15}});
    script_keys(std::string(1, static_cast<char>(GetParam().key)));
    captured_run run = capture([](std::FILE* out) { report_candidates(out, 100); });
    EXPECT_EQ(run.status, GetParam().status);
    bool went_on = run.output.find("suggested record length is 20") != std::string::npos;
    EXPECT_EQ(went_on, !GetParam().status.has_value());
}

INSTANTIATE_TEST_SUITE_P(Keys, PagerKey,
                         testing::Values(key_case{3, 1}, key_case{27, 1}, key_case{'x', 1},
                                         key_case{'X', {}}, key_case{'\n', {}}, key_case{'q', {}}));

TEST(CandidateReportCap, ListsTenAndShowsNineLengths)
{
    // Fourteen lengths that divide 720720, behind them two that fail.
    const int lengths[] = {8, 9, 10, 11, 12, 13, 14, 15, 16, 18, 20, 21, 22, 24};
    table entries = {{7, 500}, {17, 50}};
    int occurrences = 100;
    for (int length : lengths)
        entries.emplace_back(length, occurrences--);
    set_sample(repeated(DIGITS, 100), 720720);
    set_table(entries);
    script_keys("");
    captured_run run = capture([](std::FILE* out) { report_candidates(out, 1000); });

    auto count = [&](const std::string& text) {
        std::size_t found = 0;
        for (std::size_t at = run.output.find(text); at != std::string::npos;
             at = run.output.find(text, at + 1))
            found++;
        return found;
    };
    EXPECT_EQ(run.output.rfind(heading(14), 0), 0u);
    EXPECT_EQ(count("] \n"), 10u);
    EXPECT_EQ(count("suggested record length is"), 9u);
    EXPECT_EQ(count("hit return"), 8u);
    EXPECT_EQ(prompts_answered(), 8u);
    EXPECT_NE(run.output.find(samples(9, "")), std::string::npos);
    EXPECT_NE(run.output.find(prompt(16)), std::string::npos);
    EXPECT_EQ(run.output.find(samples(18, "")), std::string::npos);
}

struct ranking_case {
    const char* name;
    table entries;
    std::int64_t size_of_file;
    table expected;
};

void PrintTo(const ranking_case& c, std::ostream* os)
{
    *os << c.name;
}

const ranking_case RANKING_CASES[] = {
    {"short and non-dividing distances are blanked, 8 passes",
     {{7, 90}, {8, 80}, {9, 70}, {10, 60}},
     80,
     {{8, 80}, {10, 60}, {0, 0}}},
    {"cut keeps the first failing entry",
     {{10, 50}, {20, 9}, {40, 30}},
     400,
     {{10, 50}, {40, 30}, {20, 9}}},
    {"equal counts come out in this selection sort's order",
     {{10, 10}, {20, 10}, {40, 20}},
     400,
     {{40, 20}, {20, 10}, {10, 10}}},
    {"a table of one is left alone", {{12, 5}}, 24, {{12, 5}}},
    {"nothing fails, nothing is cut", {{10, 10}, {20, 30}}, 40, {{20, 30}, {10, 10}}},
};

class Ranking : public testing::TestWithParam<ranking_case>
{
};

TEST_P(Ranking, BlanksSortsAndCuts)
{
    set_sample("", GetParam().size_of_file);
    set_table(GetParam().entries);
    rank_candidates();
    EXPECT_EQ(current_table(), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Cases, Ranking, testing::ValuesIn(RANKING_CASES));

TEST(FixedLengthAnalysis, TwoHundredIdRecords)
{
    std::string file = id_records(200);
    set_sample(file, 2000);
    script_keys("\n");
    captured_run run = capture([](std::FILE* out) { scan_repeat_distances(out, 2000); });

    std::string first_thirty;
    for (int line = 0; line < 3; line++)
        first_thirty += file.substr(line * 100, 100) + "\n";
    EXPECT_EQ(run.output, heading(2) + row(" 10         200") + row("100          20") +
                              samples(10, "ID0000XY  \nID0001XY  \nID0002XY  \n") + prompt(100) +
                              samples(100, first_thirty));
    EXPECT_FALSE(run.status.has_value());
    EXPECT_EQ(prompts_answered(), 1u);
}

} // namespace
