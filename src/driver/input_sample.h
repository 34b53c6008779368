// Opens the input file and takes the sample that every analysis works on.
#ifndef KORVALEN_INPUT_SAMPLE_H
#define KORVALEN_INPUT_SAMPLE_H

#include "../process/platform.h"

#include <cstdint>

// Returns only when the file is open and its size known; otherwise says so
// and ends the run with INPUT_FILE.
void open_input(const char* file_name);

// Returns only when the sample buffer exists; otherwise ends the run with
// INSUFFICIENT_MEMORY.
void allocate_sample();

// One read from the start of the file. Returns the valid length: the count
// of bytes delivered, 0 when the read fails.
std::uint32_t read_sample(platform_file file, unsigned char* buffer, std::uint32_t count);

#endif
