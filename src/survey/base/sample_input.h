// Opening one input of the survey and reading its sample.
#ifndef KORVALEN_SURVEY_INPUT_H
#define KORVALEN_SURVEY_INPUT_H

#include "../../process/platform.h"
#include "file_sample.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

// Bytes read from an input: not cleared before the read fills them.
struct byte_buffer {
    std::unique_ptr<unsigned char[]> bytes;
    std::size_t size = 0;

    void make_room(std::size_t count)
    {
        bytes = std::make_unique_for_overwrite<unsigned char[]>(count);
        size = count;
    }

    byte_span span() const
    {
        return byte_span(bytes.get(), size);
    }
};

struct survey_input {
    platform_file file = NO_FILE;
    // Standard input: read from where it stands, without a size.
    bool is_stream = false;
    // A file opened by name that is read as a stream all the same.
    bool owns_stream = false;
    // Also set for a stream that ended within the start.
    std::optional<std::uint64_t> size;
    byte_buffer start;
    bool start_is_whole_file = false;
    std::vector<std::uint64_t> piece_offsets;
    std::vector<byte_buffer> pieces;
    // Why it could not be opened or read, as the system words it.
    std::string error;
};

// The name that stands for standard input.
bool names_standard_input(const char* name);

// How an input that is a stream (standard input, a file of the system
// that says 0 bytes) is read.
enum class stream_reading {
    // Its sample only; the rest may be read on from where it stands.
    sample_only,
    // Whole, when it goes past the sample: kept in a temporary file that
    // deletes itself, and then sampled and read as a file by name is, so
    // that the same bytes get the same answer however they come.
    whole,
};

// Opens name and reads its sample: its start and, for a large file, pieces
// from further in. False with error set when it cannot be opened or read,
// or is not a regular file (a directory, a FIFO, a device), or, read
// whole, cannot be kept or Ctrl+C came meanwhile ("interrupted").
bool open_survey_input(const char* name, survey_input& input,
                       stream_reading reading = stream_reading::sample_only);

// Views into input, valid while input lives unchanged.
file_sample sample_of(const survey_input& input);

// Fills error with the reason of the last failed call of this thread.
void describe_last_error(std::string& error);

void close_survey_input(survey_input& input);

#endif
