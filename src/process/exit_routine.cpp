#include "exit_routine.h"

#include "input_state.h"
#include "platform.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace
{

// The field report is all korvalen writes to standard output; a run that
// lost some of it must not end as if it had succeeded.
bool standard_output_written()
{
    errno = 0;
    if (std::fflush(stdout) == 0 && !std::ferror(stdout))
        return true;
    int reason = errno != 0 ? errno : EIO;
    std::fprintf(stderr, "\nkorvalen: can't write standard output: %s\n", std::strerror(reason));
    return false;
}

int close_input_and_settle(int status)
{
    platform_file open_file = input_file.exchange(NO_FILE);
    if (open_file != NO_FILE)
        platform_close(open_file);
    // After Ctrl+C the user knows the run was cut short; a write that the
    // interrupt broke off is no news to report.
    if (platform_interrupted()) {
        std::fflush(stdout);
        return INPUT_FILE;
    }
    if (!standard_output_written())
        return OUTPUT_FAILED;
    return status;
}

} // namespace

void exit_routine(int status)
{
    std::exit(close_input_and_settle(status));
}

void exit_routine_at_once(int status)
{
    status = close_input_and_settle(status);
    std::fflush(stderr);
    platform_end_process(status);
}
