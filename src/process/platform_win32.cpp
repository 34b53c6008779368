#include "platform.h"

#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <io.h>
#include <vector>
#include <windows.h>

// The command line names files as typed: "korvalen *.dat" opens *.dat and
// does not run on whatever the wildcard would match.
extern "C" {
int _dowildcard = 0;
}

namespace
{

void (*end_run_on_interrupt)(int status) = nullptr;

HANDLE handle_of(platform_file file)
{
    return reinterpret_cast<HANDLE>(file);
}

// The console calls this on a thread of its own; the main thread may be
// blocked in getchar, holding the lock of standard input.
void on_interrupt(int signal_number)
{
    end_run_on_interrupt(signal_number);
}

} // namespace

void platform_guard_standard_streams()
{
    // Files are opened as Win32 handles, never as runtime descriptors, so
    // the input file cannot take the place of a closed standard stream.
}

platform_file platform_open_read_only(const char* name)
{
    // Others may read the file meanwhile, but not write or delete it. A
    // directory does not open this way.
    HANDLE file = CreateFileA(name, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_READONLY, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return NO_FILE;
    return reinterpret_cast<platform_file>(file);
}

platform_file platform_open_own_program()
{
    char path[MAX_PATH];
    DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return NO_FILE;
    return platform_open_read_only(path);
}

std::int64_t platform_file_size(platform_file file)
{
    BY_HANDLE_FILE_INFORMATION information;
    if (!GetFileInformationByHandle(handle_of(file), &information))
        return 0;
    return static_cast<std::int64_t>(information.nFileSizeHigh) << 32 | information.nFileSizeLow;
}

std::uint32_t platform_read(platform_file file, void* buffer, std::uint32_t count)
{
    DWORD delivered = 0;
    if (!ReadFile(handle_of(file), buffer, count, &delivered, nullptr))
        return 0;
    return delivered;
}

void platform_close(platform_file file)
{
    CloseHandle(handle_of(file));
}

void platform_catch_interrupt(void (*end_run)(int status))
{
    end_run_on_interrupt = end_run;
    std::signal(SIGINT, on_interrupt);
}

bool platform_interrupted()
{
    // The handler ends the process itself.
    return false;
}

void platform_end_process(int status)
{
    // ExitProcess would run the runtime's detach code, which can wait for
    // the lock of standard input that a blocked getchar holds.
    TerminateProcess(GetCurrentProcess(), static_cast<UINT>(status));
    for (;;) {
    }
}

int platform_read_keystroke()
{
    return std::getchar();
}

bool platform_is_terminal(std::FILE* stream)
{
    return _isatty(_fileno(stream)) != 0;
}

int platform_write_cp437(std::FILE* stream, const char* text)
{
    // The console shows code page 437 as it is.
    return std::fprintf(stream, "%s", text);
}

int platform_last_error()
{
    return static_cast<int>(GetLastError());
}

void platform_describe_error(int error, char* text, std::size_t size)
{
    DWORD length =
        FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                       static_cast<DWORD>(error), 0, text, static_cast<DWORD>(size), nullptr);
    // The system's texts end in a full stop and a line break.
    while (length > 0 && (text[length - 1] == '\r' || text[length - 1] == '\n' ||
                          text[length - 1] == '.' || text[length - 1] == ' '))
        text[--length] = '\0';
    if (length == 0)
        std::snprintf(text, size, "error %d", error);
}

