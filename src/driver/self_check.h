// The program's check of its own executable file.
#ifndef KORVALEN_SELF_CHECK_H
#define KORVALEN_SELF_CHECK_H

// Returns when the executable is intact; otherwise says so and ends the
// process.
void check_program_file();

#endif
