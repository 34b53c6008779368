// The two bytes that end lines, compared as unsigned bytes.
#ifndef KORVALEN_LINE_ENDS_H
#define KORVALEN_LINE_ENDS_H

constexpr unsigned char CR = 0x0D;
constexpr unsigned char LF = 0x0A;

#endif
