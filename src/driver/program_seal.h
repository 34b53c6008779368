// The seal that the build writes into korvalen's own file: a marker, then
// the CRC-32 of the whole file as it is with these four bytes zeroed,
// least significant byte first.
#ifndef KORVALEN_PROGRAM_SEAL_H
#define KORVALEN_PROGRAM_SEAL_H

#include <cstddef>
#include <cstdint>

constexpr std::size_t SEAL_MARKER_SIZE = 16;
constexpr std::size_t SEAL_SIZE = SEAL_MARKER_SIZE + 4;
inline constexpr unsigned char SEAL_MARKER[SEAL_MARKER_SIZE + 1] = "\x7fKORVALEN SEAL\x01";

// Offset of the one seal in image, or -1 when there is none or more than
// one.
std::ptrdiff_t find_seal(const unsigned char* image, std::size_t size, const unsigned char* marker);

// The checksum the seal at seal_at must hold for this image.
std::uint32_t checksum_for_seal(unsigned char* image, std::size_t size, std::size_t seal_at);

std::uint32_t checksum_in_seal(const unsigned char* image, std::size_t seal_at);
void write_checksum_in_seal(unsigned char* image, std::size_t seal_at, std::uint32_t checksum);

#endif
