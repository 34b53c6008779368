#include "../../src/survey/base/byte_kernels.h"

#include <gtest/gtest.h>

#include <random>
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

} // namespace
