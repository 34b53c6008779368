// The one way a run ends once it is under way.
#ifndef KORVALEN_EXIT_ROUTINE_H
#define KORVALEN_EXIT_ROUTINE_H

enum exit_status {
    NORMAL_EXIT = 0,
    USER_ABORTED = 1,
    INPUT_FILE = 2,      // the input file cannot be opened; the help screen
    INTERRUPTED = 2,     // Ctrl+C: the interrupt signal's number
    PROGRAM_DAMAGED = 3, // the program's own file fails its check
    OUTPUT_FAILED = 4,   // the field report could not be written
    INSUFFICIENT_MEMORY = 6,
};

// Closes the input file if it is open and ends the process, flushing both
// standard streams. A run whose standard output could not be written says
// why and ends with OUTPUT_FAILED; any other run that Ctrl+C reached ends
// with INTERRUPTED; the rest end with status.
[[noreturn]] void exit_routine(int status);

// Ends the run through the exit routine once Ctrl+C has come; returns
// otherwise. Called wherever the run can stop.
void end_run_if_interrupted();

// Writes out what standard output holds. A failure is kept and reported
// when the run ends.
void flush_standard_output();

#endif
