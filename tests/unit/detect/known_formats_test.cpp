#include "../../../src/survey/detect/known_formats.h"
#include "../survey_fixtures.h"

#include <gtest/gtest.h>

namespace
{

struct stated_case {
    const char* name;
    std::string bytes;
    const char* expected; // format header length records trailer; "none"
};

std::string describe(const std::optional<stated_layout>& stated)
{
    if (!stated)
        return "none";
    return std::string(stated->format_name) + " " + std::to_string(stated->header) + " " +
           std::to_string(stated->record_length) + " " + std::to_string(stated->records) + " " +
           std::to_string(stated->trailer);
}

class KnownFormats : public testing::TestWithParam<stated_case>
{
};

TEST_P(KnownFormats, Chooses)
{
    const std::string& bytes = GetParam().bytes;
    EXPECT_EQ(describe(read_stated_layout(bytes_of(bytes), bytes.size())), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Headers, KnownFormats,
    testing::Values(
        stated_case{"greymap", "P5 4 3 255\n" + std::string(12, 'x'), "Netpbm image 11 4 3 0"},
        stated_case{"greymap_with_a_comment", "P5\n# by hand\n4 3\n255\n" + std::string(13, 'x'),
                    "Netpbm image 21 4 3 1"},
        // A header whose rows do not fit the file states nothing.
        stated_case{"greymap_cut_short", "P5 4 3 255\n" + std::string(11, 'x'), "none"},
        stated_case{"text", "P5 is a name\n", "none"}),
    [](const testing::TestParamInfo<stated_case>& info) { return info.param.name; });

} // namespace
