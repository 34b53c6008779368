// verify_file and verify_stream on real files: windows read into buffers
// by two workers, a quoted field across the middle that makes the second
// range be read again, and a stream whose last record is cut short.
#include "../../src/survey/base/byte_class.h"
#include "../../src/survey/verify/verify_file.h"
#include "../../src/survey/verify/window_reading.h"
#include "plain_record_check.h"
#include "same_outcome.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>

namespace
{

std::string write_file(const std::string& name, const std::string& bytes)
{
    // Unique to this run: other builds' tests may run at the same time.
    static const std::string run = std::to_string(std::random_device{}());
    std::string path = testing::TempDir() + "korvalen_verify_" + run + "_" + name;
    std::ofstream(path, std::ios::binary) << bytes;
    return path;
}

byte_span bytes_of(const std::string& text)
{
    return {reinterpret_cast<const unsigned char*>(text.data()), text.size()};
}

// About 40 MiB of |-delimited lines, with quoted fields that hold
// delimiters, and one quoted field of a MiB of lines across the middle.
std::string pipe_lines()
{
    std::mt19937_64 random(5);
    std::string file = "id|name|note\n";
    while (file.size() < (std::size_t{40} << 20)) {
        if (file.size() > (std::size_t{20} << 20) - 300 && file.size() < (std::size_t{20} << 20)) {
            file += "1|\"";
            for (int i = 0; i < 20000; i++)
                file += "in|side\n";
            file += "\"|x\n";
        }
        std::uint64_t id = random() % 100000;
        file += std::to_string(id) + (id % 7 == 0 ? "|\"a|b\"\"c\"|" : "|plain|") +
                std::string(random() % 60, 'z') + (id % 4999 == 0 ? "|extra\n" : "\n");
    }
    return file;
}

verify_outcome verify_whole(const std::string& path, const file_layout& layout, unsigned threads)
{
    platform_file file = platform_open_read_only(path.c_str());
    EXPECT_NE(file, NO_FILE);
    std::uint64_t size = 0;
    EXPECT_TRUE(platform_size_of(file, size));
    std::atomic<std::uint64_t> done{0};
    verify_outcome outcome;
    std::string error;
    EXPECT_TRUE(verify_file(file, size, layout, threads, &done, outcome, error)) << error;
    EXPECT_EQ(done.load(), size - layout.header_length - layout.trailer_length);
    platform_close(file);
    return outcome;
}

// The survey has read the first MiB of the stream; verify reads on.
verify_outcome verify_piped(const std::string& path, const file_layout& layout)
{
    platform_file file = platform_open_read_only(path.c_str());
    // A stream that is not there would be waited for without end.
    if (file == NO_FILE) {
        ADD_FAILURE() << path << " could not be opened";
        return {};
    }
    std::vector<unsigned char> sample(SAMPLE_START_SIZE);
    std::int64_t count = platform_read_stream(file, sample.data(), sample.size());
    EXPECT_GE(count, 0);
    verify_outcome outcome;
    std::string error;
    EXPECT_TRUE(verify_stream(file, byte_span(sample.data(), static_cast<std::size_t>(count)),
                              layout, nullptr, outcome, error))
        << error;
    platform_close(file);
    return outcome;
}

TEST(VerifyFile, DelimitedLinesOnTwoWorkersAndAsAStream)
{
    std::string bytes = pipe_lines();
    std::string path = write_file("pipes", bytes);
    file_layout layout;
    layout.encoding = text_encoding::ascii;
    layout.kind = record_layout::lines;
    layout.terminator = line_terminator::lf;
    layout.delimiter = '|';
    layout.quote = '"';
    layout.fields = 3;
    layout.header_row = true;
    verify_outcome want = plain_record_check(bytes_of(bytes), layout);
    ASSERT_GT(want.anomalies, 0u);
    expect_same(verify_whole(path, layout, 2), want);
    expect_same(verify_whole(path, layout, 1), want);
    expect_same(verify_piped(path, layout), want);
    std::remove(path.c_str());
}

// The file is cut after its size was taken: by whole pages, whose reads
// fault, and by a few bytes inside its last page, which read as zeros.
// Either way no verdict on the records is given, only the error.
TEST(VerifyFile, FileCutWhileCheckedIsAnError)
{
    std::string bytes = pipe_lines().substr(0, std::size_t{24} << 20);
    for (std::uint64_t cut : {std::uint64_t{10}, std::uint64_t{bytes.size() / 2 + 123}}) {
        std::string path = write_file("cut", bytes);
        platform_file file = platform_open_read_only(path.c_str());
        ASSERT_NE(file, NO_FILE);
        std::filesystem::resize_file(path, bytes.size() - cut);
        file_layout layout;
        layout.encoding = text_encoding::ascii;
        layout.kind = record_layout::lines;
        layout.terminator = line_terminator::lf;
        layout.delimiter = '|';
        layout.quote = '"';
        layout.fields = 3;
        for (unsigned threads : {1u, 2u}) {
            verify_outcome outcome;
            std::string error;
            EXPECT_FALSE(verify_file(file, bytes.size(), layout, threads, nullptr, outcome, error))
                << "cut " << cut;
            EXPECT_EQ(error, FILE_SHRANK) << "cut " << cut;
        }
        platform_close(file);
        std::remove(path.c_str());
    }
}

TEST(VerifyFile, FixedLengthWithHeaderAndTrailer)
{
    // A 100-byte header, 30,000 records of 70 digits, a record with a
    // letter, and a trailer of 3 bytes.
    std::string bytes(100, 'H');
    for (int record = 1; record <= 30000; record++) {
        std::string digits(70, static_cast<char>('0' + record % 10));
        if (record == 20001)
            digits[69] = 'x';
        bytes += digits;
    }
    bytes += "END";
    std::string path = write_file("fixed", bytes);
    file_layout layout;
    layout.encoding = text_encoding::ascii;
    layout.kind = record_layout::fixed_length;
    layout.record_length = 70;
    layout.header_length = 100;
    layout.trailer_length = 3;
    layout.profile.allowed_classes.assign(70, BYTE_DIGIT);
    verify_outcome outcome = verify_whole(path, layout, 2);
    EXPECT_EQ(outcome.records, 30000u);
    EXPECT_EQ(outcome.anomalies, 1u);
    ASSERT_FALSE(outcome.first_anomalies.empty());
    EXPECT_EQ(outcome.first_anomalies[0].record, 20001u);
    EXPECT_EQ(outcome.first_anomalies[0].offset, 100u + 20000u * 70u);
    EXPECT_EQ(outcome.first_anomalies[0].what, "byte 69 is 0x78, expected a digit");
    // A stream longer than its sample: the survey could not see a
    // trailer, and a tail shorter than a record is a record cut short.
    layout.trailer_length = 0;
    verify_outcome piped = verify_piped(path, layout);
    EXPECT_EQ(piped.records, 30001u);
    ASSERT_EQ(piped.first_anomalies.size(), 2u);
    EXPECT_EQ(piped.first_anomalies[1].record, 30001u);
    EXPECT_EQ(piped.first_anomalies[1].offset, 100u + 30000u * 70u);
    std::remove(path.c_str());
}

// Bytes of a delimiter inside the characters of an East Asian encoding
// split no field, and the file verifies clean: Shift_JIS puts a '|' (0x7C)
// in the second byte of katakana such as 0x83 0x7C; ISO-2022-JP's
// ideographic comma is the pair "!\"", and many a kanji holds a ','.
struct inside_characters_case {
    const char* name;
    text_encoding encoding;
    unsigned char delimiter;
    std::string bytes;
    std::uint64_t records;
};

std::string records_of(const char* names, int count, const char* (*value)(int))
{
    std::string bytes = names;
    for (int record = 1; record <= count; record++)
        bytes += std::to_string(record) + value(record);
    return bytes;
}

class DelimiterInsideCharacters : public testing::TestWithParam<inside_characters_case>
{
};

TEST_P(DelimiterInsideCharacters, VerifiesClean)
{
    const inside_characters_case& given = GetParam();
    std::string path = write_file(given.name, given.bytes);
    file_layout layout;
    layout.encoding = given.encoding;
    layout.kind = record_layout::lines;
    layout.terminator = line_terminator::lf;
    layout.delimiter = given.delimiter;
    layout.fields = 2;
    layout.header_row = true;
    verify_outcome outcome = verify_whole(path, layout, 2);
    EXPECT_EQ(outcome.records, given.records);
    EXPECT_EQ(outcome.anomalies, 0u);
    std::remove(path.c_str());
}

INSTANTIATE_TEST_SUITE_P(
    Encodings, DelimiterInsideCharacters,
    testing::Values(inside_characters_case{"shift_jis", text_encoding::shift_jis, '|',
                                           records_of("id|name\n", 500,
                                                      [](int record) {
                                                          return record % 3 == 0 ? "|\x83|\x83g\n"
                                                                                 : "|\x8ER\x93"
                                                                                   "c\n";
                                                      }),
                                           501},
                    inside_characters_case{
                        "iso2022jp", text_encoding::iso2022jp, ',',
                        records_of("id,name\n", 300, [](int) { return ",\x1B$B0K!\"K,\x1B(B\n"; }),
                        301}),
    [](const testing::TestParamInfo<inside_characters_case>& info) { return info.param.name; });

// A stream the survey read to its end: its layout's trailer holds, and a
// record cut short before it is an anomaly.
TEST(VerifyFile, StreamSeenWholeKeepsItsTrailer)
{
    std::string path = write_file("small", "HDR1234567812\x1A");
    file_layout layout;
    layout.encoding = text_encoding::ascii;
    layout.kind = record_layout::fixed_length;
    layout.record_length = 4;
    layout.header_length = 3;
    layout.trailer_length = 1;
    verify_outcome outcome = verify_piped(path, layout);
    EXPECT_EQ(outcome.records, 3u);
    EXPECT_EQ(outcome.anomalies, 1u);
    ASSERT_FALSE(outcome.first_anomalies.empty());
    EXPECT_EQ(outcome.first_anomalies[0].record, 3u);
    EXPECT_EQ(outcome.first_anomalies[0].offset, 11u);
    EXPECT_EQ(outcome.first_anomalies[0].what, "cut short: 2 of 4 bytes");
    std::remove(path.c_str());
}

} // namespace
