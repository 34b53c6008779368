// The program's check of its own executable file.
#ifndef KORVALEN_SELF_CHECK_H
#define KORVALEN_SELF_CHECK_H

// Returns when the program's own file is intact: its checksum matches the
// seal the build wrote into it. Otherwise says so and ends the run with
// PROGRAM_DAMAGED.
void check_program_file();

#endif
