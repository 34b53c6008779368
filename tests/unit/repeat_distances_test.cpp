#include "../../src/analysis/candidate_table.h"
#include "../../src/analysis/repeat_distances.h"
#include "fake_driver.h"
#include "id_records.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace
{

using namespace std::string_literals;
using table = std::vector<std::pair<int, int>>;

table counted_table(const std::string& sample)
{
    set_sample(sample, static_cast<std::int64_t>(sample.size()));
    count_repeat_distances(static_cast<std::uint32_t>(sample.size()));
    table counted;
    for (std::uint32_t i = 0; i < candidate_count; i++)
        counted.emplace_back(candidate_table[i].distance, candidate_table[i].occurrences);
    return counted;
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
    std::string sample;
    unsigned state = 12345;
    for (int i = 0; i < 500; i++) {
        state = state * 1103515245 + 12345;
        sample += static_cast<char>('a' + (state >> 16) % 6);
    }
    table counted = counted_table(sample);
    EXPECT_GT(counted.size(), 100u);

    // Recount naively, in the same order, and compare.
    table naive;
    for (int p = 0; p <= 493; p++) {
        int previous = p;
        for (int k = p + 3; k <= 496; k++) {
            if (sample.compare(p, 3, sample, k, 3) != 0)
                continue;
            int distance = k - previous;
            previous = k;
            auto found = std::find_if(naive.begin(), naive.end(),
                                      [&](auto& entry) { return entry.first == distance; });
            if (found != naive.end())
                found->second++;
            else
                naive.emplace_back(distance, 1);
        }
    }
    EXPECT_EQ(counted, naive);
}

} // namespace
