// The natural logarithm and the log of the gamma function, for the
// survey's weighing of evidence. Written here rather than taken from the
// maths library, which would add a shared library to load at every start
// of the program for two functions.
#ifndef KORVALEN_SMALL_MATH_H
#define KORVALEN_SMALL_MATH_H

// For x > 0, to about twelve significant digits.
double natural_log(double x);

// ln Γ(x) for x > 0, to about ten significant digits.
double log_gamma(double x);

#endif
