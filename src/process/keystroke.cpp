#include "keystroke.h"

#include "exit_routine.h"
#include "platform.h"

int read_keystroke()
{
    int key = platform_read_keystroke();
    end_run_if_interrupted();
    return key;
}
