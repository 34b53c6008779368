#include "../../../src/survey/detect/ascending_values.h"
#include "../survey_fixtures.h"

#include <gtest/gtest.h>

namespace
{

// A header of five numbers that break the order (a version, counts, a
// mark), then offsets that grow by a few hundred, width bytes each.
fixture_file offset_table(std::uint32_t width, bool big_endian, std::uint32_t count)
{
    fixture_file file;
    auto put = [&](std::uint64_t value) {
        for (std::uint32_t index = 0; index < width; index++) {
            std::uint32_t shift = 8 * (big_endian ? width - 1 - index : index);
            file.bytes.push_back(static_cast<unsigned char>(value >> shift));
        }
    };
    for (std::uint64_t value : {2, 85, 574, 32, 0})
        put(value);
    std::uint64_t offset = 0;
    for (std::uint32_t value = 0; value < count; value++) {
        put(offset);
        offset += 30 + (value * 37) % 500;
    }
    return file;
}

// Index entries of 12 bytes, no header: where a block starts (little-
// endian), how long it is packed and unpacked; each starts where the one
// before ends.
fixture_file index_entries(std::uint32_t count)
{
    fixture_file file;
    auto put = [&](std::uint32_t value) {
        for (int shift = 0; shift < 32; shift += 8)
            file.bytes.push_back(static_cast<unsigned char>(value >> shift));
    };
    std::uint32_t start = 0;
    for (std::uint32_t entry = 0; entry < count; entry++) {
        std::uint32_t packed = 900 + (entry * 7919) % 60000, unpacked = 80 + (entry * 31) % 200;
        put(start);
        put(packed);
        put(unpacked);
        start += packed;
    }
    return file;
}

fixture_file cut_short(fixture_file file, std::size_t bytes)
{
    file.bytes.resize(file.bytes.size() - bytes);
    return file;
}

fixture_file bytes_in_order(unsigned count)
{
    fixture_file file;
    for (unsigned byte = 0; byte < count; byte++)
        file.bytes.push_back(static_cast<unsigned char>(0x80 + byte));
    return file;
}

struct ascending_case {
    const char* name;
    fixture_file file;
    std::uint32_t width;
    std::uint64_t first;
    // Records a field of which grows (first is then not compared): their
    // length and count, 0 for none.
    bool field = false;
    std::uint32_t stride = 0;
    std::uint64_t records = 0;
};

class AscendingValues : public testing::TestWithParam<ascending_case>
{
};

TEST_P(AscendingValues, FindsTheRun)
{
    const ascending_case& each = GetParam();
    if (each.field) {
        ascending_run run = find_growing_field(each.file.sample());
        EXPECT_EQ(run.stride, each.stride);
        EXPECT_EQ(run.values, each.records);
        return;
    }
    ascending_run run = find_ascending_values(each.file.sample()).choice;
    EXPECT_EQ(run.width, each.width);
    EXPECT_EQ(run.stride, each.width);
    EXPECT_EQ(run.first, each.first);
}

INSTANTIATE_TEST_SUITE_P(
    Tables, AscendingValues,
    testing::Values(ascending_case{"offsets_big_endian", offset_table(4, true, 100), 4, 20},
                    // The narrowest width that grows, not twice it.
                    ascending_case{"offsets_little_endian", offset_table(8, false, 100), 8, 40},
                    // Too few values to tell from chance.
                    ascending_case{"few_offsets", offset_table(4, true, 20), 0, 0},
                    ascending_case{"random_bytes", random_bytes(4000), 0, 0},
                    // An alphabet's letters in code order: its bytes grow,
                    // so values of every width read from them do.
                    ascending_case{"bytes_in_order", bytes_in_order(66), 0, 0},
                    // A field of each record grows: the record is the stride.
                    ascending_case{"index_entries", index_entries(30), 0, 0, true, 12, 30},
                    ascending_case{"few_index_entries", index_entries(20), 0, 0, true},
                    // The last entry cut two bytes short: its first field is
                    // whole, but the records that end at the file's end
                    // are one fewer.
                    ascending_case{"index_entries_cut_short", cut_short(index_entries(30), 2), 0,
                                   0, true, 12, 29}),
    [](const testing::TestParamInfo<ascending_case>& info) { return info.param.name; });

// A start of a stream or of a file still growing, shorter than some
// phases and a value: nothing may be read before its first byte.
TEST(AscendingValues, AShortStartOfALongerInput)
{
    std::vector<unsigned char> bytes = {0xCC, 0, 0x0C, 0, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
    for (std::optional<std::uint64_t> size :
         {std::optional<std::uint64_t>{}, std::optional<std::uint64_t>{std::uint64_t{1} << 20}}) {
        file_sample sample{size, byte_span(bytes), {}};
        EXPECT_EQ(find_ascending_values(sample).choice.width, 0u);
    }
}

} // namespace
