// What the program knows of its input file. Set up once by the input
// sample, read by the analyses, released only by the end of the process.
#ifndef KORVALEN_INPUT_STATE_H
#define KORVALEN_INPUT_STATE_H

#include "platform.h"

#include <atomic>
#include <cstdint>

// The sample is the start of the file, filled by one read; only its first
// valid-length bytes are file data.
constexpr std::uint32_t SAMPLE_SIZE = 16000;

// Atomic because a Ctrl+C handler on a thread of its own may close it while
// the main thread ends the run too: it must be closed once.
extern std::atomic<platform_file> input_file;
extern std::int64_t file_size;
extern unsigned char* sample_buffer;

#endif
