// The program's check of itself: the code and read-only data it runs with
// must digest to what the build sealed into it.
#ifndef KORVALEN_SELF_CHECK_H
#define KORVALEN_SELF_CHECK_H

// The check runs on its own before main; this compares its outcome with
// the seal a second time, so that one damaged branch cannot let a damaged
// program run. Returns when the program is intact, or when the system
// gives it no way to examine itself (then the check said so in one line).
// Otherwise says the program is damaged and ends the run with
// PROGRAM_DAMAGED.
void check_program_file();

#endif
