#include "../../../src/survey/detect/column_names_line.h"
#include "../../../src/survey/detect/text_columns.h"

#include <gtest/gtest.h>

namespace
{

struct names_case {
    const char* name;
    const char* preamble;
    std::vector<std::string_view> records;
    const char* expected; // the names joined by '|', empty for none
};

std::string names_found(const names_case& each)
{
    std::vector<column_span> columns = find_text_columns(each.records).choice;
    std::vector<std::vector<std::string_view>> rows;
    for (std::string_view record : each.records) {
        std::vector<std::string_view> row;
        for (column_span column : columns) {
            std::string_view value = record.substr(column.start, column.end - column.start);
            std::size_t first = value.find_first_not_of(' ');
            row.push_back(first == std::string_view::npos ? std::string_view{}
                                                          : value.substr(first));
        }
        rows.push_back(row);
    }
    std::string joined;
    for (const std::string& name : names_over_columns(names_line_of(each.preamble), columns, rows))
        joined += (joined.empty() ? "" : "|") + name;
    return joined;
}

class ColumnNamesLine : public testing::TestWithParam<names_case>
{
};

TEST_P(ColumnNamesLine, Names)
{
    EXPECT_EQ(names_found(GetParam()), GetParam().expected);
}

const std::vector<std::string_view> PEOPLE = {"ANNA     1990   12.50", "OLE      1985    7.25",
                                              "KARI     2001  103.00"};

INSTANTIATE_TEST_SUITE_P(
    Lines, ColumnNamesLine,
    testing::Values(
        // Left over the text, right over the numbers.
        names_case{"aligned_left_and_right", "NAME     BORN   PRICE\n", PEOPLE, "NAME|BORN|PRICE"},
        names_case{"under_a_title_over_a_rule",
                   "People of the year\n\nNAME     BORN   PRICE\n----     ----   -----\n", PEOPLE,
                   "NAME|BORN|PRICE"},
        names_case{"a_phrase_behind_a_comment_mark",
                   "#ID Full name    Year\n",
                   {"  1 Anna Berg    1990", "  2 Ole Hansen   1985", " 13 Kari Li      2001"},
                   "ID|Full name|Year"},
        names_case{"names_over_numbers_alone",
                   "   ID  COUNT\n",
                   {"    1     20", "   12      3", "  123   4567"},
                   "ID|COUNT"},
        // Bars between the names, and a rule under them.
        names_case{"names_between_bars", "NAME   | BORN | PRICE\n-------+------+------\n", PEOPLE,
                   "NAME|BORN|PRICE"},
        // A ruled heading names the columns in its first line; types and
        // nulls follow.
        names_case{"ruled_heading_of_names_and_types",
                   "NAME    |BORN  |PRICE|\nchar    |int   |real |\n        |      |     |\n",
                   PEOPLE, "NAME|BORN|PRICE"},
        // A title is not names, though it stands over the columns.
        names_case{"a_title", "  People of the year\n", PEOPLE, ""},
        names_case{"numbers_over_numbers", "NAME     2000    1.00\n", PEOPLE, ""},
        names_case{"words_off_the_edges", "  NAME     BORN PRICE\n", PEOPLE, ""},
        names_case{"a_word_between_columns", "NAME AGE 1990   12.50\n", PEOPLE, ""},
        names_case{"nothing_before", "", PEOPLE, ""}),
    [](const testing::TestParamInfo<names_case>& info) { return info.param.name; });

} // namespace
