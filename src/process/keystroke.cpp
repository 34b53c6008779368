#include "keystroke.h"

#include "exit_routine.h"
#include "platform.h"

#include <cstdio>

int read_keystroke()
{
    // The prompt, and all before it, reaches the user before the wait.
    std::fflush(stderr);
    int key = platform_read_keystroke();
    end_run_if_interrupted();
    return key;
}
