#include "../../../src/survey/detect/header_row.h"

#include <gtest/gtest.h>

namespace
{

using rows = std::vector<std::vector<std::string_view>>;

struct header_case {
    const char* name;
    rows given;
    bool names;
};

class HeaderRow : public testing::TestWithParam<header_case>
{
};

TEST_P(HeaderRow, Chooses)
{
    EXPECT_EQ(choose_header_row(GetParam().given).choice, GetParam().names);
}

INSTANTIATE_TEST_SUITE_P(
    Tables, HeaderRow,
    testing::Values(
        header_case{"names_over_numbers", {{"id", "amount"}, {"1", "2.5"}, {"2", "3.5"}}, true},
        header_case{"numbers_only", {{"0", "1.5"}, {"1", "2.5"}, {"2", "3.5"}}, false},
        // A totals line holds numbers where the records do: its one text
        // value does not make it names.
        header_case{"totals_first",
                    {{"Total", "120", "45.5"}, {"1", "60", "20.5"}, {"2", "60", "25.0"}},
                    false},
        header_case{
            "names_over_dates", {{"day", "n"}, {"2024-01-02", "4"}, {"2024-01-03", "5"}}, true},
        // Text everywhere: names do not recur and lack the digits below.
        header_case{"names_over_codes",
                    {{"code", "town"}, {"A1", "Oslo"}, {"B2", "Oslo"}, {"C3", "Bergen"}},
                    true},
        header_case{"text_record_first",
                    {{"A0", "Oslo"}, {"A1", "Oslo"}, {"B2", "Bergen"}, {"C3", "Bergen"}},
                    false},
        header_case{"one_row", {{"id", "amount"}}, false}),
    [](const testing::TestParamInfo<header_case>& info) { return info.param.name; });

} // namespace
