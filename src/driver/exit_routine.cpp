#include "exit_routine.h"

#include "input_state.h"
#include "platform.h"

#include <cstdlib>

void exit_routine(int status)
{
    if (platform_interrupted())
        status = INPUT_FILE;
    if (input_file != NO_FILE) {
        platform_close(input_file);
        input_file = NO_FILE;
    }
    std::exit(status);
}
