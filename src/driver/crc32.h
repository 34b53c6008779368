// CRC-32 (the polynomial of zip and Ethernet), for the seal of the
// program's own file.
#ifndef KORVALEN_CRC32_H
#define KORVALEN_CRC32_H

#include <cstddef>
#include <cstdint>

std::uint32_t crc32_of(const unsigned char* bytes, std::size_t count);

#endif
