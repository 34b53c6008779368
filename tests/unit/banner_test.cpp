#include "../../src/banner/banner.h"
#include "../../src/banner/version_text.h"
#include "fake_driver.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cstdlib>

namespace
{

struct version_case {
    const char* name;
    const char* date_stamp;
    const char* time_stamp;
    const char* suffix;
    std::string expected;
};

void PrintTo(const version_case& c, std::ostream* os)
{
    *os << c.name;
}

const version_case VERSION_CASES[] = {
    {"day below 10 gets a leading 0", "Feb  7 2021", "13:54:18", "\xFB", "21.02.07.13.54\xFB"},
    {"days from 10 are copied", "Dec 25 1999", "23:59:01", "\xFB", "99.12.25.23.59\xFB"},
    {"seconds never show", "Dec 25 1999", "23:59:59", "\xFB", "99.12.25.23.59\xFB"},
    {"null suffix ends with the minutes", "Jan  1 2030", "00:00:00", nullptr, "30.01.01.00.00"},
    {"a colon in the suffix stays", "Sep 30 2024", "09:05:00", " a:b", "24.09.30.09.05 a:b"},
    {"an unknown month adds nothing", "Foo 11 2020", "10:20:30", nullptr, "20..11.10.20"},
};

class VersionText : public testing::TestWithParam<version_case>
{
};

TEST_P(VersionText, IsYearMonthDayHourMinute)
{
    const version_case& c = GetParam();
    char* text = build_version_text(c.date_stamp, c.time_stamp, c.suffix);
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(std::string(text), c.expected);
    std::free(text);
}

INSTANTIATE_TEST_SUITE_P(Stamps, VersionText, testing::ValuesIn(VERSION_CASES));

std::string box_line(char left, char inside, char right)
{
    return "  " + std::string(1, left) + std::string(74, inside) + std::string(1, right) + "\n";
}

std::string text_line(int left_blanks, const std::string& text, int right_blanks)
{
    return "  \xBA" + std::string(left_blanks, ' ') + text + std::string(right_blanks, ' ') +
           "\xBA\n";
}

// The version text depends on when the banner was compiled; its shape does
// not: five two-digit numbers joined by points.
std::string with_version_shape(std::string banner)
{
    const std::string shape = "YY.MM.DD.hh.mm";
    std::size_t at = banner.find("Ver. ");
    if (at == std::string::npos || at + 5 + shape.size() > banner.size())
        return banner;
    at += 5;
    for (std::size_t i = 0; i < shape.size(); i++) {
        bool point_expected = i % 3 == 2;
        char found = banner[at + i];
        if (point_expected ? found != '.' : !std::isdigit(static_cast<unsigned char>(found)))
            return banner;
    }
    return banner.replace(at, shape.size(), shape);
}

std::string expected_box()
{
    return box_line('\xC9', '\xCD', '\xBB') + text_line(33, "KORVALEN", 33) +
           text_line(22, "Ver. YY.MM.DD.hh.mm\xFB (32 BIT) ", 22) + text_line(74, "", 0) +
           text_line(6, "Record layout finder for flat, delimited and fixed-length files", 5) +
           text_line(9, "Documentation: README.md and the korvalen(1) manual page", 9) +
           box_line('\xC8', '\xCD', '\xBC');
}

struct blank_line_case {
    unsigned lines_used;
    int blank_lines;
};

class BannerLines : public testing::TestWithParam<blank_line_case>
{
};

TEST_P(BannerLines, FillsUpToLineThirtyThenDrawsTheBox)
{
    unsigned result = 0;
    captured_run run =
        capture([&](std::FILE* out) { result = print_banner(out, GetParam().lines_used); });
    EXPECT_EQ(with_version_shape(run.output),
              std::string(GetParam().blank_lines, '\n') + expected_box());
    EXPECT_EQ(result, GetParam().lines_used + 6);
}

INSTANTIATE_TEST_SUITE_P(LinesUsed, BannerLines,
                         testing::Values(blank_line_case{10, 20}, blank_line_case{0, 30},
                                         blank_line_case{29, 1}, blank_line_case{30, 0},
                                         blank_line_case{100, 0}));

struct placement_case {
    std::string text;
    int left_blanks;
    int right_blanks;
};

class BoxPlacement : public testing::TestWithParam<placement_case>
{
};

TEST_P(BoxPlacement, CentresOnColumnThirtyEight)
{
    char line[80];
    place_in_box(line, GetParam().text.c_str());
    std::string expected = "\xBA" + std::string(GetParam().left_blanks, ' ') + GetParam().text +
                           std::string(GetParam().right_blanks, ' ') + "\xBA";
    EXPECT_EQ(std::string(line), expected);
}

INSTANTIATE_TEST_SUITE_P(Texts, BoxPlacement,
                         testing::Values(placement_case{"KORVALEN", 33, 33},
                                         placement_case{std::string(29, 'o'), 23, 22},
                                         placement_case{std::string(30, 'e'), 22, 22},
                                         placement_case{std::string(74, 'f'), 0, 0},
                                         placement_case{"", 74, 0}));

TEST(BoxPlacementLimit, AWiderTextIsCutInsideTheSides)
{
    char line[80];
    place_in_box(line, std::string(90, 'w').c_str());
    EXPECT_EQ(std::string(line), "\xBA" + std::string(74, 'w') + "\xBA");
}

TEST(PrintCentred, LeadsWithHalfTheSpareColumns)
{
    int result = 0;
    captured_run even = capture([&](std::FILE* out) { result = print_centred(out, "abcd", 10); });
    EXPECT_EQ(even.output, "   abcd");
    EXPECT_EQ(result, 7);
    captured_run odd = capture([&](std::FILE* out) { result = print_centred(out, "abc", 10); });
    EXPECT_EQ(odd.output, "   abc");
    captured_run wide = capture([&](std::FILE* out) { result = print_centred(out, "abcdef", 4); });
    EXPECT_EQ(wide.output, "abcdef");
    EXPECT_EQ(result, 6);
}

} // namespace
