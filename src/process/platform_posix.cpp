#include "platform.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

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

void platform_guard_standard_streams()
{
    // Read-only, so that writing to a stream that was closed still fails
    // as it would have, and the report's loss is noticed.
    for (int fd = 0; fd <= 2; fd++) {
        if (fcntl(fd, F_GETFD) >= 0 || errno != EBADF)
            continue;
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

platform_file platform_open_own_program()
{
    // The link is the file that was started, wherever it was started from.
    return platform_open_read_only("/proc/self/exe");
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
