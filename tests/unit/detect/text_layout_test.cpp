#include "../../../src/survey/detect/text_layout.h"
#include "../survey_fixtures.h"

#include <gtest/gtest.h>

namespace
{

struct shape_case {
    const char* name;
    std::vector<std::string> lines;
    text_shape expected;
};

class TextShape : public testing::TestWithParam<shape_case>
{
};

TEST_P(TextShape, Chooses)
{
    fixture_file file = text_lines(GetParam().lines, "\n");
    file_layout layout;
    layout.encoding = text_encoding::ascii;
    layout.kind = record_layout::lines;
    layout.terminator = line_terminator::lf;
    EXPECT_EQ(survey_text_lines(file.sample(), {text_encoding::ascii, 0, 1, {}}, layout).choice,
              GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, TextShape,
    testing::Values(shape_case{"delimited", {"a,1", "b,2", "c,3"}, text_shape::delimited},
                    // Single blanks between as many values in every line split fields.
                    shape_case{"blank_separated",
                               {"a 1 x", "bb 22 y", "c 3 zz", "dd 4 w"},
                               text_shape::delimited},
                    // Blanks that pad values to line up make columns of fixed width.
                    shape_case{"padded_columns",
                               {"ann    12  x", "bo      3  y", "carl  100  z"},
                               text_shape::fixed_width},
                    shape_case{"title_then_fixed_run",
                               {"Stock list", "A0010012", "B0020340", "C0030056", "D0040078"},
                               text_shape::fixed_width},
                    shape_case{"free_text",
                               {"# a program", "int main()", "{", "    return 0;", "}"},
                               text_shape::free_text}),
    [](const testing::TestParamInfo<shape_case>& info) { return info.param.name; });

} // namespace