platform_file platform_open_any(const char* name)
{
    // Backup semantics let a directory open, so that it can be named as
    // one rather than as a file that cannot be opened.
    HANDLE file = CreateFileA(name, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return NO_FILE;
    return reinterpret_cast<platform_file>(file);
}

platform_file platform_standard_input()
{
    return reinterpret_cast<platform_file>(GetStdHandle(STD_INPUT_HANDLE));
}

platform_file_kind platform_kind_of(platform_file file)
{
    switch (GetFileType(handle_of(file))) {
    case FILE_TYPE_DISK: {
        BY_HANDLE_FILE_INFORMATION information;
        if (GetFileInformationByHandle(handle_of(file), &information) &&
            (information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
            return platform_file_kind::directory;
        return platform_file_kind::regular;
    }
    case FILE_TYPE_PIPE:
        return platform_file_kind::pipe;
    case FILE_TYPE_CHAR:
        return platform_file_kind::device;
    default:
        return platform_file_kind::other;
    }
}

bool platform_size_of(platform_file file, std::uint64_t& size)
{
    LARGE_INTEGER length;
    if (platform_kind_of(file) != platform_file_kind::regular ||
        !GetFileSizeEx(handle_of(file), &length))
        return false;
    size = static_cast<std::uint64_t>(length.QuadPart);
    return true;
}

std::int64_t platform_read_at(platform_file file, std::uint64_t offset, void* buffer,
                              std::size_t count)
{
    char* into = static_cast<char*>(buffer);
    std::size_t delivered = 0;
    while (delivered < count) {
        OVERLAPPED at = {};
        std::uint64_t position = offset + delivered;
        at.Offset = static_cast<DWORD>(position);
        at.OffsetHigh = static_cast<DWORD>(position >> 32);
        DWORD asked =
            static_cast<DWORD>(count - delivered > 0x40000000 ? 0x40000000 : count - delivered);
        DWORD got = 0;
        if (!ReadFile(handle_of(file), into + delivered, asked, &got, &at)) {
            if (GetLastError() == ERROR_HANDLE_EOF)
                break;
            return -1;
        }
        if (got == 0)
            break;
        delivered += got;
    }
    return static_cast<std::int64_t>(delivered);
}

std::int64_t platform_read_stream(platform_file file, void* buffer, std::size_t count)
{
    char* into = static_cast<char*>(buffer);
    std::size_t delivered = 0;
    while (delivered < count) {
        DWORD asked =
            static_cast<DWORD>(count - delivered > 0x40000000 ? 0x40000000 : count - delivered);
        DWORD got = 0;
        if (!ReadFile(handle_of(file), into + delivered, asked, &got, nullptr)) {
            // A pipe whose writer has gone is at its end, not failed.
            if (GetLastError() == ERROR_BROKEN_PIPE || GetLastError() == ERROR_HANDLE_EOF)
                break;
            return -1;
        }
        if (got == 0)
            break;
        delivered += got;
    }
    return static_cast<std::int64_t>(delivered);
}

std::size_t platform_map_granularity()
{
    SYSTEM_INFO information;
    GetSystemInfo(&information);
    return information.dwAllocationGranularity;
}

bool platform_map(platform_file file, std::uint64_t offset, std::size_t length,
                  platform_mapping& mapping)
{
    mapping = {};
    if (length == 0)
        return true;
    HANDLE section = CreateFileMappingA(handle_of(file), nullptr, PAGE_READONLY, 0, 0, nullptr);
    if (section == nullptr)
        return false;
    void* view = MapViewOfFile(section, FILE_MAP_READ, static_cast<DWORD>(offset >> 32),
                               static_cast<DWORD>(offset), length);
    // The view keeps the section alive.
    CloseHandle(section);
    if (view == nullptr)
        return false;
    mapping.base = view;
    mapping.mapped_length = length;
    mapping.bytes = static_cast<const unsigned char*>(view);
    mapping.length = length;
    return true;
}

void platform_unmap(platform_mapping& mapping)
{
    if (mapping.base != nullptr)
        UnmapViewOfFile(mapping.base);
    mapping = {};
}

unsigned platform_processor_count()
{
    SYSTEM_INFO information;
    GetSystemInfo(&information);
    return information.dwNumberOfProcessors > 0 ? information.dwNumberOfProcessors : 1;
}

namespace
{

struct worker_start {
    void (*work)(void*, unsigned);
    void* context;
    unsigned worker;
};

DWORD WINAPI run_worker(void* start)
{
    auto* given = static_cast<worker_start*>(start);
    given->work(given->context, given->worker);
    return 0;
}

} // namespace

void platform_run_workers(unsigned count, void (*work)(void* context, unsigned worker),
                          void* context)
{
    std::vector<worker_start> starts(count);
    std::vector<HANDLE> threads(count, nullptr);
    for (unsigned worker = 1; worker < count; worker++) {
        starts[worker] = {work, context, worker};
        threads[worker] = CreateThread(nullptr, 0, run_worker, &starts[worker], 0, nullptr);
    }
    // A thread that could not be started leaves its share to this one.
    if (count > 0)
        work(context, 0);
    for (unsigned worker = 1; worker < count; worker++) {
        if (threads[worker] != nullptr) {
            WaitForSingleObject(threads[worker], INFINITE);
            CloseHandle(threads[worker]);
        } else {
            work(context, worker);
        }
    }
}

int platform_terminal_width(std::FILE* stream)
{
    if (!platform_is_terminal(stream))
        return 0;
    HANDLE console = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream)));
    CONSOLE_SCREEN_BUFFER_INFO information;
    if (!GetConsoleScreenBufferInfo(console, &information))
        return 0;
    return information.srWindow.Right - information.srWindow.Left + 1;
}

struct platform_mutex {
    SRWLOCK lock = SRWLOCK_INIT;
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
    AcquireSRWLockExclusive(&mutex->lock);
}

void platform_unlock(platform_mutex* mutex)
{
    ReleaseSRWLockExclusive(&mutex->lock);
}

void platform_sleep(unsigned milliseconds)
{
    Sleep(milliseconds);
}

void platform_write_binary()
{
    std::fflush(stdout);
    std::fflush(stderr);
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
}
