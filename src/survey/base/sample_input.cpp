#include "sample_input.h"

#include <cstring>

namespace
{

// A stream is copied to its temporary file through a buffer of this size:
// what stays resident does not grow with the stream.
constexpr std::size_t SPOOL_BLOCK = std::size_t{1} << 20;

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

bool read_sample(survey_input& input, stream_reading reading);

bool spool_failed(survey_input& input, platform_file spool, const std::string& where)
{
    describe_last_error(input.error);
    input.error =
        "can't keep it in a temporary file in " + where + " to read it whole: " + input.error;
    platform_close(spool);
    return false;
}

// Copies the stream, its sample first, to a temporary file, which then
// stands in for it as a file by name.
bool spool_stream(survey_input& input)
{
    char folder[1024] = "";
    platform_file spool = platform_open_temporary(folder, sizeof folder);
    std::string where = folder[0] != '\0' ? folder : "the temporary folder";
    if (spool == NO_FILE) {
        describe_last_error(input.error);
        input.error =
            "can't make a temporary file in " + where + " to read it whole: " + input.error;
        return false;
    }
    if (!platform_write_all(spool, input.start.bytes.get(), input.start.size))
        return spool_failed(input, spool, where);
    byte_buffer block;
    block.make_room(SPOOL_BLOCK);
    for (;;) {
        std::int64_t got = platform_read_stream(input.file, block.bytes.get(), block.size);
        if (platform_interrupted()) {
            input.error = "interrupted";
            platform_close(spool);
            return false;
        }
        if (got < 0) {
            describe_last_error(input.error);
            platform_close(spool);
            return false;
        }
        if (got == 0)
            break;
        if (!platform_write_all(spool, block.bytes.get(), static_cast<std::size_t>(got)))
            return spool_failed(input, spool, where);
    }
    if (input.owns_stream)
        platform_close(input.file);
    input.file = spool;
    input.is_stream = false;
    input.owns_stream = false;
    input.start = {};
    return read_sample(input, stream_reading::sample_only);
}

bool read_whole_if_longer(survey_input& input, stream_reading reading)
{
    if (!read_stream_sample(input))
        return false;
    if (reading == stream_reading::whole && !input.start_is_whole_file)
        return spool_stream(input);
    return true;
}

bool read_standard_input(survey_input& input, stream_reading reading)
{
    input.file = platform_standard_input();
    if (input.file == NO_FILE) {
        describe_last_error(input.error);
        return false;
    }
    return read_whole_if_longer(input, reading);
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

bool read_sample(survey_input& input, stream_reading reading)
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
        return read_whole_if_longer(input, reading);
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

bool open_survey_input(const char* name, survey_input& input, stream_reading reading)
{
    if (names_standard_input(name))
        return read_standard_input(input, reading);
    input.file = platform_open_any(name);
    if (input.file == NO_FILE) {
        describe_last_error(input.error);
        return false;
    }
    return check_kind(name, input) && read_sample(input, reading);
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
