// The few services korvalen needs from the operating system. Each platform has
// one source that provides them; nothing else in the program asks which
// platform it runs on.
#ifndef KORVALEN_PLATFORM_H
#define KORVALEN_PLATFORM_H

#include <cstdint>
#include <cstdio>

// Wide enough for a POSIX descriptor and for a Windows handle alike.
typedef std::intptr_t platform_file;
constexpr platform_file NO_FILE = -1;

// Standard input, output or error may be closed when the program starts;
// then a file opened later would take its number and be written to by
// accident. Call before anything is opened.
void platform_guard_standard_streams();

// Opens an existing file for reading only. A directory, or anything else
// that cannot be read as a file, gives NO_FILE. An open that waits (a FIFO
// without a writer) gives NO_FILE too when Ctrl+C breaks off the wait.
platform_file platform_open_read_only(const char* name);

// Opens the program's own executable file for reading, or gives NO_FILE.
platform_file platform_open_own_program();

// Size of the whole file in bytes; 0 when the query fails or the object
// has no size (a pipe, a device).
std::int64_t platform_file_size(platform_file file);

// Reads at most count bytes from the current position. Returns the count
// delivered, 0 when the read fails. Ctrl+C breaks off a wait for input
// (a pipe, a device), and where the platform cannot take a read back, the
// read goes on into buffer behind the caller's back: for a file that may
// keep it waiting, buffer must live as long as the process.
std::uint32_t platform_read(platform_file file, void* buffer, std::uint32_t count);

void platform_close(platform_file file);

// Catches Ctrl+C. The handler only records it and wakes a wait for the
// input file or a keystroke; a write under way goes on to its end, so
// nothing handed to a stream is lost. The program asks
// platform_interrupted at the points where it can stop. A second Ctrl+C
// ends the process at once, as if it were not caught: the way out of a run
// held up for good by a pipe that nobody reads.
void platform_catch_interrupt();

bool platform_interrupted();

// One keystroke from standard input: a byte value, or EOF at the end of
// input. Returns EOF at once when an interrupt arrives while it waits.
int platform_read_keystroke();

bool platform_is_terminal(std::FILE* stream);

// Writes text of code page 437 as the console behind stream shows it.
// Returns the count of bytes written, negative when the write fails.
int platform_write_cp437(std::FILE* stream, const char* text);

#endif
