// Many binary containers open with a directory: a count in the header, then
// that many entries of one size, each pointing at a part of the file (a
// font's tables, a colour profile's tags, a cursor's images). Their
// documents call the entries the file's records and the parts they point
// at what follows them. Read from the pointers alone, the directory is
// found in containers no reader here names.
#ifndef KORVALEN_COUNTED_DIRECTORY_H
#define KORVALEN_COUNTED_DIRECTORY_H

#include "../base/file_sample.h"

#include <cstdint>
#include <optional>

struct counted_directory {
    std::uint64_t header = 0;
    std::uint64_t entry = 0;
    std::uint64_t entries = 0;
};

// The directory the start of a file of file_size bytes holds, when a
// count and an entry size put every entry's pointer past the directory
// and inside the file, each beside its part's length; none when no shape
// fits.
std::optional<counted_directory> find_counted_directory(byte_span start, std::uint64_t file_size);

#endif
