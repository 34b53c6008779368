#include "exit_routine.h"

#include "input_state.h"
#include "platform.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace
{

// Why standard output could not be written the first time it failed; 0
// while it could. The field report is all korvalen writes there, and a run
// that lost some of it must not end as if it had succeeded.
int output_failure = 0;

} // namespace

void flush_standard_output()
{
    errno = 0;
    if (std::fflush(stdout) == 0 && !std::ferror(stdout))
        return;
    if (output_failure == 0)
        output_failure = errno != 0 ? errno : EIO;
}

void exit_routine(exit_status status)
{
    platform_file open_file = input_file.exchange(NO_FILE);
    if (open_file != NO_FILE)
        platform_close(open_file);
    flush_standard_output();
    // A lost report is news even to a user who pressed Ctrl+C.
    if (output_failure != 0) {
        std::fprintf(stderr, "\nkorvalen: can't write standard output: %s\n",
                     std::strerror(output_failure));
        status = OUTPUT_FAILED;
    } else if (platform_interrupted()) {
        status = INTERRUPTED;
    }
    std::exit(status);
}

void end_run_if_interrupted()
{
    if (platform_interrupted())
        exit_routine(INTERRUPTED);
}
