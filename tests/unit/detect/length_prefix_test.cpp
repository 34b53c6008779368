#include "../../../src/survey/base/prefix_chain.h"
#include "../../../src/survey/detect/layout_survey.h"
#include "../../../src/survey/detect/length_prefix.h"
#include "../survey_fixtures.h"

#include <gtest/gtest.h>

namespace
{

// Records of 1 to 300 bytes of any value, each led (and for Fortran
// followed) by its length in form, grouped seven to a block when it has
// blocks.
fixture_file prefixed(const length_prefix_form& form, std::uint32_t count, std::uint32_t seed = 7)
{
    auto put = [&](std::vector<unsigned char>& out, std::uint64_t value) {
        std::vector<unsigned char> prefix(form.size, 0);
        for (std::uint32_t index = 0; index < form.length_bytes; index++) {
            unsigned char byte = static_cast<unsigned char>(value >> (8 * index));
            prefix[form.big_endian ? form.length_bytes - 1 - index : index] = byte;
        }
        out.insert(out.end(), prefix.begin(), prefix.end());
    };
    fixture_file random = random_bytes(count * 300, seed);
    std::vector<unsigned char> records, block;
    std::size_t taken = 0;
    for (std::uint32_t record = 0; record < count; record++) {
        std::size_t length = 1 + (random.bytes[record] * 7u + record) % 300;
        std::uint64_t value = length + (form.counts_itself ? form.size : 0);
        put(block, value);
        block.insert(block.end(), random.bytes.begin() + static_cast<std::ptrdiff_t>(taken),
                     random.bytes.begin() + static_cast<std::ptrdiff_t>(taken + length));
        taken += length;
        if (form.repeated_after)
            put(block, value);
        if (!form.blocks || record % 7 == 6 || record + 1 == count) {
            if (form.blocks)
                put(records, block.size() + form.size);
            records.insert(records.end(), block.begin(), block.end());
            block.clear();
        }
    }
    return {records};
}

struct prefix_case {
    const char* name;
    length_prefix_form form;
};

void PrintTo(const prefix_case& c, std::ostream* os)
{
    *os << c.name;
}

const prefix_case PREFIX_CASES[] = {
    {"record descriptor words", {4, 2, true, true, false, false}},
    {"descriptor words in blocks", {4, 2, true, true, false, true}},
    {"fortran big-endian", {4, 4, true, false, true, false}},
    {"fortran little-endian", {4, 4, false, false, true, false}},
    {"4-byte lengths big-endian", {4, 4, true, false, false, false}},
    {"4-byte lengths little-endian", {4, 4, false, false, false, false}},
    {"2-byte lengths big-endian", {2, 2, true, false, false, false}},
    {"2-byte lengths little-endian", {2, 2, false, false, false, false}},
};

class LengthPrefix : public testing::TestWithParam<prefix_case>
{
};

bool same_form(const length_prefix_form& a, const length_prefix_form& b)
{
    return a.size == b.size && a.length_bytes == b.length_bytes && a.big_endian == b.big_endian &&
           a.counts_itself == b.counts_itself && a.repeated_after == b.repeated_after &&
           a.blocks == b.blocks;
}

TEST_P(LengthPrefix, FindsItsFormAndWinsTheContest)
{
    fixture_file file = prefixed(GetParam().form, 60);
    layout_contest contest = weigh_layouts(file.sample());
    const file_layout& layout = contest.choice;
    ASSERT_EQ(layout.kind, record_layout::length_prefixed);
    ASSERT_TRUE(layout.length_prefix);
    EXPECT_TRUE(same_form(*layout.length_prefix, GetParam().form));
    EXPECT_EQ(layout.records, 60u);
    EXPECT_GE(layout.shortest_record, 1u);
    EXPECT_LE(layout.longest_record, 300u);
}

INSTANTIATE_TEST_SUITE_P(Forms, LengthPrefix, testing::ValuesIn(PREFIX_CASES));

// Bytes that only happen to read as a chain: too few records, zeros (a
// chain of empty records), and text far larger than its sample, where any
// two letters are a length that stays within the file.
TEST(LengthPrefix, NoChainFromBytesThatAreNoLengths)
{
    EXPECT_FALSE(find_length_prefix(bytes_of(std::string("\0\2ab\0\1x", 7)), true, 7).choice);
    std::vector<unsigned char> zeros(4096, 0);
    EXPECT_FALSE(find_length_prefix(zeros, true, zeros.size()).choice);
    std::string text;
    while (text.size() < (1u << 20))
        text += "a line of prose, as any text file has it\n";
    EXPECT_FALSE(find_length_prefix(bytes_of(text), false, std::uint64_t{1} << 30).choice);
    EXPECT_FALSE(find_length_prefix(random_bytes(100000).bytes, true, 100000).choice);
}

// A record damaged inside a block leaves the blocks chaining: they are
// still blocks, and the chain breaks at that record, not at a block read
// as one long record that hides the damage.
TEST(LengthPrefix, BlocksStayBlocksWhereARecordInsideBreaks)
{
    const length_prefix_form blocked{4, 2, true, true, false, true};
    fixture_file file = prefixed(blocked, 400);
    std::size_t at = 0;
    for (int block = 0; block < 20; block++)
        at += file.bytes[at] << 8 | file.bytes[at + 1];
    file.bytes[at + 5] += 8; // the first record's length in the 21st block
    length_prefix_choice found = find_length_prefix(file.bytes, true, file.bytes.size());
    ASSERT_TRUE(found.choice);
    EXPECT_TRUE(same_form(found.choice->form, blocked));
    EXPECT_FALSE(found.choice->whole);
    // The lengthened record still reads whole; the one after it breaks.
    EXPECT_EQ(found.choice->records, 141u);
}

struct break_case {
    const char* name;
    length_prefix_form form;
    std::string bytes;
    std::uint64_t record;
    std::uint64_t offset;
    const char* what;
};

void PrintTo(const break_case& c, std::ostream* os)
{
    *os << c.name;
}

constexpr length_prefix_form RDW{4, 2, true, true, false, false};
constexpr length_prefix_form BLOCKED{4, 2, true, true, false, true};
constexpr length_prefix_form FORTRAN{4, 4, false, false, true, false};

const break_case BREAK_CASES[] = {
    {"runs past the end", RDW, std::string("\0\6\0\0ab\0\x09\0\0abc", 13), 2, 6,
     "length 9 runs past the end"},
    {"shorter than its prefix", RDW, std::string("\0\6\0\0ab\0\3\0\0", 10), 2, 6,
     "length 3 is less than its own prefix of 4 bytes"},
    {"descriptor not zero", RDW, std::string("\0\6\0\0ab\0\6\1\0ab", 12), 2, 6,
     "the last 2 bytes of its descriptor are not zero"},
    {"prefix cut short", RDW, std::string("\0\6\0\0ab\0", 7), 2, 6,
     "the file ends inside its prefix"},
    {"fortran markers differ", FORTRAN, std::string("\2\0\0\0ab\2\0\0\0\1\0\0\0c\2\0\0\0", 20), 2,
     10, "the length after it, 2, is not the 1 before it"},
    {"record past its block", BLOCKED, std::string("\0\12\0\0\0\10\0\0abcd", 12), 1, 4,
     "length 8 runs past the end of its block at offset 0"},
};

class PrefixChainBreak : public testing::TestWithParam<break_case>
{
};

TEST_P(PrefixChainBreak, NamesTheFirstBreak)
{
    const break_case& c = GetParam();
    prefix_chain chain(c.form, nullptr);
    chain.feed(bytes_of(c.bytes));
    chain.finish(true);
    ASSERT_TRUE(chain.broken());
    EXPECT_EQ(chain.broken()->record, c.record);
    EXPECT_EQ(chain.broken()->offset, c.offset);
    EXPECT_EQ(chain.broken()->what, c.what);
}

INSTANTIATE_TEST_SUITE_P(Chains, PrefixChainBreak, testing::ValuesIn(BREAK_CASES));

} // namespace
