#include "../../../src/survey/detect/stated_count.h"
#include "../survey_fixtures.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace
{

// A header of `header` zero bytes with count written at `at`, then
// records of 50 bytes (0xEE, which no count holds), then trailer bytes.
fixture_file counted(std::size_t header, std::size_t at, std::uint32_t count, bool big_endian,
                     std::uint32_t records, std::size_t trailer = 0)
{
    fixture_file file;
    file.bytes.assign(header + std::size_t{records} * 50 + trailer, 0);
    std::fill(file.bytes.begin() + static_cast<std::ptrdiff_t>(header),
              file.bytes.begin() + static_cast<std::ptrdiff_t>(header + std::size_t{records} * 50),
              0xEE);
    for (std::size_t each = 0; each < 4; each++) {
        unsigned shift = 8 * static_cast<unsigned>(big_endian ? 3 - each : each);
        file.bytes[at + each] = static_cast<unsigned char>(count >> shift);
    }
    return file;
}

struct count_case {
    const char* name;
    fixture_file file;
    std::uint64_t trailer;
    std::optional<std::uint64_t> header;
    // Where the records' bytes put their start.
    std::uint64_t found_header = 0;
};

void PrintTo(const count_case& c, std::ostream* os)
{
    *os << c.name;
}

class StatedCount : public testing::TestWithParam<count_case>
{
};

TEST_P(StatedCount, HeaderFromTheCountItStates)
{
    const count_case& c = GetParam();
    std::optional<stated_count> found =
        find_stated_count(c.file.sample(), 50, c.trailer, c.found_header);
    ASSERT_EQ(found.has_value(), c.header.has_value());
    if (found) {
        EXPECT_EQ(found->header, *c.header);
    }
}

fixture_file two_counts()
{
    fixture_file file = counted(84, 80, 300, false, 300);
    file.bytes[20] = 45; // 301 records would start at 34: another header
    file.bytes[21] = 1;
    return file;
}

INSTANTIATE_TEST_SUITE_P(
    Headers, StatedCount,
    testing::Values(
        // A mesh's 80-byte title and triangle count, the count last.
        count_case{"count_just_before_the_records", counted(84, 80, 300, false, 300), 0, 84},
        // An image's height in a big-endian word early in the header.
        count_case{"big_endian_count_early", counted(31, 8, 200, true, 200), 0, 31},
        count_case{"with_a_trailer", counted(60, 12, 100, false, 100, 26), 26, 60},
        count_case{"no_count", counted(84, 80, 0, false, 300), 0, std::nullopt},
        count_case{"too_few_to_be_a_count", counted(84, 80, 8, false, 8), 0, std::nullopt},
        // The count must lie inside the header it gives.
        count_case{"count_past_its_header", counted(0, 60, 300, false, 300), 0, std::nullopt},
        count_case{"two_counts_two_headers", two_counts(), 0, std::nullopt},
        // Whole records from the first byte, the first holding an id that
        // could be a count: a record's value, not a header's.
        count_case{"an_id_in_whole_records", counted(0, 0, 90, false, 100), 0, std::nullopt}),
    [](const testing::TestParamInfo<count_case>& info) { return info.param.name; });

} // namespace
