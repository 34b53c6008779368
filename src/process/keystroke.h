// Every prompt of the program reads its answer here.
#ifndef KORVALEN_KEYSTROKE_H
#define KORVALEN_KEYSTROKE_H

// Keys the prompts compare against, as character codes.
constexpr int KEY_CTRL_C = 3; // Ctrl+C that arrives as a character
constexpr int KEY_ESCAPE = 27;

// One character from standard input, or EOF at its end. Ctrl+C while the
// prompt waits ends the run here, with the interrupt's status.
int read_keystroke();

#endif
