// The one way a run ends once it is under way.
#ifndef KORVALEN_EXIT_ROUTINE_H
#define KORVALEN_EXIT_ROUTINE_H

enum exit_status {
    NORMAL_EXIT = 0,
    USER_ABORTED = 1,
    INPUT_FILE = 2,      // also Ctrl+C: the interrupt signal's number
    PROGRAM_DAMAGED = 3, // the program's own file fails its check
    OUTPUT_FAILED = 4,   // the field report could not be written
    INSUFFICIENT_MEMORY = 6,
};

// Closes the input file if it is open and ends the process with status,
// flushing both standard streams. A run interrupted by Ctrl+C ends with
// INPUT_FILE whatever status it was about to end with; any other run whose
// standard output could not be written says so and ends with
// OUTPUT_FAILED.
[[noreturn]] void exit_routine(int status);

// The same end, for a Ctrl+C handler that runs on a thread of its own while
// the main thread may be waiting for a keystroke: it flushes the two
// output streams itself and ends the process without the runtime's exit,
// which would wait for the lock that the waiting read holds on standard
// input.
[[noreturn]] void exit_routine_at_once(int status);

#endif
