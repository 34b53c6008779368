#include "platform.h"

#include <cctype>
#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#if defined(__GLIBC__)
#include <malloc.h>
#endif
#include <poll.h>
#include <pthread.h>
#include <string>
#include <sys/ioctl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>
#include <vector>

namespace
{

volatile std::sig_atomic_t interrupt_received = 0;

// The handler writes a byte here so that a wait for input wakes up even
// when the signal lands just before it starts waiting.
int interrupt_pipe[2] = {-1, -1};

// The code page 437 characters the banner draws with, as UTF-8, which is
// what a POSIX terminal almost always expects.
struct cp437_character {
    unsigned char byte;
    const char* utf8;
};

constexpr cp437_character BOX_CHARACTERS[] = {
    {0xBA, "\u2551"}, {0xBB, "\u2557"}, {0xBC, "\u255D"}, {0xC8, "\u255A"},
    {0xC9, "\u2554"}, {0xCD, "\u2550"}, {0xFB, "\u221A"},
};

const char* utf8_of(unsigned char byte)
{
    for (const cp437_character& character : BOX_CHARACTERS) {
        if (character.byte == byte)
            return character.utf8;
    }
    return nullptr;
}

int descriptor_of(platform_file file)
{
    return static_cast<int>(file);
}

void record_interrupt(int)
{
    // exit() is not safe here: the interrupted code may hold a stdio lock.
    int saved_errno = errno;
    interrupt_received = 1;
    char byte = 0;
    if (write(interrupt_pipe[1], &byte, 1) < 0) {
        // The pipe already holds a byte; the waiter wakes up all the same.
    }
    errno = saved_errno;
}

// GNU strerror_r gives back its text; the POSIX one fills the buffer.
[[maybe_unused]] const char* chosen_text(int result, const char* buffer)
{
    return result == 0 ? buffer : "unknown error";
}

[[maybe_unused]] const char* chosen_text(const char* result, const char*)
{
    return result;
}

const char* strerror_describe(int error, char* buffer, std::size_t size)
{
    buffer[0] = '\0';
    return chosen_text(strerror_r(error, buffer, size), buffer);
}

// Waits until descriptor has something to read, its end included. Returns
// false when Ctrl+C comes first. poll is never restarted after a signal,
// so the wait ends even though the handler asks for restarts.
bool wait_for_input(int descriptor)
{
    struct pollfd waiting[2] = {{descriptor, POLLIN, 0}, {interrupt_pipe[0], POLLIN, 0}};
    while (!interrupt_received) {
        int ready = poll(waiting, 2, -1);
        if (ready > 0 && waiting[0].revents != 0)
            return true;
        // What cannot be waited for is read at once.
        if (ready < 0 && errno != EINTR)
            return true;
    }
    return false;
}

void clear_nonblocking(int descriptor)
{
    int flags = fcntl(descriptor, F_GETFL);
    if (flags >= 0)
        fcntl(descriptor, F_SETFL, flags & ~O_NONBLOCK);
}

} // namespace

namespace
{
// Standard input that was closed at start is not the empty input that
// guards its number: reading it fails as reading a closed one does.
bool standard_input_closed = false;
} // namespace

void platform_guard_standard_streams()
{
    // Read-only, so that writing to a stream that was closed still fails
    // as it would have, and the report's loss is noticed.
    for (int fd = 0; fd <= 2; fd++) {
        if (fcntl(fd, F_GETFD) >= 0 || errno != EBADF)
            continue;
        standard_input_closed |= fd == 0;
        int null_fd = open("/dev/null", O_RDONLY);
        if (null_fd >= 0 && null_fd != fd)
            close(null_fd);
    }
}

