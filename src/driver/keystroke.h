// Every prompt of the program reads its answer here.
#ifndef KORVALEN_KEYSTROKE_H
#define KORVALEN_KEYSTROKE_H

// One character from standard input, or EOF at its end. Ctrl+C while the
// prompt waits ends the run here, with the interrupt's status.
int read_keystroke();

#endif
