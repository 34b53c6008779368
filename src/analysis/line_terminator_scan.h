// Every carriage return and line feed of the sample, with the record count
// the file would have at each line's length.
#ifndef KORVALEN_LINE_TERMINATOR_SCAN_H
#define KORVALEN_LINE_TERMINATOR_SCAN_H

#include <cstdint>
#include <cstdio>

// Argument 2, when given, is the show limit. A quit key or passing the
// limit ends the run with NORMAL_EXIT; a sample without CR and LF goes on
// to the fixed-length analysis.
void scan_line_terminators(std::FILE* out, std::uint32_t valid_length, int argument_count,
                           char** arguments);

// Argument 2 read as the number of line feeds to show past the first, as
// atoi reads it where int and long are 32 bits.
std::int32_t show_limit_of(const char* argument);

#endif
