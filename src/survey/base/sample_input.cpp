#include "sample_input.h"

#include <cstring>

namespace
{

// Reads count bytes from offset into bytes, keeping as many as the file
// still holds there.
bool read_piece(platform_file file, std::uint64_t offset, std::size_t count, byte_buffer& bytes)
{
    bytes.make_room(count);
    std::int64_t got = platform_read_at(file, offset, bytes.bytes.get(), count);
    if (got < 0)
        return false;
    bytes.size = static_cast<std::size_t>(got);
    return true;
}

// A stream that ends within the sample is a whole file of that size:
// surveyed and verified as the same bytes by path would be.
bool read_stream_sample(survey_input& input)
{
    input.is_stream = true;
    input.start.make_room(SAMPLE_START_SIZE);
    std::int64_t got = platform_read_stream(input.file, input.start.bytes.get(), input.start.size);
    if (got < 0) {
        describe_last_error(input.error);
        return false;
    }
    input.start.size = static_cast<std::size_t>(got);
    input.start_is_whole_file = input.start.size < SAMPLE_START_SIZE;
    if (input.start_is_whole_file)
        input.size = input.start.size;
    return true;
}

bool read_standard_input(survey_input& input)
{
    input.file = platform_standard_input();
    return read_stream_sample(input);
}

// Only a regular file can be read at offsets and has a size; anything else
// can still be surveyed through standard input.
bool check_kind(const char* name, survey_input& input)
{
    switch (platform_kind_of(input.file)) {
    case platform_file_kind::regular:
        return true;
    case platform_file_kind::directory:
        input.error = "Is a directory";
        return false;
    default:
        input.error = std::string("not a regular file; give it as standard input: "
                                  "korvalen --survey - < ") +
                      name;
        return false;
    }
}

bool read_sample(survey_input& input)
{
    std::uint64_t size = 0;
    if (!platform_size_of(input.file, size)) {
        describe_last_error(input.error);
        return false;
    }
    // Files of the system (/proc, /sys) say 0 and deliver their content
    // when read: only reading to the end tells their size.
    if (size == 0) {
        input.owns_stream = true;
        return read_stream_sample(input);
    }
    input.size = size;
    std::size_t start_size =
        size < SAMPLE_START_SIZE ? static_cast<std::size_t>(size) : SAMPLE_START_SIZE;
    if (!read_piece(input.file, 0, start_size, input.start)) {
        describe_last_error(input.error);
        return false;
    }
    input.start_is_whole_file = input.start.size == size;
    for (const piece_plan& plan : plan_later_pieces(size)) {
        input.pieces.emplace_back();
        if (!read_piece(input.file, plan.offset, plan.length, input.pieces.back())) {
            describe_last_error(input.error);
            return false;
        }
        input.piece_offsets.push_back(plan.offset);
    }
    return true;
}

} // namespace

bool names_standard_input(const char* name)
{
    return std::strcmp(name, "-") == 0;
}

bool open_survey_input(const char* name, survey_input& input)
{
    if (names_standard_input(name))
        return read_standard_input(input);
    input.file = platform_open_any(name);
    if (input.file == NO_FILE) {
        describe_last_error(input.error);
        return false;
    }
    return check_kind(name, input) && read_sample(input);
}

file_sample sample_of(const survey_input& input)
{
    file_sample sample;
    sample.file_size = input.size;
    sample.start = input.start.span();
    for (std::size_t piece = 0; piece < input.pieces.size(); piece++)
        sample.later.push_back({input.piece_offsets[piece], input.pieces[piece].span()});
    return sample;
}

void describe_last_error(std::string& error)
{
    char text[256];
    platform_describe_error(platform_last_error(), text, sizeof text);
    error = text;
}

void close_survey_input(survey_input& input)
{
    if (input.file != NO_FILE && (!input.is_stream || input.owns_stream))
        platform_close(input.file);
    input.file = NO_FILE;
}
