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
        // A writer that quotes every string quoted the years that name
        // the columns, not the numbers under them.
        header_case{"quoted_years_over_numbers",
                    {{"\"country\"", "\"1960\"", "\"1961\""},
                     {"\"Germany\"", "2.41", "2.44"},
                     {"\"Korea\"", "6.16", "5.99"}},
                    true},
        // One name is a number (the time "0"), the others are not.
        header_case{"a_number_among_names",
                    {{"gene", "0", "15min", "1hour", "6hours"},
                     {"sll0617", "0.0", "-0.14", "-0.56", "-0.21"},
                     {"slr0452", "0.0", "-0.12", "-0.49", "0.19"}},
                    true},
        header_case{"one_row", {{"id", "amount"}}, false},
        // Text in every column, two of them codes of one length: names
        // above; a single column of codes may start with a shorter one.
        header_case{"names_over_codes_of_one_length",
                    {{"name", "alpha2", "alpha3"},
                     {"Acoli", "ac", "ach"},
                     {"Afar", "aa", "aar"},
                     {"Akan", "ak", "aka"},
                     {"Aleut", "al", "ale"},
                     {"Amharic", "am", "amh"},
                     {"Arabic", "ar", "ara"},
                     {"Aragonese", "an", "arg"},
                     {"Avaric", "av", "ava"}},
                    true},
        header_case{"a_shorter_code_first",
                    {{"0x0", "default"},
                     {"0x28", "AF11"},
                     {"0x30", "AF12"},
                     {"0x38", "AF13"},
                     {"0x48", "AF21"},
                     {"0x20", "CS1"},
                     {"0x40", "CS2"},
                     {"0xB8", "EF"},
                     {"0x60", "CS3"}},
                    false}),
    [](const testing::TestParamInfo<header_case>& info) { return info.param.name; });

} // namespace
