// The few services korvalen needs from the operating system. Each platform has
// one source that provides them; nothing else in the program asks which
// platform it runs on.
#ifndef KORVALEN_PLATFORM_H
#define KORVALEN_PLATFORM_H

#include <cstddef>
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

// Where the loader laid out the program's own module in memory: the
// address of the first byte of its file, the header, or nullptr where the
// system cannot say. Needs no file system: it works without /proc, for a
// program the user may only execute, and for one started by its loader.
const unsigned char* platform_own_image();

// From now until platform_restore_fault_handling, a fault of the program's
// own code (a bad address or instruction) writes message to standard error
// and ends the process with status at once. For the self-check, whose code may be
// what is damaged. A later call changes only the message and status.
void platform_treat_faults_as(const char* message, int status);
void platform_restore_fault_handling();

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

// Ends the process with status at once: no exit handlers, no flushing.
[[noreturn]] void platform_end_process(int status);

// One keystroke from standard input: a byte value, or EOF at the end of
// input. Returns EOF at once when an interrupt arrives while it waits.
int platform_read_keystroke();

bool platform_is_terminal(std::FILE* stream);

// Whether stream is a terminal that shows UTF-8: as the locale's
// variables name the character set on POSIX, by the console's output code
// page on Windows.
bool platform_terminal_shows_utf8(std::FILE* stream);

// Writes text of code page 437 as the console behind stream shows it.
// Returns the count of bytes written, negative when the write fails.
int platform_write_cp437(std::FILE* stream, const char* text);

// What the survey reads, maps and runs in parallel. Files opened for it
// are the same handles as the input file's; every call may run on any
// thread.

enum class platform_file_kind { regular, directory, pipe, device, other };

// The reason of the last failed call on this thread, as the system words
// it, for a message of the form "korvalen: NAME: reason".
int platform_last_error();
void platform_describe_error(int error, char* text, std::size_t size);

// Opens for reading only; a directory opens too, so that its kind can be
// told. NO_FILE when it cannot be opened (then platform_last_error says
// why).
platform_file platform_open_any(const char* name);

// NO_FILE when the program started without standard input.
platform_file platform_standard_input();

platform_file_kind platform_kind_of(platform_file file);

// The file's size; false for an object that has none (a pipe, a device).
bool platform_size_of(platform_file file, std::uint64_t& size);

// Reads up to count bytes from offset, going on after short reads until
// count or the end of the file. Returns the count read, -1 on failure.
std::int64_t platform_read_at(platform_file file, std::uint64_t offset, void* buffer,
                              std::size_t count);

// A read-only view of length bytes of the file from offset, a multiple of
// platform_view_alignment(): the file's pages in place, not copied.
// nullptr where the system cannot map them; the caller reads instead. A
// thread holds one view at a time. A page the file no longer backs when
// it is read (the file shrank since it was mapped) reads as zeros, and
// platform_view_lost_pages says so, where a plain mapping would end the
// process.
const unsigned char* platform_map_view(platform_file file, std::uint64_t offset,
                                       std::size_t length);
void platform_unmap_view(const unsigned char* view, std::size_t length);
std::size_t platform_view_alignment();
// Whether the view this thread last mapped lost pages; asked before it is
// unmapped, once its bytes have been read.
bool platform_view_lost_pages();

// Reads up to count bytes from the current position of a stream, going on
// after short reads. Returns the count read (less only at its end or after
// Ctrl+C), -1 on failure.
std::int64_t platform_read_stream(platform_file file, void* buffer, std::size_t count);

// What a directory holds, as a walk that follows no link sees it.
enum class platform_entry_kind { regular, directory, link, other, unreadable };

// Whether name, links followed, is a directory.
bool platform_is_directory(const char* name);

// Calls take(context, name, kind, error) for each entry of the directory
// path but "." and "..", in the order the system lists them; error is the
// reason an entry's kind could not be told (it vanished), 0 otherwise.
// Returns false when the directory cannot be listed (to its end): then
// platform_last_error says why.
bool platform_list_directory(const char* path,
                             void (*take)(void* context, const char* name, platform_entry_kind kind,
                                          int error),
                             void* context);

// A new file for reading and writing that nobody else can open and that
// the system removes when it is closed, or when the process ends however it
// ends: room to keep a stream that must be read more than once. where gets
// the folder it is made in (for a message); NO_FILE when it cannot be made
// (then platform_last_error says why).
platform_file platform_open_temporary(char* where, std::size_t size);

// Writes count bytes at the current position, going on after short
// writes. False when the write fails (a full disk), with
// platform_last_error set.
bool platform_write_all(platform_file file, const void* buffer, std::size_t count);

unsigned platform_processor_count();

// Runs work(context, i) for every i below count, each on a thread of its
// own (the calling thread takes one), and returns when all have returned.
void platform_run_workers(unsigned count, void (*work)(void* context, unsigned worker),
                          void* context);

// One thread beside the others, running work(context); null when the
// system would not start it.
struct platform_thread;
platform_thread* platform_start_thread(void (*work)(void* context), void* context);
// Waits for the thread to return, and forgets it.
void platform_join_thread(platform_thread* thread);

// Columns of the terminal behind stream, 0 when it is not a terminal.
int platform_terminal_width(std::FILE* stream);

// A lock that the threads of platform_run_workers share.
struct platform_mutex;
platform_mutex* platform_new_mutex();
void platform_delete_mutex(platform_mutex* mutex);
void platform_lock(platform_mutex* mutex);
void platform_unlock(platform_mutex* mutex);

// A condition those threads wait on under a lock. MinGW's default thread
// model (win32) has no std::thread nor std::condition_variable, so the
// survey's pool waits on these instead.
struct platform_condition;
platform_condition* platform_new_condition();
void platform_delete_condition(platform_condition* condition);
// Waits, the mutex locked, until notified or milliseconds have passed (a
// wake-up may also come for no reason: test the predicate again).
void platform_wait(platform_condition* condition, platform_mutex* mutex, unsigned milliseconds);
void platform_notify_all(platform_condition* condition);

void platform_sleep(unsigned milliseconds);

// Standard output and error write their bytes as they are, with no line
// end translated, so that the survey's output is the same everywhere.
void platform_write_binary();

// Memory freed is kept for the next allocation rather than given back to
// the system: a run that surveys many files allocates and frees the same
// few MiB for each, and fresh pages from the system cost more than the
// work done in them. Where the system has large pages, the memory is
// asked for in them, for the same reason.
void platform_keep_freed_memory();

#endif
