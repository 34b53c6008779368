#include "../../src/survey/base/byte_kernels.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <random>
#include <utility>
#include <vector>

namespace
{

// Every kernel the processor runs counts as a plain loop does: at every
// length around its width and past the point where its byte counters are
// added up, from unaligned starts, with bytes that agree often and seldom.
TEST(ByteKernels, CountEqualBytesAsAPlainLoopDoes)
{
    std::mt19937 random(18);
    std::vector<unsigned char> first(40000), second(first.size());
    for (std::size_t at = 0; at < first.size(); at++) {
        first[at] = static_cast<unsigned char>(random() % 4);
        second[at] = static_cast<unsigned char>(at % 1000 < 500 ? first[at] : random() % 4);
    }
    std::vector<std::size_t> lengths;
    for (std::size_t length = 0; length <= 70; length++)
        lengths.push_back(length);
    lengths.insert(lengths.end(), {255 * 8, 255 * 8 + 9, 255 * 16 + 17, 255 * 32 + 33, 39000});
    for (const byte_kernels& kernels : usable_byte_kernels()) {
        for (std::size_t start : {0, 1, 7}) {
            for (std::size_t length : lengths) {
                std::uint64_t expected = 0;
                for (std::size_t at = start; at < start + length; at++)
                    expected += first[at] == second[at];
                EXPECT_EQ(kernels.count_equal(first.data() + start, second.data() + start, length),
                          expected)
                    << kernels.name << " from " << start << ", " << length << " bytes";
            }
        }
    }
}

// Every kernel tallies pairs of bytes and of classes as a plain loop does,
// at every length around its width, from unaligned starts, onto counters
// that already hold counts.
TEST(ByteKernels, TallyPairsAsAPlainLoopDoes)
{
    std::mt19937 random(19);
    std::vector<unsigned char> bytes(300), classes(bytes.size());
    for (std::size_t at = 0; at < bytes.size(); at++) {
        bytes[at] = static_cast<unsigned char>(random() % 6);
        classes[at] = static_cast<unsigned char>(bytes[at] / 2);
    }
    for (const byte_kernels& kernels : usable_byte_kernels()) {
        for (std::size_t start : {0, 1, 7}) {
            for (std::size_t length = 0; length <= 70; length++) {
                std::vector<unsigned char> same(length, 3), same_class(length, 5);
                std::vector<unsigned char> expected_same = same, expected_class = same_class;
                const unsigned char* first = bytes.data() + start;
                const unsigned char* second = first + 100;
                for (std::size_t at = 0; at < length; at++) {
                    bool equal = first[at] == second[at];
                    expected_same[at] += equal;
                    expected_class[at] +=
                        !equal && classes[start + at] == classes[start + 100 + at];
                }
                kernels.tally_pairs(first, second, classes.data() + start,
                                    classes.data() + start + 100, length, same.data(),
                                    same_class.data());
                EXPECT_EQ(same, expected_same)
                    << kernels.name << " from " << start << ", " << length;
                EXPECT_EQ(same_class, expected_class)
                    << kernels.name << " from " << start << ", " << length;
            }
        }
    }
}

// Every kernel marks the bytes equal to either of two as a plain loop
// does: at every length up to a block of 64, from unaligned starts, with
// the two bytes alike or apart, and none marked past the length.
TEST(ByteKernels, MarkEitherByteAsAPlainLoopDoes)
{
    std::mt19937 random(20);
    std::vector<unsigned char> bytes(200);
    for (unsigned char& byte : bytes)
        byte = static_cast<unsigned char>(random() % 4 == 0 ? ',' : "\"ab\xFF"[random() % 4]);
    for (const byte_kernels& kernels : usable_byte_kernels()) {
        for (std::size_t start : {0, 1, 7, 33}) {
            for (std::size_t length = 0; length <= 64; length++) {
                for (auto [first, second] :
                     {std::pair<unsigned char, unsigned char>{',', '"'}, {',', ','}, {0xFF, 'a'}}) {
                    std::uint64_t expected = 0;
                    for (std::size_t at = 0; at < length; at++) {
                        unsigned char byte = bytes[start + at];
                        expected |= std::uint64_t{byte == first || byte == second} << at;
                    }
                    EXPECT_EQ(kernels.either_marks(bytes.data() + start, length, first, second),
                              expected)
                        << kernels.name << " from " << start << ", " << length << " bytes";
                }
            }
        }
    }
}

// Every kernel finds the first LF or CR where a plain loop does: at each
// place in its width and past it, from unaligned starts, and none.
TEST(ByteKernels, FindLineEndAsAPlainLoopDoes)
{
    std::vector<unsigned char> bytes(300, 'x');
    for (std::size_t at : {70, 75, 140, 141, 299})
        bytes[at] = at % 2 == 0 ? '\n' : '\r';
    for (const byte_kernels& kernels : usable_byte_kernels()) {
        for (std::size_t start = 0; start < 142; start++) {
            for (std::size_t length : {std::size_t{0}, std::size_t{5}, 300 - start}) {
                std::size_t expected = 0;
                while (expected < length && bytes[start + expected] != '\n' &&
                       bytes[start + expected] != '\r')
                    expected++;
                EXPECT_EQ(kernels.next_line_end(bytes.data() + start, length), expected)
                    << kernels.name << " from " << start << ", " << length << " bytes";
            }
        }
    }
}

// The byte counts of four tables add up to a plain loop's at every length
// around the tables' stride, from unaligned starts, and for a run of one
// value.
TEST(ByteKernels, CountByteValuesAsAPlainLoopDoes)
{
    std::mt19937 random(18);
    std::vector<unsigned char> bytes(5000);
    for (std::size_t at = 0; at < bytes.size(); at++)
        bytes[at] = static_cast<unsigned char>(at < 1000 ? 0xFF : random());
    for (std::size_t start : {0, 1, 3, 999}) {
        for (std::size_t length : {0, 1, 2, 3, 4, 5, 7, 8, 9, 4001}) {
            std::array<std::uint64_t, 256> expected{};
            for (std::size_t at = start; at < start + length; at++)
                expected[bytes[at]]++;
            EXPECT_EQ(count_byte_values(bytes.data() + start, length), expected)
                << "from " << start << ", " << length << " bytes";
        }
    }
}

// Every kernel weighs pairs of bytes and of classes as a plain loop does,
// at every length around its width, from unaligned starts, leaving the
// bytes past the length alone.
TEST(ByteKernels, AgreePairsAsAPlainLoopDoes)
{
    std::mt19937 random(21);
    std::vector<unsigned char> bytes(300), classes(bytes.size());
    for (std::size_t at = 0; at < bytes.size(); at++) {
        bytes[at] = static_cast<unsigned char>(random() % 6);
        classes[at] = static_cast<unsigned char>(bytes[at] / 2);
    }
    for (const byte_kernels& kernels : usable_byte_kernels()) {
        for (std::size_t start : {0, 1, 7}) {
            for (std::size_t length = 0; length <= 70; length++) {
                std::vector<unsigned char> agree(length + 1, 9), expected = agree;
                const unsigned char* first = bytes.data() + start;
                const unsigned char* second = first + 100;
                for (std::size_t at = 0; at < length; at++)
                    expected[at] = static_cast<unsigned char>(
                        (first[at] == second[at]) +
                        (classes[start + at] == classes[start + 100 + at]));
                kernels.agree_pairs(first, second, classes.data() + start,
                                    classes.data() + start + 100, length, agree.data());
                EXPECT_EQ(agree, expected) << kernels.name << " from " << start << ", " << length;
            }
        }
    }
}

// Every kernel marks where pairs of bytes differ as a plain loop does, at
// every length around its width, from unaligned starts, onto marks that
// already hold bits, leaving the bytes past the length alone.
TEST(ByteKernels, MarkDifferencesAsAPlainLoopDoes)
{
    std::mt19937 random(22);
    std::vector<unsigned char> bytes(300);
    for (unsigned char& byte : bytes)
        byte = static_cast<unsigned char>(random() % 3 == 0 ? random() : 'a');
    for (const byte_kernels& kernels : usable_byte_kernels()) {
        for (std::size_t start : {0, 1, 7}) {
            for (std::size_t length = 0; length <= 70; length++) {
                std::vector<unsigned char> marks(length + 1);
                for (std::size_t at = 0; at < marks.size(); at++)
                    marks[at] = static_cast<unsigned char>(at % 5 == 0 ? 0x40 : 0);
                std::vector<unsigned char> expected = marks;
                const unsigned char* first = bytes.data() + start;
                const unsigned char* second = first + 100;
                for (std::size_t at = 0; at < length; at++)
                    expected[at] |= static_cast<unsigned char>(first[at] ^ second[at]);
                kernels.mark_differences(first, second, length, marks.data());
                EXPECT_EQ(marks, expected) << kernels.name << " from " << start << ", " << length;
            }
        }
    }
}

// Every kernel's pass of a transform gives the doubles of a plain loop,
// to the bit: for blocks shorter and longer than its width, from
// unaligned starts, over values of mixed signs and sizes.
TEST(ByteKernels, FourierPassAsAPlainLoopDoes)
{
    std::mt19937 random(21);
    std::uniform_real_distribution<double> spread(-1e3, 1e3);
    std::vector<double> values(300), turns(300);
    for (std::size_t at = 0; at < values.size(); at++) {
        values[at] = spread(random) * (at % 5 == 0 ? 1e-9 : 1);
        turns[at] = spread(random) / 1e3;
    }
    for (const byte_kernels& kernels : usable_byte_kernels()) {
        for (std::size_t start : {0, 1, 3}) {
            for (auto [size, half] : {std::pair<std::size_t, std::size_t>{2, 1},
                                      {8, 1},
                                      {8, 2},
                                      {8, 4},
                                      {64, 4},
                                      {64, 8},
                                      {64, 32},
                                      {96, 3},
                                      {120, 5}}) {
                std::vector<double> real(values.begin() + start, values.begin() + start + size + 1);
                std::vector<double> imag(values.begin() + start + 150,
                                         values.begin() + start + 150 + size + 1);
                std::vector<double> expected_real = real, expected_imag = imag;
                const double* turn_real = turns.data() + start;
                const double* turn_imag = turns.data() + start + 150;
                for (std::size_t block = 0; block < size; block += 2 * half) {
                    for (std::size_t k = 0; k < half; k++) {
                        double* even_real = &expected_real[block + k];
                        double* even_imag = &expected_imag[block + k];
                        double* odd_real = even_real + half;
                        double* odd_imag = even_imag + half;
                        double turned_real = *odd_real * turn_real[k] - *odd_imag * turn_imag[k];
                        double turned_imag = *odd_real * turn_imag[k] + *odd_imag * turn_real[k];
                        double was_real = *even_real, was_imag = *even_imag;
                        *even_real = was_real + turned_real;
                        *even_imag = was_imag + turned_imag;
                        *odd_real = was_real - turned_real;
                        *odd_imag = was_imag - turned_imag;
                    }
                }
                kernels.fourier_pass(real.data(), imag.data(), size, half, turn_real, turn_imag);
                EXPECT_EQ(real, expected_real)
                    << kernels.name << " from " << start << ", " << size << " by " << half;
                EXPECT_EQ(imag, expected_imag)
                    << kernels.name << " from " << start << ", " << size << " by " << half;
            }
        }
    }
}

// Every kernel tells which of four bytes occur as a plain loop does: at
// every length around its width and the word's, from unaligned starts,
// with each byte placed alone at either end and in the middle.
TEST(ByteKernels, HeldBytesAsAPlainLoopDoes)
{
    const unsigned char values[4] = {'|', '-', '=', '+'};
    std::mt19937 random(21);
    std::vector<unsigned char> bytes(200);
    for (const byte_kernels& kernels : usable_byte_kernels()) {
        for (std::size_t start : {0, 1, 7, 33}) {
            for (std::size_t length = 0; length <= 100; length++) {
                for (int trial = 0; trial < 6; trial++) {
                    for (unsigned char& byte : bytes)
                        byte = static_cast<unsigned char>("ab 1."[random() % 5]);
                    if (length > 0 && trial > 0) {
                        std::size_t at = trial == 1   ? 0
                                         : trial == 2 ? length - 1
                                                      : random() % length;
                        bytes[start + at] = values[random() % 4];
                    }
                    unsigned expected = 0;
                    for (std::size_t at = start; at < start + length; at++) {
                        for (unsigned k = 0; k < 4; k++)
                            expected |= bytes[at] == values[k] ? 1u << k : 0u;
                    }
                    EXPECT_EQ(kernels.held_bytes(bytes.data() + start, length, values), expected)
                        << kernels.name << " from " << start << ", " << length << " bytes";
                }
            }
        }
    }
}

// Every kernel tallies the bytes equal to either of two as a plain loop
// does: at every length around its width and the word's, from unaligned
// starts, onto tallies that already hold counts.
TEST(ByteKernels, TallyEitherByteAsAPlainLoopDoes)
{
    std::mt19937 random(22);
    std::vector<unsigned char> bytes(200);
    for (unsigned char& byte : bytes)
        byte = static_cast<unsigned char>("ab \t\xA0"[random() % 5]);
    for (const byte_kernels& kernels : usable_byte_kernels()) {
        for (std::size_t start : {0, 1, 7, 33}) {
            for (std::size_t length = 0; length <= 100; length++) {
                std::vector<unsigned char> tallies(length);
                for (unsigned char& tally : tallies)
                    tally = static_cast<unsigned char>(random() % 255);
                std::vector<unsigned char> expected = tallies;
                for (std::size_t at = 0; at < length; at++)
                    expected[at] += bytes[start + at] == ' ' || bytes[start + at] == '\t';
                kernels.tally_either(bytes.data() + start, length, ' ', '\t', tallies.data());
                EXPECT_EQ(tallies, expected)
                    << kernels.name << " from " << start << ", " << length << " bytes";
            }
        }
    }
}

// Every kernel finds the first byte from 0x80 on where a plain loop
// does: at each place in and past two blocks, from unaligned starts, and
// none.
TEST(ByteKernels, FindFirstHighByteAsAPlainLoopDoes)
{
    for (const byte_kernels& kernels : usable_byte_kernels()) {
        for (std::size_t start : {0, 1, 7, 33}) {
            for (std::size_t length : {0, 5, 31, 64, 65, 130, 200}) {
                for (std::size_t high = 0; high <= length; high++) {
                    std::vector<unsigned char> bytes(start + length, 'a');
                    if (high < length)
                        bytes[start + high] = static_cast<unsigned char>(0x80 + high % 0x80);
                    if (high + 3 < length)
                        bytes[start + high + 3] = 0xFF;
                    EXPECT_EQ(kernels.first_high(bytes.data() + start, length), high)
                        << kernels.name << " from " << start << ", " << length << " bytes";
                }
            }
        }
    }
}

// Every kernel raises the best sums as a plain loop does: at every
// length around its width, from unaligned starts, with sums that tie the
// best and sums that the offset rounds away.
TEST(ByteKernels, RaiseBestSumsAsAPlainLoopDoes)
{
    std::mt19937 random(22);
    std::vector<double> sums(100), bests(sums.size());
    for (std::size_t at = 0; at < sums.size(); at++) {
        sums[at] = static_cast<double>(random() % 8) / 4 + (at % 5 == 0 ? 1e-17 : 0);
        bests[at] = at % 7 == 0 ? -1e300 : static_cast<double>(random() % 8) / 4 - 5;
    }
    for (const byte_kernels& kernels : usable_byte_kernels()) {
        for (std::size_t start : {0, 1, 3}) {
            for (std::size_t length = 0; length <= 40; length++) {
                for (double offset : {0.0, 6.0}) {
                    std::vector<double> best(bests.begin() + start, bests.begin() + start + length);
                    std::vector<std::uint64_t> best_at(length, 7);
                    std::vector<double> expected = best;
                    std::vector<std::uint64_t> expected_at = best_at;
                    for (std::size_t at = 0; at < length; at++) {
                        double weighed = sums[start + at] + offset - 5;
                        if (weighed > expected[at]) {
                            expected[at] = weighed;
                            expected_at[at] = 1000 + at;
                        }
                    }
                    kernels.raise_best(sums.data() + start, length, offset, 5, best.data(),
                                       best_at.data(), 1000);
                    EXPECT_EQ(best, expected)
                        << kernels.name << " from " << start << ", " << length << " by " << offset;
                    EXPECT_EQ(best_at, expected_at)
                        << kernels.name << " from " << start << ", " << length << " by " << offset;
                }
            }
        }
    }
}

// Every kernel looks bytes up as a plain loop does: every byte value,
// at every length around its width, from unaligned starts, in a table of
// random values and in one whose upper half holds one value.
TEST(ByteKernels, MapByteValuesAsAPlainLoopDoes)
{
    std::mt19937 random(23);
    std::vector<unsigned char> random_table(256), bytes(600);
    for (unsigned char& value : random_table)
        value = static_cast<unsigned char>(random());
    std::vector<unsigned char> upper_alike = random_table;
    std::fill(upper_alike.begin() + 128, upper_alike.end(), 0x80);
    for (std::size_t at = 0; at < bytes.size(); at++)
        bytes[at] = static_cast<unsigned char>(at < 256 ? at : random());
    for (const byte_kernels& kernels : usable_byte_kernels()) {
        for (const std::vector<unsigned char>& table : {random_table, upper_alike}) {
            for (std::size_t start : {0, 1, 7}) {
                for (std::size_t length = 0; length <= 70; length += length < 10 ? 1 : 3) {
                    for (std::size_t taken : {length, 512 + length}) {
                        std::vector<unsigned char> out(taken + 1, 0xA5), expected = out;
                        for (std::size_t at = 0; at < taken; at++)
                            expected[at] = table[bytes[start + at]];
                        kernels.map_bytes(bytes.data() + start, taken, table.data(), out.data());
                        EXPECT_EQ(out, expected)
                            << kernels.name << " from " << start << ", " << taken;
                    }
                }
            }
        }
    }
}

// Every kernel counts changes between neighbouring bytes a stride apart
// as a plain loop does: at every length around its width and well past
// it, from unaligned starts, at strides that meet its blocks every way.
TEST(ByteKernels, CountSpacedChangesAsAPlainLoopDoes)
{
    std::mt19937 random(24);
    std::vector<unsigned char> bytes(700);
    for (unsigned char& byte : bytes)
        byte = static_cast<unsigned char>(random() % 3);
    for (const byte_kernels& kernels : usable_byte_kernels()) {
        for (std::size_t stride : {1, 2, 7, 16, 31, 32, 33, 64}) {
            for (std::size_t start : {0, 1, 7}) {
                for (std::size_t length = 0; length <= 600; length += length < 70 ? 1 : 53) {
                    std::uint64_t expected = 0;
                    for (std::size_t at = 1; at < length; at += stride)
                        expected += bytes[start + at] != bytes[start + at - 1];
                    EXPECT_EQ(kernels.spaced_changes(bytes.data() + start, length, stride),
                              expected)
                        << kernels.name << " from " << start << ", " << length << " by " << stride;
                }
            }
        }
    }
}

// Every kernel narrows the kinds of the columns taken as a plain loop
// does and leaves the others: records of every length around its width,
// from unaligned starts, in a table of random values and in one whose
// upper half holds one value.
TEST(ByteKernels, AndMappedRecordsAsAPlainLoopDoes)
{
    std::mt19937 random(25);
    std::vector<unsigned char> random_table(256), bytes(800), taken(80);
    for (unsigned char& value : random_table)
        value = static_cast<unsigned char>(random());
    std::vector<unsigned char> upper_alike = random_table;
    std::fill(upper_alike.begin() + 128, upper_alike.end(), 0x80);
    for (unsigned char& byte : bytes)
        byte = static_cast<unsigned char>(random());
    for (unsigned char& each : taken)
        each = random() % 3 == 0 ? 0 : 0xFF;
    for (const byte_kernels& kernels : usable_byte_kernels()) {
        for (const std::vector<unsigned char>& table : {random_table, upper_alike}) {
            for (std::size_t start : {0, 1, 7}) {
                for (std::size_t length = 0; length <= 70; length++) {
                    std::uint64_t records =
                        length == 0 ? 3 : std::min<std::size_t>(9, 700 / length);
                    std::vector<unsigned char> kinds(length + 1, 0xF7), expected = kinds;
                    for (std::uint64_t record = 0; record < records; record++) {
                        for (std::size_t at = 0; at < length; at++) {
                            if (taken[at] != 0)
                                expected[at] &= table[bytes[start + record * length + at]];
                        }
                    }
                    kernels.and_mapped(bytes.data() + start, records, length, table.data(),
                                       taken.data(), kinds.data());
                    EXPECT_EQ(kinds, expected)
                        << kernels.name << " from " << start << ", " << records << " of " << length;
                }
            }
        }
    }
}

// Every kernel marks a run's bytes equal to either of two in words as a
// plain loop does: at lengths around whole blocks and within one, from
// unaligned starts, and none marked past the length.
TEST(ByteKernels, MarkEitherWordsAsAPlainLoopDoes)
{
    std::mt19937 random(26);
    std::vector<unsigned char> bytes(300);
    for (unsigned char& byte : bytes)
        byte = static_cast<unsigned char>(random() % 4 == 0 ? ',' : "\"ab\xFF"[random() % 4]);
    for (const byte_kernels& kernels : usable_byte_kernels()) {
        for (std::size_t start : {0, 1, 7, 33}) {
            for (std::size_t length : {0, 1, 8, 31, 63, 64, 65, 100, 128, 129, 200, 256}) {
                std::vector<std::uint64_t> expected((length + 63) / 64 + 1, 0x5A);
                std::vector<std::uint64_t> words = expected;
                std::fill(expected.begin(), expected.end() - 1, 0);
                for (std::size_t at = 0; at < length; at++) {
                    unsigned char byte = bytes[start + at];
                    expected[at / 64] |= std::uint64_t{byte == ',' || byte == '"'} << at % 64;
                }
                kernels.either_words(bytes.data() + start, length, ',', '"', words.data());
                EXPECT_EQ(words, expected)
                    << kernels.name << " from " << start << ", " << length << " bytes";
            }
        }
    }
}

} // namespace
