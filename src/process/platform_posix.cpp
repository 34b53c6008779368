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

// The handler writes a byte here so that a keystroke wait wakes up even when
// the signal lands just before it starts waiting.
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
    int fd = open(name, O_RDONLY | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return NO_FILE;
    struct stat status;
    if (fstat(fd, &status) != 0 || S_ISDIR(status.st_mode)) {
        close(fd);
        return NO_FILE;
    }
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

constexpr int FAULT_SIGNALS[] = {SIGSEGV, SIGBUS, SIGILL, SIGFPE, SIGTRAP, SIGVTALRM};
struct sigaction handling_before_faults[std::size(FAULT_SIGNALS)];
// Damaged code may have lost the stack pointer; the handler runs on a
// stack of its own.
alignas(16) char fault_stack[64 * 1024];
stack_t stack_before_faults;
struct itimerval alarm_before_faults;
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
    sigemptyset(&action.sa_mask);
    for (std::size_t i = 0; i < std::size(FAULT_SIGNALS); i++)
        sigaction(FAULT_SIGNALS[i], &action, &handling_before_faults[i]);
    // Processor time, not time on the clock: a busy machine slows the
    // check down, but it cannot make it use more.
    struct itimerval limit = {{0, 0}, {2, 0}};
    setitimer(ITIMER_VIRTUAL, &limit, &alarm_before_faults);
}

void platform_restore_fault_handling()
{
    if (!treating_faults)
        return;
    treating_faults = false;
    setitimer(ITIMER_VIRTUAL, &alarm_before_faults, nullptr);
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
    while (delivered < count) {
        ssize_t got = read(descriptor_of(file), into + delivered, count - delivered);
        if (got > 0) {
            delivered += static_cast<std::uint32_t>(got);
            continue;
        }
        if (got < 0 && errno == EINTR && !interrupt_received)
            continue;
        break;
    }
    return delivered;
}

void platform_close(platform_file file)
{
    close(descriptor_of(file));
}

void platform_catch_interrupt(void (*)(int))
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
    // No SA_RESTART: a blocked read must return so that the run can end.
    action.sa_flags = 0;
    sigaction(SIGINT, &action, nullptr);
}

bool platform_interrupted()
{
    return interrupt_received != 0;
}

void platform_end_process(int status)
{
    _exit(status);
}

int platform_read_keystroke()
{
    struct pollfd waiting[2] = {{0, POLLIN, 0}, {interrupt_pipe[0], POLLIN, 0}};
    while (!interrupt_received) {
        int ready = poll(waiting, interrupt_pipe[0] >= 0 ? 2 : 1, -1);
        if (ready > 0 && waiting[0].revents != 0)
            break;
        if (ready < 0 && errno != EINTR)
            break;
    }
    if (interrupt_received)
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
