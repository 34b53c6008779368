#include "../../../src/survey/detect/element_period.h"
#include "../../../src/survey/detect/sector_padding.h"
#include "../survey_fixtures.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <random>

namespace
{

struct rows_case {
    const char* name;
    std::vector<unsigned char> bytes;
    std::uint32_t element;
    std::uint32_t expected_row; // 0: none
};

class ElementRows : public testing::TestWithParam<rows_case>
{
};

TEST_P(ElementRows, Chooses)
{
    const rows_case& each = GetParam();
    element_choice rows = find_element_rows({each.bytes.data(), each.bytes.size()}, each.element);
    EXPECT_EQ(rows.choice.row, each.expected_row);
}

// A volume of smooth values without a period of their own (a bright spot
// on a slope) plus a little noise, width x height x depth samples of
// sample_bytes bytes, little-endian; slices alike but not equal.
std::vector<unsigned char> volume(int width, int height, int depth, int sample_bytes)
{
    std::mt19937 noise(7);
    std::vector<unsigned char> bytes;
    for (int z = 0; z < depth; z++) {
        for (int y = 0; y < height; y++) {
            for (int x = 0; x < width; x++) {
                double dx = x - 0.6 * width, dy = y - 0.4 * height;
                double spread = 2.0 * (width / 4.0) * (width / 4.0);
                double value =
                    (150 - 5 * z) * std::exp(-(dx * dx + dy * dy) / spread) + 0.3 * x + 20;
                auto sample =
                    static_cast<std::uint32_t>(value * (sample_bytes == 1 ? 1 : 37) + noise() % 3);
                for (int i = 0; i < sample_bytes; i++)
                    bytes.push_back(static_cast<unsigned char>(sample >> (8 * i)));
            }
        }
    }
    return bytes;
}

// A series of volumes, each much like the one before: whole volumes line
// up far better than rows do, and the row is the record all the same.
std::vector<unsigned char> series(int width, int height, int depth, int volumes)
{
    std::vector<unsigned char> one = volume(width, height, depth, 2), bytes;
    for (int each = 0; each < volumes; each++) {
        for (std::size_t at = 0; at < one.size(); at += 2) {
            auto sample = static_cast<std::uint16_t>(one[at] | one[at + 1] << 8);
            sample = static_cast<std::uint16_t>(sample + each * 3 + (at / 2 * 7 + each) % 4);
            bytes.push_back(static_cast<unsigned char>(sample));
            bytes.push_back(static_cast<unsigned char>(sample >> 8));
        }
    }
    return bytes;
}

// A picture whose lower three sevenths slant a pixel a row, so that there values
// line up a pixel to the side of a row down; the rest does not.
std::vector<unsigned char> slanted_picture(int width, int height)
{
    std::mt19937 noise(5);
    // Values along a line without a period of their own: a random walk.
    std::vector<double> walk(static_cast<std::size_t>(width + height));
    double value = 120;
    for (double& each : walk) {
        value = std::clamp(value + static_cast<double>(noise() % 9) - 4, 40.0, 200.0);
        each = value;
    }
    std::vector<unsigned char> bytes;
    for (int y = 0; y < height; y++) {
        for (int x = 0; x < width; x++) {
            int along = y >= height * 4 / 7 ? x - y + height : x;
            bytes.push_back(static_cast<unsigned char>(walk[static_cast<std::size_t>(along)] +
                                                       static_cast<double>(noise() % 5)));
        }
    }
    return bytes;
}

// A model's grid of 32-bit floats: a field that changes along each row
// as a walk does, and from row to row by a little, under noise of its
// own, so that rows line up more weakly than a picture's do.
std::vector<unsigned char> rough_grid(int width, int height, double roughness)
{
    std::mt19937 noise(9);
    std::vector<double> walk(static_cast<std::size_t>(width));
    double value = 500;
    for (double& each : walk) {
        value += static_cast<double>(noise() % 21) - 10;
        each = value;
    }
    std::vector<unsigned char> bytes;
    for (int y = 0; y < height; y++) {
        for (int x = 0; x < width; x++) {
            auto sample =
                static_cast<float>(walk[static_cast<std::size_t>(x)] + 0.5 * y +
                                   roughness * static_cast<double>(noise() % 1000) / 1000);
            unsigned char raw[4];
            std::memcpy(raw, &sample, sizeof raw);
            bytes.insert(bytes.end(), raw, raw + 4);
        }
    }
    return bytes;
}

// Two quantities of a model one after the other on one grid, the first
// far noisier from row to row than the second.
std::vector<unsigned char> grids_of_two_quantities(int width, int height)
{
    std::vector<unsigned char> bytes = rough_grid(width, height, 120);
    std::vector<unsigned char> smooth = rough_grid(width, height, 20);
    bytes.insert(bytes.end(), smooth.begin(), smooth.end());
    return bytes;
}

// Sound without a pitch that holds: noise through a low-pass filter, in
// frames of two 16-bit channels.
std::vector<unsigned char> filtered_noise(int frames)
{
    std::mt19937 noise(3);
    std::vector<unsigned char> bytes;
    double left = 0, right = 0;
    for (int i = 0; i < frames; i++) {
        left = 0.9 * left + static_cast<double>(noise() % 2001) - 1000;
        right = 0.8 * right + static_cast<double>(noise() % 2001) - 1000;
        for (double channel : {left, right}) {
            auto sample = static_cast<std::uint16_t>(static_cast<std::int16_t>(channel));
            bytes.push_back(static_cast<unsigned char>(sample));
            bytes.push_back(static_cast<unsigned char>(sample >> 8));
        }
    }
    return bytes;
}

INSTANTIATE_TEST_SUITE_P(
    Values, ElementRows,
    testing::Values(rows_case{"rows_in_slices_16_bit", volume(33, 41, 5, 2), 2, 66},
                    rows_case{"rows_of_bytes", volume(91, 60, 4, 1), 1, 91},
                    rows_case{"rows_of_32_bit", volume(101, 30, 3, 4), 4, 404},
                    rows_case{"pixels_of_three_samples", volume(3 * 64, 40, 1, 1), 3, 192},
                    rows_case{"rows_in_a_series", series(24, 21, 3, 12), 2, 48},
                    rows_case{"picture_of_three_samples", smooth_picture(90, 70, 3), 3, 270},
                    rows_case{"small_picture_of_bytes", smooth_picture(53, 49, 1), 1, 53},
                    rows_case{"partly_slanted_picture", slanted_picture(121, 140), 1, 121},
                    rows_case{"rows_of_a_rough_grid", rough_grid(72, 130, 70), 4, 288},
                    rows_case{"rows_rougher_in_one_stretch", grids_of_two_quantities(72, 240), 4,
                              288},
                    rows_case{"sound_keeps_its_frame", filtered_noise(30000), 4, 0},
                    rows_case{"noise", random_bytes(100000).bytes, 2, 0},
                    rows_case{"too_few_values", volume(33, 10, 1, 2), 2, 0}),
    [](const testing::TestParamInfo<rows_case>& info) { return info.param.name; });

// Sectors of 2048 bytes, each holding less than that and zeros after.
std::vector<unsigned char> padded_sectors(int sectors)
{
    std::mt19937 fill(5);
    std::vector<unsigned char> bytes;
    for (int sector = 0; sector < sectors; sector++) {
        std::size_t used = 200 + fill() % 1600;
        for (std::size_t i = 0; i < 2048; i++)
            bytes.push_back(i < used ? static_cast<unsigned char>(1 + fill() % 255) : 0);
    }
    return bytes;
}

TEST(PaddedSectors, EndWhereThePaddingEnds)
{
    std::vector<unsigned char> bytes = padded_sectors(40);
    sector_guess sectors = find_padded_sectors({bytes.data(), bytes.size()}, 0);
    EXPECT_EQ(sectors.length, 2048u);
    EXPECT_GT(sectors.strength, 0.9);
    std::vector<unsigned char> noise = random_bytes(80000).bytes;
    EXPECT_EQ(find_padded_sectors({noise.data(), noise.size()}, 0).length, 0u);
}

// Sixteen zeros end a sector wherever they stand against the words the
// search reads; fifteen do not, nor zeros that the bytes may cut short at
// either end (any of these would break the 512).
TEST(PaddedSectors, CountRunsOfSixteenZerosAndNoShorter)
{
    std::vector<unsigned char> bytes(8 * 512 + 5, 7);
    std::fill_n(bytes.begin() + 5, 300, 0);
    for (std::size_t sector = 1; sector <= 8; sector++)
        std::fill_n(bytes.begin() + 5 + static_cast<std::ptrdiff_t>(sector * 512 - 16), 16, 0);
    std::fill_n(bytes.begin() + 5 + 3 * 512 + 85, 15, 0);
    byte_span span(bytes.data() + 5, bytes.size() - 5);
    for (std::uint64_t shift : {0, 1, 3}) {
        byte_span from = span.subspan(shift == 0 ? 0 : 512 - shift);
        std::uint64_t offset = shift == 0 ? 0 : 512 - shift;
        EXPECT_EQ(find_padded_sectors(from, offset).length, 512u) << shift;
    }
}

} // namespace
