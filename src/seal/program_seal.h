// What korvalen's check of itself covers, worked out alike from a program
// file (by the sealing tool, on the machine that builds) and from the image
// the loader made of it (by the program, at every start): the segments of
// an ELF program, or the sections of a Windows one, that are not writable,
// with the headers that describe them. Writable data is left out: the
// loader fills some of it, and the seal lies there.
//
// The few bytes that legitimately change after the build are left out too:
// the fields of the headers that strip rewrites (where the section table
// lies, the count of sections, the symbol table, the time stamp, the
// Windows checksum and the place of an appended signature). A Windows
// loader may move the image and patch its addresses; the digest puts
// those patches back, so that the image digests as its file does.
#ifndef KORVALEN_PROGRAM_SEAL_H
#define KORVALEN_PROGRAM_SEAL_H

#include <cstddef>
#include <cstdint>

constexpr std::size_t SEAL_MARKER_SIZE = 16;
inline constexpr unsigned char SEAL_MARKER[SEAL_MARKER_SIZE + 1] = "\x7fKORVALEN SEAL\x02";

// Kept in the program's writable initialised data, where the sealing tool
// finds it by its marker. The numbers are little-endian.
struct program_seal {
    unsigned char marker[SEAL_MARKER_SIZE];
    unsigned char digest[8];
    // The address the image was linked for; a loaded image may lie
    // elsewhere, and its headers may no longer say where that was.
    unsigned char image_base[8];
};

enum class image_check {
    digested,
    unknown_format, // neither an ELF nor a Windows program, or not little-endian
    malformed,      // its headers do not hold together
};

struct image_seal_values {
    std::uint64_t digest = 0;
    std::uint64_t image_base = 0;
};

// A program file as it lies in memory, read whole.
image_check digest_program_file(const unsigned char* file, std::size_t size,
                                image_seal_values& values);

// The image of a program that the loader laid out at image (where its
// file's first byte lies), sealed with image_base. Reads only what the
// headers say the loader mapped.
image_check digest_loaded_program(const unsigned char* image, std::uint64_t image_base,
                                  std::uint64_t& digest);

// Offset of the seal in the writable data of a program file; -1 when
// there is none there, or more than one.
std::ptrdiff_t find_seal(const unsigned char* file, std::size_t size);

std::uint64_t read_little_endian(const unsigned char* bytes, int count);
void write_little_endian(unsigned char* bytes, int count, std::uint64_t value);

#endif
