#include "keystroke.h"

#include "exit_routine.h"
#include "platform.h"

int read_keystroke()
{
    int key = platform_read_keystroke();
    if (platform_interrupted())
        exit_routine(INPUT_FILE);
    return key;
}
