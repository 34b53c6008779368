#include "../../../src/survey/detect/period_search.h"
#include "../survey_fixtures.h"

#include <gtest/gtest.h>

namespace
{

struct period_case {
    const char* name;
    fixture_file file;
    std::uint32_t expected; // 0: none
};

class PeriodSearch : public testing::TestWithParam<period_case>
{
};

TEST_P(PeriodSearch, Chooses)
{
    const std::vector<unsigned char>& bytes = GetParam().file.bytes;
    EXPECT_EQ(find_period({bytes.data(), bytes.size()}, nullptr).choice.length,
              GetParam().expected);
}

// Records of one kind repeated in pairs: the pair repeats more strongly,
// but the record is the divisor.
fixture_file paired_records()
{
    fixture_file file = binary_records(24, 400, 0, 0);
    for (std::size_t at = 0; at + 48 <= file.bytes.size(); at += 48)
        file.bytes[at + 30] = 0xAA;
    return file;
}

INSTANTIATE_TEST_SUITE_P(Files, PeriodSearch,
                         testing::Values(period_case{"short", binary_records(7, 3000, 0, 0), 7},
                                         period_case{"long", binary_records(497, 200, 0, 0), 497},
                                         period_case{"divisor_of_a_pair", paired_records(), 24},
                                         period_case{"random", random_bytes(100000), 0},
                                         period_case{"too_few", random_bytes(5), 0}),
                         [](const testing::TestParamInfo<period_case>& info) {
                             return info.param.name;
                         });

TEST(PeriodSearch, KeepsTheMultiplesItWeighed)
{
    fixture_file file = paired_records();
    period_choice period = find_period({file.bytes.data(), file.bytes.size()}, nullptr);
    bool pair_weighed = false;
    for (const auto& each : period.candidates)
        pair_weighed |= each.value == 48 && each.score >= period.choice.strength * DIVISOR_SHARE;
    EXPECT_TRUE(pair_weighed);
}

} // namespace
