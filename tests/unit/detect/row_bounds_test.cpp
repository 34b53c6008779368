#include "../../../src/survey/detect/row_bounds.h"
#include "../survey_fixtures.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

namespace
{

// A header such as picture formats write: 4-byte big-endian words (its
// size, a version, width, height, bytes a pixel), a magic word, a name.
std::vector<unsigned char> named_header(const std::string& name, int width, int height, int samples)
{
    std::vector<unsigned char> bytes;
    int size = 24 + static_cast<int>(name.size()) + 1;
    for (int word : {size, 1, width, height, samples}) {
        for (int shift = 24; shift >= 0; shift -= 8)
            bytes.push_back(static_cast<unsigned char>(word >> shift));
    }
    for (char each : "GPAT" + name)
        bytes.push_back(static_cast<unsigned char>(each));
    bytes.push_back(0);
    return bytes;
}

// Rows of a noisier quantity first, for longer than a header is looked
// for, then smooth rows: the search finds no end to the noisy stretch.
std::vector<unsigned char> rough_rows_first(int width, int rough_rows, int smooth_rows)
{
    std::mt19937 noise(5);
    std::vector<unsigned char> bytes;
    for (int y = 0; y < rough_rows; y++) {
        for (int x = 0; x < width; x++)
            bytes.push_back(
                static_cast<unsigned char>(40 + x / 4 + static_cast<int>(noise() % 200)));
    }
    std::vector<unsigned char> smooth = smooth_picture(width, smooth_rows, 1);
    bytes.insert(bytes.end(), smooth.begin(), smooth.end());
    return bytes;
}

struct bounds_case {
    const char* name;
    std::vector<unsigned char> header;
    std::vector<unsigned char> picture;
    std::string trailer;
    std::uint32_t row;
    std::uint64_t expected_rows;
};

class RowBounds : public testing::TestWithParam<bounds_case>
{
};

TEST_P(RowBounds, FindsWhereRowsBeginAndEnd)
{
    const bounds_case& each = GetParam();
    fixture_file file;
    file.bytes = each.header;
    file.bytes.insert(file.bytes.end(), each.picture.begin(), each.picture.end());
    file.bytes.insert(file.bytes.end(), each.trailer.begin(), each.trailer.end());
    row_bounds bounds = find_row_bounds(file.sample(), each.row);
    ASSERT_TRUE(bounds.found);
    EXPECT_EQ(bounds.header, each.header.size());
    EXPECT_EQ(bounds.trailer, each.trailer.size());
    EXPECT_EQ(bounds.rows, each.expected_rows);
}

INSTANTIATE_TEST_SUITE_P(
    Pictures, RowBounds,
    testing::Values(
        bounds_case{"named_header", named_header("Ice", 120, 50, 3), smooth_picture(120, 50, 3), "",
                    360, 50},
        // Its zero words look like the black rows below them; the rows
        // that fill the rest to the end tell where it stops.
        bounds_case{"header_above_dark_rows", named_header("Texture 01", 97, 60, 1),
                    smooth_picture(97, 50, 1, 10), "", 97, 60},
        bounds_case{"no_header", {}, smooth_picture(200, 40, 4), "", 800, 40},
        bounds_case{"rougher_rows_first", {}, rough_rows_first(256, 320, 960), "", 256, 1280},
        bounds_case{"text_after_the_rows", named_header("Flavor", 64, 64, 4),
                    smooth_picture(64, 64, 4),
                    std::string("\x10\x02\0\0\0\0\0\0TRUEVISION-XFILE.\0", 26), 256, 64}),
    [](const testing::TestParamInfo<bounds_case>& info) { return info.param.name; });

TEST(RowBounds, NoiseHasNoRows)
{
    EXPECT_FALSE(find_row_bounds(random_bytes(40000).sample(), 0).found);
}

} // namespace
