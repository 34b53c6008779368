#include "../../../src/survey/detect/period_search.h"
#include "../survey_fixtures.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>

namespace
{

struct period_case {
    const char* name;
    fixture_file file;
    std::uint32_t expected; // 0: none
};

class PeriodSearch : public testing::TestWithParam<period_case>
{
};

TEST_P(PeriodSearch, Chooses)
{
    const std::vector<unsigned char>& bytes = GetParam().file.bytes;
    EXPECT_EQ(find_period({bytes.data(), bytes.size()}, nullptr).choice.length,
              GetParam().expected);
}

// Records of one kind repeated in pairs: the pair repeats more strongly,
// but the record is the divisor.
fixture_file paired_records()
{
    fixture_file file = binary_records(24, 400, 0, 0);
    for (std::size_t at = 0; at + 48 <= file.bytes.size(); at += 48)
        file.bytes[at + 30] = 0xAA;
    return file;
}

// A mesh's triangles: twelve floating-point numbers (a normal and three
// corners) and two zero bytes each, no byte sequence repeating exactly.
fixture_file triangles(int count)
{
    std::mt19937 random(9);
    fixture_file file;
    for (int triangle = 0; triangle < count; triangle++) {
        for (int number = 0; number < 12; number++) {
            float value = number < 3 ? static_cast<float>(random() % 2001) / 1000.0f - 1.0f
                                     : 10.0f + static_cast<float>(random() % 40000) / 1000.0f;
            unsigned char bytes[4];
            std::memcpy(bytes, &value, 4);
            file.bytes.insert(file.bytes.end(), bytes, bytes + 4);
        }
        file.bytes.insert(file.bytes.end(), 2, 0);
    }
    return file;
}

// Frames of coded speech: a sync mark in the first byte's high bits, every
// other bit random, as GSM 06.10 frames are.
fixture_file marked_frames(int count)
{
    std::mt19937 random(4);
    fixture_file file;
    for (int frame = 0; frame < count; frame++) {
        file.bytes.push_back(static_cast<unsigned char>(0xD0 | (random() & 0x0F)));
        for (int byte = 1; byte < 33; byte++)
            file.bytes.push_back(static_cast<unsigned char>(random()));
    }
    return file;
}

INSTANTIATE_TEST_SUITE_P(Files, PeriodSearch,
                         testing::Values(period_case{"short", binary_records(7, 3000, 0, 0), 7},
                                         period_case{"long", binary_records(497, 200, 0, 0), 497},
                                         period_case{"divisor_of_a_pair", paired_records(), 24},
                                         period_case{"triangles", triangles(300), 50},
                                         period_case{"random", random_bytes(100000), 0},
                                         period_case{"marked_frames", marked_frames(37), 33},
                                         // A few hundred bytes of anything
                                         // are too little to claim from.
                                         period_case{"few_bytes", binary_records(7, 60, 0, 0), 0},
                                         period_case{"too_few", random_bytes(5), 0}),
                         [](const testing::TestParamInfo<period_case>& info) {
                             return info.param.name;
                         });

TEST(PeriodSearch, KeepsTheMultiplesItWeighed)
{
    fixture_file file = paired_records();
    period_choice period = find_period({file.bytes.data(), file.bytes.size()}, nullptr);
    bool pair_weighed = false;
    for (const auto& each : period.candidates)
        pair_weighed |= each.value == 48 && each.score >= period.choice.strength * DIVISOR_SHARE;
    EXPECT_TRUE(pair_weighed);
}

// Cards of 80 characters of words, without line ends: letters stand beside
// letters, so bytes two apart agree often, but only the card lines them
// up by position.
TEST(PeriodSearch, FindsCardsOfText)
{
    const char* words[] = {"THE", "VALUE", "OF", "A", "FIELD", "NAME", "DATA", "RECORD"};
    std::string deck;
    unsigned state = 1;
    for (int card = 0; card < 200; card++) {
        std::string text;
        while (text.size() < 60) {
            state = state * 1103515245 + 12345;
            text += std::string(words[(state >> 16) % 8]) + ' ';
        }
        text.resize(72, ' ');
        std::string number = std::to_string(10000000 + card * 10);
        deck += text + number;
    }
    period_choice period = find_period(bytes_of(deck), &byte_classes_of(text_encoding::ascii));
    EXPECT_EQ(period.choice.length, 80u);
}

} // namespace
