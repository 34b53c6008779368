#include "../analysis/field_report.h"
#include "../analysis/line_terminator_scan.h"
#include "../analysis/repeat_distances.h"
#include "../banner/banner.h"
#include "../process/exit_routine.h"
#include "../process/input_state.h"
#include "../process/platform.h"
#include "input_sample.h"
#include "../seal/self_check.h"
#include "survey_command.h"

#include <cstdio>
#include <cstring>

namespace
{

constexpr unsigned BANNER_LINES_USED = 10;

[[noreturn]] void show_help()
{
    std::fprintf(stderr, "\n     korvalen  infile [-f]\n");
    std::fprintf(stderr, "     or: korvalen infile  #\n");
    std::fprintf(stderr, "     where # is number of records to show\n");
    std::fprintf(stderr, "     if you redirect the output > file, then you get the pipe setup of a "
                         "pipe delimeted file\n");
    std::fprintf(stderr, "     korvalen  filename  >  pipe_indicating_file\n");
    exit_routine(INPUT_FILE);
}

// Only a lower-case f counts, and only the first character is looked at.
bool selects_fixed_length(int argument_count, char** arguments)
{
    if (argument_count < 3)
        return false;
    return arguments[2][0] == 'f' || std::strcmp(arguments[2], "-f") == 0;
}

} // namespace

int main(int argument_count, char** arguments)
{
    platform_guard_standard_streams();
    std::setbuf(stdin, nullptr);
    // On a terminal the report must appear in step with the prompts on
    // standard error; redirected, it is buffered and flushed at the end.
    if (platform_is_terminal(stdout))
        std::setvbuf(stdout, nullptr, _IONBF, 0);

    check_program_file();
    if (selects_survey(argument_count, arguments))
        run_survey_command(argument_count, arguments);
    // Standard error redirected is buffered as well, and written out before
    // the report, at every prompt and at the end: a line at a time it would
    // cost a run more system calls than all its other work.
    if (!platform_is_terminal(stderr))
        std::setvbuf(stderr, nullptr, _IOFBF, BUFSIZ);
    print_banner(stderr, BANNER_LINES_USED);
    platform_catch_interrupt();
    std::fprintf(stderr, "\n\n\n\n\n\n");
    // A program started with no name at all has no argument either.
    if (argument_count < 2)
        show_help();

    const char* file_name = arguments[1];
    // Opening a FIFO waits for its writer, and reading a pipe for its
    // bytes: the banner shows meanwhile.
    std::fflush(stderr);
    open_input(file_name);
    allocate_sample();
    std::uint32_t valid_length = read_sample(input_file, sample_buffer, SAMPLE_SIZE);
    // Ctrl+C while a slow file (a pipe) was read: the sample is cut short,
    // and a report of it would mislead.
    end_run_if_interrupted();

    report_fields(stdout, file_name, sample_buffer, static_cast<std::int32_t>(valid_length));
    // The whole report reaches its file or pipe before the first prompt, so
    // that an end the exit routine never sees (SIGTERM, a closed window)
    // does not take it along.
    flush_standard_output();
    end_run_if_interrupted();
    if (selects_fixed_length(argument_count, arguments))
        scan_repeat_distances(stderr, valid_length);
    else
        scan_line_terminators(stderr, valid_length, argument_count, arguments);
    exit_routine(NORMAL_EXIT);
}
