// The box-drawn banner every run begins with.
#ifndef KORVALEN_BANNER_H
#define KORVALEN_BANNER_H

#include <cstdio>

// Writes blank lines up to line 30 of the screen, counting from lines_used,
// then the box. Returns lines_used plus the six box lines above the bottom
// border.
unsigned print_banner(std::FILE* stream, unsigned lines_used);

// Writes text centred in a field of width columns, without a line end.
// Returns the count of bytes written, negative when the write fails.
int print_centred(std::FILE* stream, const char* text, int width);

// Makes line (room for 77 bytes) an empty box line with text placed in its
// middle; odd lengths lean one column right. A text wider than the box's
// interior is cut rather than let it overwrite the sides.
void place_in_box(char* line, const char* text);

#endif
