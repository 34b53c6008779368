// A digest of a program's loaded image that costs a fraction of an
// instruction per byte: the bytes are read as little-endian 64-bit words in
// four lanes, and each lane keeps the sum of its words and, at the end of
// every group of 64 blocks, adds that sum to a sum of sums (Fletcher's
// scheme by groups, modulo 2^64), mixed into 64 bits at the end. The sums
// of sums tell where in the image a change lies to within a group.
//
// A span is taken in as whole 32-byte blocks, its last block padded with
// zeros, followed by one block that holds its length; so where one span
// ends and the next begins is part of the digest. Any single changed byte
// changes the lane sums; the mixing makes a collision of the final value a
// chance of one in 2^64.
#ifndef KORVALEN_IMAGE_DIGEST_H
#define KORVALEN_IMAGE_DIGEST_H

#include <cstddef>
#include <cstdint>

constexpr std::size_t DIGEST_LANES = 4;
constexpr std::size_t DIGEST_BLOCK_SIZE = DIGEST_LANES * 8;
constexpr std::size_t DIGEST_GROUP = 64;

struct image_digest {
    std::uint64_t sums[DIGEST_LANES] = {};
    std::uint64_t sums_of_sums[DIGEST_LANES] = {};
    std::uint64_t blocks = 0; // blocks taken in so far
};

void digest_span(image_digest& digest, const unsigned char* bytes, std::size_t count);

// Makes the digest what it would be had the byte at offset of a span held
// now instead of was. first_block is the digest's block count when the
// span began; the span must have been taken in already. A loaded image
// differs from its file in a few known bytes; this puts them right without
// copying the image.
void digest_replace_byte(image_digest& digest, std::uint64_t first_block, std::uint64_t offset,
                         unsigned char was, unsigned char now);

std::uint64_t digest_value(const image_digest& digest);

// The two ways digest_span takes in whole blocks, which must agree: with
// what every processor of the kind has (SSE2 on x86), and with AVX2, which
// it uses where the processor has it. The second gives false, and leaves
// the digest as it was, where AVX2 is missing.
bool digest_blocks_baseline(image_digest& digest, const unsigned char* bytes, std::size_t count);
bool digest_blocks_avx2(image_digest& digest, const unsigned char* bytes, std::size_t count);

#endif