platform_file platform_open_read_only(const char* name)
{
    // A FIFO without a writer would hold a plain open until one comes, and
    // the restarted open would go on waiting after Ctrl+C. Opened without
    // waiting, it waits in poll instead, for its writer's first bytes or
    // end, which is where a read would have waited next.
    int fd = open(name, O_RDONLY | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return NO_FILE;
    struct stat status;
    if (fstat(fd, &status) != 0 || S_ISDIR(status.st_mode) ||
        (S_ISFIFO(status.st_mode) && !wait_for_input(fd))) {
        close(fd);
        return NO_FILE;
    }
    clear_nonblocking(fd);
    return fd;
}

#if defined(__ELF__)
// The linker's name for the ELF header of the module it links, where that
// header is loaded; null where it is not.
extern "C" [[gnu::weak, gnu::visibility("hidden")]] const unsigned char __ehdr_start[];

const unsigned char* platform_own_image()
{
    return __ehdr_start;
}
#else
const unsigned char* platform_own_image()
{
    // Not an ELF system (macOS): nothing the check can read.
    return nullptr;
}
#endif

#include <iterator>
#include <sys/time.h>

namespace
{

constexpr int FAULT_SIGNALS[] = {SIGSEGV, SIGBUS, SIGILL, SIGFPE, SIGTRAP};
struct sigaction handling_before_faults[std::size(FAULT_SIGNALS)];
// Damaged code may have lost the stack pointer; the handler runs on a
// stack of its own.
alignas(16) char fault_stack[64 * 1024];
stack_t stack_before_faults;
bool treating_faults = false;
const char* fault_message = "";
int fault_status = 0;

void end_on_fault(int)
{
    if (write(2, fault_message, std::strlen(fault_message)) < 0) {
        // Nowhere to say it; the status tells.
    }
    _exit(fault_status);
}

} // namespace

void platform_treat_faults_as(const char* message, int status)
{
    fault_message = message;
    fault_status = status;
    if (treating_faults)
        return;
    treating_faults = true;
    stack_t stack = {};
    stack.ss_sp = fault_stack;
    stack.ss_size = sizeof fault_stack;
    sigaltstack(&stack, &stack_before_faults);
    struct sigaction action = {};
    action.sa_handler = end_on_fault;
    action.sa_flags = SA_ONSTACK;
    // The action starts zeroed: its mask is empty.
    for (std::size_t i = 0; i < std::size(FAULT_SIGNALS); i++)
        sigaction(FAULT_SIGNALS[i], &action, &handling_before_faults[i]);
}

void platform_restore_fault_handling()
{
    if (!treating_faults)
        return;
    treating_faults = false;
    for (std::size_t i = 0; i < std::size(FAULT_SIGNALS); i++)
        sigaction(FAULT_SIGNALS[i], &handling_before_faults[i], nullptr);
    sigaltstack(&stack_before_faults, nullptr);
}

std::int64_t platform_file_size(platform_file file)
{
    struct stat status;
    if (fstat(descriptor_of(file), &status) != 0 || !S_ISREG(status.st_mode))
        return 0;
    return status.st_size;
}

std::uint32_t platform_read(platform_file file, void* buffer, std::uint32_t count)
{
    // A pipe or a network file may deliver less than asked before its end;
    // reading on keeps the sample whole.
    char* into = static_cast<char*>(buffer);
    std::uint32_t delivered = 0;
    while (delivered < count && wait_for_input(descriptor_of(file))) {
        ssize_t got = read(descriptor_of(file), into + delivered, count - delivered);
        if (got > 0) {
            delivered += static_cast<std::uint32_t>(got);
            continue;
        }
        if (got < 0 && errno == EINTR)
            continue;
        break;
    }
    return delivered;
}

void platform_close(platform_file file)
{
    close(descriptor_of(file));
}

void platform_catch_interrupt()
{
    if (pipe(interrupt_pipe) == 0) {
        for (int fd : interrupt_pipe) {
            fcntl(fd, F_SETFD, FD_CLOEXEC);
            fcntl(fd, F_SETFL, O_NONBLOCK);
        }
    }
    struct sigaction action = {};
    action.sa_handler = record_interrupt;
    sigemptyset(&action.sa_mask);
    // A write that the signal breaks into goes on instead of failing, which
    // would make stdio drop a block of the report. The first signal puts
    // the default action back, so that a second one ends the process.
    action.sa_flags = SA_RESTART | SA_RESETHAND;
    sigaction(SIGINT, &action, nullptr);
}

void platform_end_process(int status)
{
    _exit(status);
}

bool platform_interrupted()
{
    return interrupt_received != 0;
}

int platform_read_keystroke()
{
    if (!wait_for_input(STDIN_FILENO))
        return EOF;
    return std::getchar();
}

bool platform_is_terminal(std::FILE* stream)
{
    return isatty(fileno(stream)) != 0;
}

// The first of LC_ALL, LC_CTYPE and LANG that is set names the
// character set, as "de_DE.UTF-8" or "C.utf8".
bool platform_terminal_shows_utf8(std::FILE* stream)
{
    if (!platform_is_terminal(stream))
        return false;
    for (const char* name : {"LC_ALL", "LC_CTYPE", "LANG"}) {
        const char* value = std::getenv(name);
        if (value == nullptr || *value == '\0')
            continue;
        std::string lower;
        for (const char* at = value; *at != '\0'; at++)
            lower += static_cast<char>(std::tolower(static_cast<unsigned char>(*at)));
        return lower.find("utf-8") != std::string::npos || lower.find("utf8") != std::string::npos;
    }
    return false;
}

int platform_write_cp437(std::FILE* stream, const char* text)
{
    // A file or a pipe gets the bytes as they are.
    if (!platform_is_terminal(stream))
        return std::fprintf(stream, "%s", text);
    int written = 0;
    for (const char* at = text; *at != '\0'; at++) {
        const char* utf8 = utf8_of(static_cast<unsigned char>(*at));
        int result = utf8 != nullptr ? std::fputs(utf8, stream) : std::fputc(*at, stream);
        if (result < 0)
            return -1;
        written += utf8 != nullptr ? static_cast<int>(std::strlen(utf8)) : 1;
    }
    return written;
}

int platform_last_error()
{
    return errno;
}

void platform_describe_error(int error, char* text, std::size_t size)
{
    // strerror's buffer is shared between threads; copy from the one the
    // thread-safe variant fills.
    char buffer[256];
    const char* description = strerror_describe(error, buffer, sizeof buffer);
    std::snprintf(text, size, "%s", description);
}

platform_file platform_open_any(const char* name)
{
    int fd;
    do {
        fd = open(name, O_RDONLY | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0)
        return NO_FILE;
    // Not blocking only for the open itself: a FIFO without a writer must
    // not hold the open up.
    int flags = fcntl(fd, F_GETFL);
    if (flags >= 0)
        fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
    return fd;
}

platform_file platform_standard_input()
{
    if (standard_input_closed) {
        errno = EBADF;
        return NO_FILE;
    }
    return 0;
}

bool platform_is_directory(const char* name)
{
    struct stat status;
    return stat(name, &status) == 0 && S_ISDIR(status.st_mode);
}

namespace
{

platform_entry_kind entry_kind(const std::string& path, int& error)
{
    struct stat status;
    error = 0;
    if (lstat(path.c_str(), &status) != 0) {
        error = errno;
        return platform_entry_kind::unreadable;
    }
    if (S_ISREG(status.st_mode))
        return platform_entry_kind::regular;
    if (S_ISDIR(status.st_mode))
        return platform_entry_kind::directory;
    if (S_ISLNK(status.st_mode))
        return platform_entry_kind::link;
    return platform_entry_kind::other;
}

} // namespace

bool platform_list_directory(const char* path,
                             void (*take)(void* context, const char* name, platform_entry_kind kind,
                                          int error),
                             void* context)
{
    DIR* directory = opendir(path);
    if (directory == nullptr)
        return false;
    std::string prefix = path;
    if (prefix.empty() || prefix.back() != '/')
        prefix += '/';
    for (;;) {
        errno = 0;
        const dirent* entry = readdir(directory);
        if (entry == nullptr)
            break;
        if (std::strcmp(entry->d_name, ".") == 0 || std::strcmp(entry->d_name, "..") == 0)
            continue;
        int error = 0;
        platform_entry_kind kind = entry_kind(prefix + entry->d_name, error);
        take(context, entry->d_name, kind, error);
    }
    int error = errno;
    closedir(directory);
    errno = error;
    return error == 0;
}

platform_file_kind platform_kind_of(platform_file file)
{
    struct stat status;
    if (fstat(descriptor_of(file), &status) != 0)
        return platform_file_kind::other;
    if (S_ISREG(status.st_mode))
        return platform_file_kind::regular;
    if (S_ISDIR(status.st_mode))
        return platform_file_kind::directory;
    if (S_ISFIFO(status.st_mode) || S_ISSOCK(status.st_mode))
        return platform_file_kind::pipe;
    if (S_ISCHR(status.st_mode) || S_ISBLK(status.st_mode))
        return platform_file_kind::device;
    return platform_file_kind::other;
}

bool platform_size_of(platform_file file, std::uint64_t& size)
{
    struct stat status;
    if (fstat(descriptor_of(file), &status) != 0 || !S_ISREG(status.st_mode))
        return false;
    size = static_cast<std::uint64_t>(status.st_size);
    return true;
}

std::int64_t platform_read_at(platform_file file, std::uint64_t offset, void* buffer,
                              std::size_t count)
{
    char* into = static_cast<char*>(buffer);
    std::size_t delivered = 0;
    while (delivered < count) {
        ssize_t got = pread(descriptor_of(file), into + delivered, count - delivered,
                            static_cast<off_t>(offset + delivered));
        if (got > 0) {
            delivered += static_cast<std::size_t>(got);
            continue;
        }
        if (got == 0)
            break;
        if (errno != EINTR)
            return -1;
    }
    return static_cast<std::int64_t>(delivered);
}

namespace
{

// The view this thread holds, for the handler of a page the file lost.
thread_local const unsigned char* view_start = nullptr;
thread_local std::size_t view_length = 0;
thread_local bool view_lost = false;
std::uintptr_t view_page_size = 4096;
struct sigaction handling_before_views;
bool views_guarded = false;
pthread_once_t views_guard_once = PTHREAD_ONCE_INIT;

// A read of a mapped page past the file's end raises SIGBUS. Inside this
// thread's view the page is given zeros and the read goes on, so that the
// checker finishes its window and the caller reports the file shrank; any
// other fault goes back to what handled it before, where it recurs.
void zero_lost_page(int, siginfo_t* info, void*)
{
    auto* address = static_cast<const unsigned char*>(info->si_addr);
    bool ours =
        view_start != nullptr && address >= view_start && address < view_start + view_length;
    if (ours) {
        auto page = reinterpret_cast<std::uintptr_t>(address) & ~(view_page_size - 1);
        void* zeros = mmap(reinterpret_cast<void*>(page), view_page_size, PROT_READ,
                           MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED, -1, 0);
        if (zeros != MAP_FAILED) {
            view_lost = true;
            return;
        }
    }
    sigaction(SIGBUS, &handling_before_views, nullptr);
}

void guard_views()
{
    long page = sysconf(_SC_PAGESIZE);
    if (page > 0)
        view_page_size = static_cast<std::uintptr_t>(page);
    struct sigaction action = {};
    action.sa_sigaction = zero_lost_page;
    action.sa_flags = SA_SIGINFO;
    views_guarded = sigaction(SIGBUS, &action, &handling_before_views) == 0;
}

// Pages already in the cache are entered into the view at once rather than
// one fault at a time.
#ifdef MAP_POPULATE
constexpr int VIEW_FLAGS = MAP_PRIVATE | MAP_POPULATE;
#else
constexpr int VIEW_FLAGS = MAP_PRIVATE;
#endif

} // namespace

const unsigned char* platform_map_view(platform_file file, std::uint64_t offset, std::size_t length)
{
    pthread_once(&views_guard_once, guard_views);
    if (!views_guarded || length == 0)
        return nullptr;
    void* view = mmap(nullptr, length, PROT_READ, VIEW_FLAGS, descriptor_of(file),
                      static_cast<off_t>(offset));
    if (view == MAP_FAILED)
        return nullptr;
    view_lost = false;
    view_length = length;
    view_start = static_cast<const unsigned char*>(view);
    return view_start;
}

void platform_unmap_view(const unsigned char* view, std::size_t length)
{
    if (view == view_start)
        view_start = nullptr;
    munmap(const_cast<unsigned char*>(view), length);
}

std::size_t platform_view_alignment()
{
    pthread_once(&views_guard_once, guard_views);
    return view_page_size;
}

bool platform_view_lost_pages()
{
    return view_lost;
}

std::int64_t platform_read_stream(platform_file file, void* buffer, std::size_t count)
{
    char* into = static_cast<char*>(buffer);
    std::size_t delivered = 0;
    while (delivered < count) {
        // Ctrl+C must not wait for input that may never come.
        if (!wait_for_input(descriptor_of(file)))
            break;
        ssize_t got = read(descriptor_of(file), into + delivered, count - delivered);
        if (got > 0) {
            delivered += static_cast<std::size_t>(got);
            continue;
        }
        if (got == 0)
            break;
        if (errno != EINTR && errno != EAGAIN)
            return -1;
    }
    return static_cast<std::int64_t>(delivered);
}

platform_file platform_open_temporary(char* where, std::size_t size)
{
    const char* folder = std::getenv("TMPDIR");
    if (folder == nullptr || folder[0] == '\0')
        folder = "/tmp";
    std::snprintf(where, size, "%s", folder);
    std::string name = std::string(folder) + "/korvalen-XXXXXX";
    int fd = mkstemp(name.data());
    if (fd < 0)
        return NO_FILE;
    // Unlinked at once: no name is left behind, however the run ends.
    unlink(name.c_str());
    fcntl(fd, F_SETFD, FD_CLOEXEC);
    return fd;
}

bool platform_write_all(platform_file file, const void* buffer, std::size_t count)
{
    const char* from = static_cast<const char*>(buffer);
    while (count > 0) {
        ssize_t put = write(descriptor_of(file), from, count);
        if (put > 0) {
            from += put;
            count -= static_cast<std::size_t>(put);
        } else if (put == 0) {
            errno = ENOSPC;
            return false;
        } else if (errno != EINTR) {
            return false;
        }
    }
    return true;
}

unsigned platform_processor_count()
{
    long online = sysconf(_SC_NPROCESSORS_ONLN);
    return online > 0 ? static_cast<unsigned>(online) : 1;
}

void platform_run_workers(unsigned count, void (*work)(void* context, unsigned worker),
                          void* context)
{
    struct worker_start {
        void (*work)(void*, unsigned);
        void* context;
        unsigned worker;
    };
    auto run = [](void* start) -> void* {
        auto* given = static_cast<worker_start*>(start);
        given->work(given->context, given->worker);
        return nullptr;
    };
    std::vector<worker_start> starts(count);
    std::vector<pthread_t> threads(count);
    std::vector<bool> started(count, false);
    for (unsigned worker = 1; worker < count; worker++) {
        starts[worker] = {work, context, worker};
        started[worker] = pthread_create(&threads[worker], nullptr, run, &starts[worker]) == 0;
    }
    // A thread that could not be started leaves its share to this one.
    if (count > 0)
        work(context, 0);
    for (unsigned worker = 1; worker < count; worker++) {
        if (started[worker])
            pthread_join(threads[worker], nullptr);
        else
            work(context, worker);
    }
}

struct platform_thread {
    pthread_t thread;
    void (*work)(void*);
    void* context;
};

platform_thread* platform_start_thread(void (*work)(void* context), void* context)
{
    auto* made = new platform_thread{pthread_t{}, work, context};
    auto run = [](void* start) -> void* {
        auto* given = static_cast<platform_thread*>(start);
        given->work(given->context);
        return nullptr;
    };
    if (pthread_create(&made->thread, nullptr, run, made) == 0)
        return made;
    delete made;
    return nullptr;
}

void platform_join_thread(platform_thread* thread)
{
    pthread_join(thread->thread, nullptr);
    delete thread;
}

int platform_terminal_width(std::FILE* stream)
{
    struct winsize size;
    if (!platform_is_terminal(stream) || ioctl(fileno(stream), TIOCGWINSZ, &size) != 0)
        return 0;
    return size.ws_col;
}

struct platform_mutex {
    pthread_mutex_t mutex = PTHREAD_MUTEX_INITIALIZER;
};

platform_mutex* platform_new_mutex()
{
    return new platform_mutex;
}

void platform_delete_mutex(platform_mutex* mutex)
{
    delete mutex;
}

void platform_lock(platform_mutex* mutex)
{
    pthread_mutex_lock(&mutex->mutex);
}

void platform_unlock(platform_mutex* mutex)
{
    pthread_mutex_unlock(&mutex->mutex);
}

struct platform_condition {
    pthread_cond_t condition;
};

platform_condition* platform_new_condition()
{
    auto* made = new platform_condition;
    pthread_condattr_t attributes;
    pthread_condattr_init(&attributes);
    // A wait measured on the wall clock would stretch when the clock is set.
    pthread_condattr_setclock(&attributes, CLOCK_MONOTONIC);
    pthread_cond_init(&made->condition, &attributes);
    pthread_condattr_destroy(&attributes);
    return made;
}

void platform_delete_condition(platform_condition* condition)
{
    pthread_cond_destroy(&condition->condition);
    delete condition;
}

void platform_wait(platform_condition* condition, platform_mutex* mutex, unsigned milliseconds)
{
    struct timespec until;
    clock_gettime(CLOCK_MONOTONIC, &until);
    until.tv_sec += static_cast<time_t>(milliseconds / 1000);
    until.tv_nsec += static_cast<long>(milliseconds % 1000) * 1000000L;
    if (until.tv_nsec >= 1000000000L) {
        until.tv_sec++;
        until.tv_nsec -= 1000000000L;
    }
    pthread_cond_timedwait(&condition->condition, &mutex->mutex, &until);
}

void platform_notify_all(platform_condition* condition)
{
    pthread_cond_broadcast(&condition->condition);
}

void platform_sleep(unsigned milliseconds)
{
    struct timespec wait = {static_cast<time_t>(milliseconds / 1000),
                            static_cast<long>(milliseconds % 1000) * 1000000L};
    nanosleep(&wait, nullptr);
}

void platform_write_binary()
{
    // POSIX streams never translate line ends.
}

void platform_keep_freed_memory()
{
#if defined(__GLIBC__)
    // Blocks below this come from the heap, not a mapping of their own
    // that is unmapped when freed; and the heap is not trimmed while less
    // than this is free at its top.
    constexpr int HEAP_BLOCKS_UP_TO = 32 << 20;
    constexpr int TRIM_ABOVE = 256 << 20;
    // The heap is grown at once by this much, all of it in reach of large
    // pages: a first touch of a small page is a trip to the kernel (on a
    // virtual machine, to the hypervisor too) that costs as much as
    // surveying tens of KiB, and a survey touches a few MiB afresh.
    constexpr int HEAP_STEP = 64 << 20;
    constexpr std::uintptr_t LARGE_PAGE = std::uintptr_t{2} << 20;
    mallopt(M_MMAP_THRESHOLD, HEAP_BLOCKS_UP_TO);
    mallopt(M_TRIM_THRESHOLD, TRIM_ABOVE);
    // Every thread allocates from that one heap, not an arena of its own
    // in fresh pages.
    mallopt(M_ARENA_MAX, 1);
    mallopt(M_TOP_PAD, HEAP_STEP);
    void* first = std::malloc(HEAP_BLOCKS_UP_TO / 2);
    if (first == nullptr)
        return;
    auto from = (reinterpret_cast<std::uintptr_t>(first) + LARGE_PAGE - 1) & ~(LARGE_PAGE - 1);
    std::free(first);
    auto to = reinterpret_cast<std::uintptr_t>(sbrk(0)) & ~(LARGE_PAGE - 1);
    // Only advice: where large pages are off, small ones serve.
    if (to > from)
        madvise(reinterpret_cast<void*>(from), to - from, MADV_HUGEPAGE);
#endif
}
