// The one way a run ends once it is under way.
#ifndef KORVALEN_EXIT_ROUTINE_H
#define KORVALEN_EXIT_ROUTINE_H

// Every status korvalen ends with. The classic mode's and the survey's
// share their numbers, so several names stand for one value: the name
// says why the run ended, the value is what a script sees.
enum exit_status : int {
    NORMAL_EXIT = 0,
    // The survey: every file surveyed (and verified without anomaly).
    ALL_SURVEYED = NORMAL_EXIT,
    USER_ABORTED = 1, // ESC or Ctrl+C typed at a prompt
    // --verify found records that break the layout.
    ANOMALIES_FOUND = 1,
    INPUT_FILE = 2, // the input file cannot be opened; the help screen
    // A bad option or no file named ends as a file that cannot be opened.
    USAGE_ERROR = INPUT_FILE,
    // A file of the survey could not be opened or read.
    FILE_UNREADABLE = INPUT_FILE,
    INTERRUPTED = 2,     // Ctrl+C: the interrupt signal's number
    PROGRAM_DAMAGED = 3, // the program's own file fails its check
    OUTPUT_FAILED = 4,   // the field report or survey could not be written
    INSUFFICIENT_MEMORY = 6,
};

// Closes the input file if it is open and ends the process, flushing both
// standard streams. A run whose standard output could not be written says
// why and ends with OUTPUT_FAILED; any other run that Ctrl+C reached ends
// with INTERRUPTED; the rest end with status.
[[noreturn]] void exit_routine(exit_status status);

// Ends the run through the exit routine once Ctrl+C has come; returns
// otherwise. Called wherever the run can stop.
void end_run_if_interrupted();

// Writes out what standard output holds. A failure is kept and reported
// when the run ends.
void flush_standard_output();

#endif
