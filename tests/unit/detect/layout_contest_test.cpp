#include "../../../src/survey/detect/layout_survey.h"
#include "../survey_fixtures.h"

#include <gtest/gtest.h>

namespace
{

std::string winner(const layout_contest& contest)
{
    return contest.chosen < contest.hypotheses.size() ? contest.hypotheses[contest.chosen].name
                                                      : "none";
}

const layout_hypothesis* find(const layout_contest& contest, std::string_view name)
{
    for (const layout_hypothesis& each : contest.hypotheses) {
        if (each.name == name)
            return &each;
    }
    return nullptr;
}

// Lines of comma-separated text with a control byte in every third
// line: more than text may hold, so the encoding test calls it binary.
fixture_file text_with_stray_controls()
{
    std::vector<std::string> lines;
    for (int line = 0; line < 300; line++)
        lines.push_back(std::to_string(10000 + line) + (line % 3 == 0 ? ",\x02" : ",") + "name" +
                        std::string(static_cast<std::size_t>(line % 7), 'x') + ",42");
    return text_lines(lines, "\n");
}

TEST(LayoutContest, StatedFormatWinsOutright)
{
    std::string image = "P5 40 30 255\n" + std::string(1200, '7');
    fixture_file file;
    file.bytes.assign(image.begin(), image.end());
    layout_contest contest = weigh_layouts(file.sample());
    EXPECT_EQ(winner(contest), "stated");
    EXPECT_EQ(contest.choice.record_length, 40u);
    EXPECT_DOUBLE_EQ(contest.hypotheses[contest.chosen].evidence(), 1);
}

TEST(LayoutContest, LinesOfTextThatFailsTheEncodingTest)
{
    layout_contest contest = weigh_layouts(text_with_stray_controls().sample());
    EXPECT_EQ(contest.choice.encoding, text_encoding::binary);
    EXPECT_EQ(winner(contest), "lines");
    EXPECT_EQ(contest.choice.delimiter, ',');
    const layout_hypothesis* fixed = find(contest, "fixed-length");
    ASSERT_NE(fixed, nullptr);
    EXPECT_LT(fixed->evidence(), contest.hypotheses[contest.chosen].evidence());
}

TEST(LayoutContest, RecordsOfOneLengthBeatTheirPairs)
{
    layout_contest contest = weigh_layouts(binary_records(24, 2000, 0, 0).sample());
    EXPECT_EQ(winner(contest), "fixed-length");
    EXPECT_EQ(contest.choice.record_length, 24u);
}

// A few dozen like structures repeat by their make: records need more.
TEST(LayoutContest, FewBinaryRecordsClaimNoLength)
{
    EXPECT_EQ(weigh_layouts(binary_records(200, 24, 0, 0).sample()).choice.kind,
              record_layout::unknown);
    EXPECT_EQ(weigh_layouts(binary_records(200, 40, 0, 0).sample()).choice.record_length, 200u);
}

TEST(LayoutContest, NothingViableInRandomBytes)
{
    layout_contest contest = weigh_layouts(random_bytes(100000).sample());
    EXPECT_EQ(winner(contest), "none");
    EXPECT_EQ(contest.choice.kind, record_layout::unknown);
}

} // namespace
