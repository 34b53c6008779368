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
// line, a different one each time (none of them often enough to be a
// separator): more than text may hold, so the encoding test calls it
// binary.
fixture_file text_with_stray_controls()
{
    const std::string controls = "\x02\x03\x04\x05\x06\x07\x0E\x0F\x10\x11\x12\x13\x14\x16\x17\x18";
    std::vector<std::string> lines;
    for (int line = 0; line < 300; line++) {
        std::string stray =
            line % 3 == 0 ? std::string(1, controls[static_cast<std::size_t>(line / 3) % 16]) : "";
        lines.push_back(std::to_string(10000 + line) + "," + stray + "name" +
                        std::string(static_cast<std::size_t>(line % 7), 'x') + ",42");
    }
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

// A long header of comment lines, most of one length, before two records:
// lines with a header, not fixed-length records of the comments' length.
TEST(LayoutContest, CommentedHeaderIsLines)
{
    std::vector<std::string> lines;
    for (int line = 1000; line < 3000; line++)
        lines.push_back("# This is line " + std::to_string(line) + " of a header.");
    lines.push_back("chr1\t10\t20\ta1");
    lines.push_back("chr1\t100\t200\ta2");
    layout_contest contest = weigh_layouts(text_lines(lines, "\n").sample());
    EXPECT_EQ(winner(contest), "lines");
    EXPECT_EQ(contest.choice.header_length, 2000u * 33);
}

// Lines of one length whose last line is cut short: lines, not records of
// no line ends that hold their line feed, with the cut line left over.
TEST(LayoutContest, CutLastLineLeavesLinesOfOneLength)
{
    std::string text;
    for (int line = 0; line < 1000; line++)
        text += "abc," + std::to_string(100 + line % 900) + ",def\n";
    text += "abc";
    fixture_file file;
    file.bytes.assign(text.begin(), text.end());
    layout_contest contest = weigh_layouts(file.sample());
    EXPECT_EQ(winner(contest), "lines");
    EXPECT_EQ(contest.choice.delimiter, ',');
    EXPECT_EQ(contest.choice.trailer_length, 3u);
}

// A byte added or lost past the start shifts the records after it: the
// start and the end still hold records at their own phases, with no
// header or trailer made up to line them up (--verify names the shift).
TEST(LayoutContest, ShiftedRecordsPastTheStartKeepTheirLength)
{
    struct shift {
        std::size_t at;
        bool added;
    };
    for (shift each : {shift{1200000, true}, shift{1200000, false}, shift{2500000, true}}) {
        SCOPED_TRACE(each.at);
        fixture_file file = text_records(41, 80000, 0);
        auto at = file.bytes.begin() + static_cast<std::ptrdiff_t>(each.at);
        if (each.added)
            file.bytes.insert(at, 'Z');
        else
            file.bytes.erase(at);
        layout_contest contest = weigh_layouts(file.sample());
        EXPECT_EQ(contest.choice.kind, record_layout::fixed_length);
        EXPECT_EQ(contest.choice.record_length, 41u);
        EXPECT_EQ(contest.choice.header_length, 0u);
        EXPECT_EQ(contest.choice.trailer_length, 0u);
    }
}

// A list sorted by name whose accented names come late: UTF-8, not the
// ASCII of its start, whether they stand in the start read whole or in a
// later piece.
TEST(LayoutContest, LaterNamesWidenAscii)
{
    for (int lines_in_all : {60000, 120000}) {
        std::vector<std::string> lines;
        for (int line = 0; line < lines_in_all; line++)
            lines.push_back(std::to_string(line) +
                            (line < lines_in_all - 10000 ? ",Aachen,DE" : ",Z\xC3\xBCrich,CH"));
        layout_contest contest = weigh_layouts(text_lines(lines, "\n").sample());
        EXPECT_EQ(contest.choice.encoding, text_encoding::utf8) << lines_in_all;
        EXPECT_EQ(contest.choice.delimiter, ',') << lines_in_all;
    }
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

// A picture of three-sample pixels behind a header of words and a name:
// the row is the record, the pixel its element, the header what comes
// before the rows.
TEST(LayoutContest, RowsOfPixelsBehindANamedHeader)
{
    std::string header("\0\0\0\x1c\0\0\0\x01\0\0\0\x50\0\0\0\x46\0\0\0\x03GPATIce", 28);
    std::vector<unsigned char> picture = smooth_picture(80, 70, 3);
    fixture_file file;
    file.bytes.assign(header.begin(), header.end());
    file.bytes.insert(file.bytes.end(), picture.begin(), picture.end());
    file_layout layout = weigh_layouts(file.sample()).choice;
    EXPECT_EQ(layout.encoding, text_encoding::binary);
    EXPECT_EQ(layout.record_length, 240u);
    EXPECT_EQ(layout.element_length, 3u);
    EXPECT_EQ(layout.header_length, 28u);
    EXPECT_EQ(layout.trailer_length, 0u);
    EXPECT_EQ(layout.records, 70u);
}

TEST(LayoutContest, NothingViableInRandomBytes)
{
    layout_contest contest = weigh_layouts(random_bytes(100000).sample());
    EXPECT_EQ(winner(contest), "none");
    EXPECT_EQ(contest.choice.kind, record_layout::unknown);
}

} // namespace
