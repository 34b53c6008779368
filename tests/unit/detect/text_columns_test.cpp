#include "../../../src/survey/detect/text_columns.h"

#include <gtest/gtest.h>

namespace
{

struct columns_case {
    const char* name;
    std::vector<std::string_view> records;
    const char* expected; // [start,end) of each column
};

std::string describe(const std::vector<column_span>& columns)
{
    std::string text;
    for (column_span column : columns)
        text += std::to_string(column.start) + "-" + std::to_string(column.end) + " ";
    return text;
}

class TextColumns : public testing::TestWithParam<columns_case>
{
};

TEST_P(TextColumns, Chooses)
{
    EXPECT_EQ(describe(find_text_columns(GetParam().records).choice), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Records, TextColumns,
    testing::Values(columns_case{"blank_separated", {"ab 12", "cd 34", "ef 56"}, "0-2 3-5 "},
                    // Names with blanks in them at any offset; amounts start at one.
                    columns_case{
                        "letters_then_digits", {"ann b0012", "bo cd0340", "c dee0056"}, "0-5 5-9 "},
                    columns_case{"blank_runs_and_kind_changes",
                                 {"ANNA BERG 0001200 OSLO  ", "OLEMANN   0000045 BERGEN",
                                  "LI        1234567 AS    "},
                                 "0-9 10-17 18-24 "},
                    columns_case{"one_record", {"ab 12"}, ""}),
    [](const testing::TestParamInfo<columns_case>& info) { return info.param.name; });

} // namespace
