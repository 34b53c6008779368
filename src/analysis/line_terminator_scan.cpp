#include "line_terminator_scan.h"

#include "../process/exit_routine.h"
#include "../process/input_state.h"
#include "../process/keystroke.h"
#include "line_end_bytes.h"
#include "repeat_distances.h"

#include <cinttypes>
#include <cstdlib>

namespace
{

constexpr std::int32_t DEFAULT_SHOW_LIMIT = 9;

bool is_quit_key(int key)
{
    return key == KEY_CTRL_C || key == 'x' || key == 'X';
}

} // namespace

std::int32_t show_limit_of(const char* argument)
{
    // strtol saturates at long's range, which is wider than 32 bits here.
    long limit = std::strtol(argument, nullptr, 10);
    if (limit > INT32_MAX)
        return INT32_MAX;
    if (limit < INT32_MIN)
        return INT32_MIN;
    return static_cast<std::int32_t>(limit);
}

void scan_line_terminators(std::FILE* out, std::uint32_t valid_length, int argument_count,
                           char** arguments)
{
    std::int32_t show_limit = argument_count > 2 ? show_limit_of(arguments[2]) : DEFAULT_SHOW_LIMIT;
    std::int32_t position_in_line = 1;
    std::int32_t line_feeds = 0;
    bool terminator_seen = false;

    for (std::uint32_t offset = 0; offset < valid_length; offset++) {
        unsigned char byte = sample_buffer[offset];
        if (byte == CR) {
            std::fprintf(out, "\nFound 0x0d( carriage return ) at %d", position_in_line);
            terminator_seen = true;
        } else if (byte == LF) {
            std::fprintf(out, "\nFound 0x0A ( line feed )      at %d\n", position_in_line);
            std::fprintf(out,
                         "Apparent number of records in file based on %d record length = %" PRId64,
                         position_in_line, file_size / position_in_line);
            position_in_line = 0;
            line_feeds++;
            terminator_seen = true;
            std::fprintf(out, "\n\nhit return to continue, or ^C to quit");
            int key = read_keystroke();
            if (is_quit_key(key) || line_feeds > show_limit)
                exit_routine(NORMAL_EXIT);
        }
        position_in_line++;
    }

    if (!terminator_seen) {
        std::fprintf(out, "\nCan't find carriage return or line feed, assume fixed length record");
        scan_repeat_distances(out, valid_length);
    }
}
