// What the survey reads of a file before it decides on a layout: the start
// of the file and, for a large file, pieces from further in, so that a
// header, the records in the middle and a trailer at the end are all seen.
#ifndef KORVALEN_FILE_SAMPLE_H
#define KORVALEN_FILE_SAMPLE_H

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

using byte_span = std::span<const unsigned char>;

// The start is read whole up to this size; a file no larger is seen whole.
constexpr std::size_t SAMPLE_START_SIZE = std::size_t{1} << 20;
// Each later piece of a larger file.
constexpr std::size_t SAMPLE_PIECE_SIZE = std::size_t{1} << 18;

struct sample_piece {
    std::uint64_t offset;
    byte_span bytes;
};

struct file_sample {
    // None when the input has no size to ask for (a pipe).
    std::optional<std::uint64_t> file_size;
    // From offset 0.
    byte_span start;
    // In file order, each after the start and the piece before it.
    std::vector<sample_piece> later;
};

struct piece_plan {
    std::uint64_t offset;
    std::size_t length;
};

// Where the later pieces of a file of file_size bytes lie: the rest of a
// file not much larger than the start, otherwise its middle and its end.
std::vector<piece_plan> plan_later_pieces(std::uint64_t file_size);

// True when the start holds every byte of the file.
bool sample_is_whole_file(const file_sample& sample);

#endif
