#include "../../src/driver/progress_line.h"

#include <gtest/gtest.h>

namespace
{

struct fit_case {
    int width;
    const char* expected;
};

void PrintTo(const fit_case& c, std::ostream* os)
{
    *os << "width " << c.width;
}

const progress_parts VERIFYING{"korvalen: verifying ", "data/2024/customers.csv", "  42%",
                               "  (file 3 of 10)"};

// Full line: 20 + 23 + 5 + 16 = 64 bytes.
const fit_case FIT_CASES[] = {
    {0, "korvalen: verifying data/2024/customers.csv  42%  (file 3 of 10)"},
    {1, "korvalen: verifying data/2024/customers.csv  42%  (file 3 of 10)"},
    {65, "korvalen: verifying data/2024/customers.csv  42%  (file 3 of 10)"},
    {64, "korvalen: verifying data/2024...tomers.csv  42%  (file 3 of 10)"},
    {49, "korvalen: verifying da...sv  42%  (file 3 of 10)"},
    {48, "korvalen: verifying data/2024...tomers.csv  42%"},
    {33, "korvalen: verifying da...sv  42%"},
    {32, "data/2024/customers.csv  42%"},
    {13, "da...sv  42%"},
    {12, "42%"},
    {4, "42%"},
    {3, ""},
};

class ProgressLineFits : public testing::TestWithParam<fit_case>
{
};

TEST_P(ProgressLineFits, CutsTheNameNeverTheFigure)
{
    std::string line = fit_progress_line(VERIFYING, GetParam().width);
    EXPECT_EQ(line, GetParam().expected);
    if (GetParam().width > 1) {
        EXPECT_LT(line.size(), static_cast<std::size_t>(GetParam().width));
    }
}

INSTANTIATE_TEST_SUITE_P(Widths, ProgressLineFits, testing::ValuesIn(FIT_CASES));

TEST(ProgressLine, NeverCutsWithinAUtf8Character)
{
    // Ten bytes of room for the name: its first three bytes would split
    // the second character, so only the first is kept.
    progress_parts parts{"", "\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9-\xC3\xA9\xC3\xA9\xC3\xA9",
                         "  7%", ""};
    EXPECT_EQ(fit_progress_line(parts, 15), "\xC3\xA9...\xC3\xA9\xC3\xA9  7%");
}

} // namespace
