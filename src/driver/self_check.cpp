#include "self_check.h"

void check_program_file()
{
    // The executable is not sealed yet, so there is nothing to compare.
}
