#include "../../src/analysis/candidate_table.h"
#include "../../src/analysis/repeat_distances.h"
#include "fake_driver.h"
#include "id_records.h"
#include "reference_repeat_distances.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>

namespace
{

using namespace std::string_literals;
using table = distance_table;

table counted_table(const std::string& sample)
{
    set_sample(sample, static_cast<std::int64_t>(sample.size()));
    count_repeat_distances(static_cast<std::uint32_t>(sample.size()));
    return candidate_entries();
}

table recounted_table(const std::string& sample)
{
    return reference_repeat_distances(reinterpret_cast<const unsigned char*>(sample.data()),
                                      static_cast<std::uint32_t>(sample.size()));
}

std::string random_sample(std::mt19937& generator, const std::string& letters, std::size_t length)
{
    std::uniform_int_distribution<std::size_t> letter(0, letters.size() - 1);
    std::string sample;
    while (sample.size() < length)
        sample += letters[letter(generator)];
    return sample;
}

struct histogram_case {
    const char* name;
    std::string sample;
    table expected;
};

void PrintTo(const histogram_case& c, std::ostream* os)
{
    *os << c.name;
}

const histogram_case HISTOGRAM_CASES[] = {
    {"empty window", "", {}},
    {"six bytes are too few", "AAAAAA", {}},
    {"seven bytes give one comparison", "ABCABCA", {{3, 1}}},
    {"seven different bytes give nothing", "ABCDEFG", {}},
    {"a window of spaces", std::string(500, ' '), {{3, 494}, {1, 121771}}},
    {"only the first 500 bytes count", std::string(700, ' '), {{3, 494}, {1, 121771}}},
    {"a shared NUL ends the comparison", "A\0BA\0CXYZ"s, {{3, 2}}},
    {"200 ID records of 10 bytes",
     id_records(200),
     {{10, 7472}, {9, 1}, {100, 100}, {89, 1}, {179, 1}, {269, 1}, {359, 1}}},
    {"entries keep the order distances were first met", "abcXabcYYabcZZZZZZ", {{4, 1}, {5, 2}}},
};

class Histogram : public testing::TestWithParam<histogram_case>
{
};

TEST_P(Histogram, CountsEveryDistanceInOrderFirstMet)
{
    EXPECT_EQ(counted_table(GetParam().sample), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Cases, Histogram, testing::ValuesIn(HISTOGRAM_CASES));

TEST(HistogramTable, RoomForMoreThanAHundredDistances)
{
    // Random letters of a six-letter alphabet meet far more than 100
    // distinct distances; none may be dropped and every count must stay
    // exact.
    std::mt19937 generator(12345);
    std::string sample = random_sample(generator, "abcdef", SCAN_WINDOW);
    table counted = counted_table(sample);
    EXPECT_GT(counted.size(), 100u);
    EXPECT_EQ(counted, recounted_table(sample));
}

TEST(HistogramTable, RecountMatchesAsStrncmp)
{
    const char bytes[] = {'\0', 'a', 'b'};
    char pattern[4] = {}, group[4] = {};
    for (int i = 0; i < 27 * 27; i++) {
        for (int b = 0, code = i; b < 3; b++, code /= 3)
            pattern[b] = bytes[code % 3];
        for (int b = 0, code = i / 27; b < 3; b++, code /= 3)
            group[b] = bytes[code % 3];
        EXPECT_EQ(matches_as_strncmp(pattern, group), std::strncmp(pattern, group, 3) == 0) << i;
    }
}

TEST(HistogramTable, AgreesWithAPlainRecountOnRandomWindows)
{
    // Few letters give many matches at many distances; NULs end the
    // comparison early, so groups that differ after a NUL still match.
    const std::string alphabets[] = {"a", "ab", "abc", "abcdef", "\0ab"s, "\0\0\0a"s};
    std::mt19937 generator(20261209);
    for (const std::string& letters : alphabets) {
        for (std::size_t length = 0; length <= SCAN_WINDOW + 20; length++) {
            std::string sample = random_sample(generator, letters, length);
            ASSERT_EQ(counted_table(sample), recounted_table(sample))
                << letters.size() << " letters, " << length << " bytes";
        }
    }
}

} // namespace
