#include "../../src/driver/crc32.h"
#include "../../src/driver/program_seal.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace
{

TEST(Crc32, MatchesTheStandardCheckValue)
{
    const char* digits = "123456789";
    EXPECT_EQ(crc32_of(reinterpret_cast<const unsigned char*>(digits), 9), 0xCBF43926u);
    EXPECT_EQ(crc32_of(nullptr, 0), 0u);
}

std::vector<unsigned char> image_with_seals(std::initializer_list<std::size_t> offsets)
{
    std::vector<unsigned char> image(256, 0xAA);
    for (std::size_t at : offsets)
        std::memcpy(image.data() + at, SEAL_MARKER, SEAL_MARKER_SIZE);
    return image;
}

TEST(ProgramSeal, FindsExactlyOneSeal)
{
    std::vector<unsigned char> none = image_with_seals({});
    EXPECT_EQ(find_seal(none.data(), none.size(), SEAL_MARKER), -1);
    std::vector<unsigned char> one = image_with_seals({40});
    EXPECT_EQ(find_seal(one.data(), one.size(), SEAL_MARKER), 40);
    std::vector<unsigned char> two = image_with_seals({40, 120});
    EXPECT_EQ(find_seal(two.data(), two.size(), SEAL_MARKER), -1);
    // A marker without room for its checksum behind it is no seal.
    std::vector<unsigned char> cut = image_with_seals({230});
    cut.resize(230 + SEAL_MARKER_SIZE);
    EXPECT_EQ(find_seal(cut.data(), cut.size(), SEAL_MARKER), -1);
}

TEST(ProgramSeal, ChecksumIgnoresItsOwnFieldAndCoversEveryOtherByte)
{
    std::vector<unsigned char> image = image_with_seals({40});
    std::uint32_t sealed = checksum_for_seal(image.data(), image.size(), 40);
    write_checksum_in_seal(image.data(), 40, sealed);
    EXPECT_EQ(checksum_in_seal(image.data(), 40), sealed);
    EXPECT_EQ(checksum_for_seal(image.data(), image.size(), 40), sealed);

    image[255] ^= 1;
    EXPECT_NE(checksum_for_seal(image.data(), image.size(), 40), sealed);
    image[255] ^= 1;
    image.push_back(0);
    EXPECT_NE(checksum_for_seal(image.data(), image.size(), 40), sealed);
}

} // namespace
