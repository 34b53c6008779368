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
// that cannot be read as a file, gives NO_FILE.
platform_file platform_open_read_only(const char* name);

// Where the loader laid out the program's own module in memory: the
// address of the first byte of its file, the header, or nullptr where the
// system cannot say. Needs no file system: it works without /proc, for a
// program the user may only execute, and for one started by its loader.
const unsigned char* platform_own_image();

// From now until platform_restore_fault_handling, a fault of the program's
// own code (a bad address or instruction), or a loop that runs away with
// seconds of processor time, writes message to standard error and ends
// the process with status at once. For the self-check, whose code may be
// what is damaged. A later call changes only the message and status.
void platform_treat_faults_as(const char* message, int status);
void platform_restore_fault_handling();

// Size of the whole file in bytes; 0 when the query fails or the object
// has no size (a pipe, a device).
std::int64_t platform_file_size(platform_file file);

// Reads at most count bytes from the current position. Returns the count
// delivered, 0 when the read fails.
std::uint32_t platform_read(platform_file file, void* buffer, std::uint32_t count);

void platform_close(platform_file file);

// Catches Ctrl+C. Where the platform can end the process safely from the
// handler it calls end_run with the signal's number; elsewhere the handler
// only records the interrupt, and the program acts on it at the next
// keystroke or when it ends.
void platform_catch_interrupt(void (*end_run)(int status));

bool platform_interrupted();

// Ends the process with status at once: no exit handlers, no flushing.
[[noreturn]] void platform_end_process(int status);

// One keystroke from standard input: a byte value, or EOF at the end of
// input. Returns EOF at once when an interrupt arrives while it waits.
int platform_read_keystroke();

bool platform_is_terminal(std::FILE* stream);

// Writes text of code page 437 as the console behind stream shows it.
// Returns the count of bytes written, negative when the write fails.
int platform_write_cp437(std::FILE* stream, const char* text);

#endif
