#include "../../../src/survey/detect/terminator_choice.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

namespace
{

struct terminator_case {
    const char* name;
    line_end_census census; // lf, crlf, cr, nel
    line_terminator expected;
};

class TerminatorChoice : public testing::TestWithParam<terminator_case>
{
};

TEST_P(TerminatorChoice, Chooses)
{
    EXPECT_EQ(choose_terminator(GetParam().census).choice, GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Censuses, TerminatorChoice,
    testing::Values(terminator_case{"no_line_end", {0, 0, 0, 0}, line_terminator::none},
                    terminator_case{"lf", {40, 0, 0, 0}, line_terminator::lf},
                    terminator_case{"crlf", {0, 40, 0, 0}, line_terminator::crlf},
                    terminator_case{"cr", {0, 0, 40, 0}, line_terminator::cr},
                    terminator_case{"nel", {0, 0, 0, 40}, line_terminator::nel},
                    // One stray line end is one record's anomaly, for --verify
                    // to report, however few lines there are.
                    terminator_case{"one_stray_lf", {1, 11, 0, 0}, line_terminator::crlf},
                    terminator_case{"two_strays_in_forty", {2, 38, 0, 0}, line_terminator::mixed},
                    terminator_case{
                        "two_strays_in_a_hundred", {2, 98, 0, 0}, line_terminator::crlf},
                    // Of two kinds as common, CR LF: a file with any was
                    // written on Windows.
                    terminator_case{"one_each", {1, 1, 0, 0}, line_terminator::crlf},
                    terminator_case{"half_and_half", {20, 20, 0, 0}, line_terminator::mixed}),
    [](const testing::TestParamInfo<terminator_case>& info) { return info.param.name; });

TEST(TerminatorChoice, ScoresEachKindByItsShare)
{
    terminator_choice choice = choose_terminator({1, 3, 0, 0});
    ASSERT_EQ(choice.candidates.size(), 4u);
    EXPECT_EQ(choice.candidates[0].value, line_terminator::crlf);
    EXPECT_DOUBLE_EQ(choice.candidates[0].score, 0.75);
    EXPECT_DOUBLE_EQ(choice.candidates[1].score, 0.25);
}

struct mixed_case {
    const char* name;
    std::string text;
    std::optional<unsigned char> quote;
    line_terminator expected;
};

class MixedEnds : public testing::TestWithParam<mixed_case>
{
};

TEST_P(MixedEnds, Settles)
{
    const std::string& text = GetParam().text;
    byte_span bytes(reinterpret_cast<const unsigned char*>(text.data()), text.size());
    EXPECT_EQ(settle_mixed_ends(bytes, GetParam().quote, true), GetParam().expected);
}

// A spreadsheet's rows in CR LF, cells of two lines parted by LF alone.
const std::string cells_of_two_lines = "id,note\r\n1,\"first\nsecond\"\r\n2,plain\r\n"
                                       "3,\"a\nb\"\r\n4,\"c\nd\"\r\n";

INSTANTIATE_TEST_SUITE_P(
    Texts, MixedEnds,
    testing::Values(
        mixed_case{"lines_inside_quoted_cells", cells_of_two_lines, '"', line_terminator::crlf},
        mixed_case{"no_quote", cells_of_two_lines, std::nullopt, line_terminator::mixed},
        // Outside the quotes the ends still mix: two programs.
        mixed_case{"mixed_outside_quotes", "a,\"x\"\r\nb,1\nc,2\r\nd,3\ne,4\r\n", '"',
                   line_terminator::mixed}),
    [](const testing::TestParamInfo<mixed_case>& info) { return info.param.name; });

} // namespace
