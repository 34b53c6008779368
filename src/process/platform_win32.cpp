#include "platform.h"

#include <atomic>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <io.h>
#include <string>
#include <vector>
#include <windows.h>

// The command line names files as typed: "korvalen *.dat" opens *.dat and
// does not run on whatever the wildcard would match.
extern "C" {
int _dowildcard = 0;
}

namespace
{

// Ctrl+C, as the console reports it on a thread of its own.
std::atomic<bool> interrupt_received{false};
HANDLE interrupt_event = nullptr;

// The main thread hands a call that may wait for long (an open, a read of a
// pipe, a keystroke) to this helper and waits for its end or for Ctrl+C,
// whichever comes first. A call that Ctrl+C leaves behind goes on unseen
// and ends with the process; the main thread goes on to the exit routine.
HANDLE helper = nullptr;
HANDLE call_requested = nullptr;
HANDLE call_finished = nullptr;
void (*requested_call)() = nullptr;
// Stays set for a call that Ctrl+C left behind.
bool call_running = false;

// What the calls work on: static, so that a call left behind writes into
// nothing that has gone.
const char* name_to_open = nullptr;
HANDLE opened_file = INVALID_HANDLE_VALUE;
HANDLE file_to_read = INVALID_HANDLE_VALUE;
void* read_buffer = nullptr;
DWORD read_count = 0;
DWORD read_delivered = 0;
int keystroke = EOF;
bool keystroke_aborted = false;

HANDLE handle_of(platform_file file)
{
    return reinterpret_cast<HANDLE>(file);
}

void end_at_once(int)
{
    TerminateProcess(GetCurrentProcess(), STATUS_CONTROL_C_EXIT);
}

// Runs on the console's thread while the main thread may be writing or
// waiting: it only records, and wakes a wait.
void record_interrupt(int)
{
    interrupt_received = true;
    SetEvent(interrupt_event);
    // Some runtimes put the default action back before they call this, and
    // some do not; and the default's exit would wait for the lock of a
    // stream whose write a stalled pipe holds up. So the next Ctrl+C ends
    // the process here, at once, with the default's status.
    std::signal(SIGINT, end_at_once);
}

DWORD WINAPI run_calls(void*)
{
    for (;;) {
        WaitForSingleObject(call_requested, INFINITE);
        requested_call();
        SetEvent(call_finished);
    }
}

// Returns false when Ctrl+C came first. Without a helper (before Ctrl+C is
// caught) the call runs on the main thread.
bool call_unless_interrupted(void (*call)())
{
    if (interrupt_received)
        return false;
    if (helper == nullptr) {
        call();
        return true;
    }
    requested_call = call;
    call_running = true;
    SetEvent(call_requested);
    HANDLE ends[2] = {call_finished, interrupt_event};
    if (WaitForMultipleObjects(2, ends, FALSE, INFINITE) != WAIT_OBJECT_0)
        return false;
    call_running = false;
    return true;
}

void open_named_file()
{
    // Others may read the file meanwhile, but not write or delete it. A
    // directory does not open this way.
    opened_file = CreateFileA(name_to_open, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_READONLY, nullptr);
}

void read_file()
{
    if (!ReadFile(file_to_read, read_buffer, read_count, &read_delivered, nullptr))
        read_delivered = 0;
}

// The descriptor, not the stream: a getchar left behind would keep the
// lock of standard input, which exit takes to flush every stream. The
// descriptor's text mode turns CR LF into one line feed as getchar would.
void read_keystroke_byte()
{
    unsigned char byte;
    int got = _read(0, &byte, 1);
    keystroke = got == 1 ? byte : EOF;
    // A console read that Ctrl+C breaks off ends before the console calls
    // the handler.
    keystroke_aborted = got != 1 && GetLastError() == ERROR_OPERATION_ABORTED;
}

} // namespace

void platform_guard_standard_streams()
{
    // Files are opened as Win32 handles, never as runtime descriptors, so
    // the input file cannot take the place of a closed standard stream.
}

platform_file platform_open_read_only(const char* name)
{
    name_to_open = name;
    if (!call_unless_interrupted(open_named_file) || opened_file == INVALID_HANDLE_VALUE)
        return NO_FILE;
    return reinterpret_cast<platform_file>(opened_file);
}

const unsigned char* platform_own_image()
{
    // A module's handle is the address its image was loaded at.
    return reinterpret_cast<const unsigned char*>(GetModuleHandleW(nullptr));
}

namespace
{

LPTOP_LEVEL_EXCEPTION_FILTER filter_before_faults = nullptr;
bool treating_faults = false;
const char* fault_message = "";
int fault_status = 0;

LONG WINAPI end_on_fault(EXCEPTION_POINTERS*)
{
    DWORD written = 0;
    WriteFile(GetStdHandle(STD_ERROR_HANDLE), fault_message,
              static_cast<DWORD>(lstrlenA(fault_message)), &written, nullptr);
    TerminateProcess(GetCurrentProcess(), static_cast<UINT>(fault_status));
    return EXCEPTION_EXECUTE_HANDLER;
}

} // namespace

void platform_treat_faults_as(const char* message, int status)
{
    // Faults only: Windows has no processor-time alarm to catch a loop.
    fault_message = message;
    fault_status = status;
    if (treating_faults)
        return;
    treating_faults = true;
    filter_before_faults = SetUnhandledExceptionFilter(end_on_fault);
}

void platform_restore_fault_handling()
{
    if (!treating_faults)
        return;
    treating_faults = false;
    SetUnhandledExceptionFilter(filter_before_faults);
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
    file_to_read = handle_of(file);
    read_buffer = buffer;
    read_count = count;
    // A disk file answers at once; the read stays on the main thread and
    // may go into a buffer of the caller's stack.
    if (GetFileType(file_to_read) == FILE_TYPE_DISK) {
        read_file();
        return read_delivered;
    }
    if (!call_unless_interrupted(read_file))
        return 0;
    return read_delivered;
}

void platform_close(platform_file file)
{
    // Closing a file that a read left behind still waits on would wait
    // with it; the end of the process closes it.
    if (call_running && requested_call == read_file && handle_of(file) == file_to_read)
        return;
    CloseHandle(handle_of(file));
}

void platform_catch_interrupt()
{
    interrupt_event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    call_requested = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    call_finished = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    if (interrupt_event != nullptr && call_requested != nullptr && call_finished != nullptr)
        helper = CreateThread(nullptr, 0, run_calls, nullptr, 0, nullptr);
    std::signal(SIGINT, record_interrupt);
}

void platform_end_process(int status)
{
    // ExitProcess would run the runtime's detach code, which can wait for
    // a lock another thread holds.
    TerminateProcess(GetCurrentProcess(), static_cast<UINT>(status));
    for (;;) {
    }
}

bool platform_interrupted()
{
    return interrupt_received;
}

int platform_read_keystroke()
{
    if (!call_unless_interrupted(read_keystroke_byte))
        return EOF;
    // Give the console's handler a moment to record the Ctrl+C that broke
    // off the read, which would otherwise pass for the end of input.
    if (keystroke_aborted && interrupt_event != nullptr)
        WaitForSingleObject(interrupt_event, 100);
    return keystroke;
}

bool platform_is_terminal(std::FILE* stream)
{
    return _isatty(_fileno(stream)) != 0;
}

bool platform_terminal_shows_utf8(std::FILE* stream)
{
    return platform_is_terminal(stream) && GetConsoleOutputCP() == CP_UTF8;
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

bool platform_is_directory(const char* name)
{
    DWORD attributes = GetFileAttributesA(name);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

namespace
{

// Files are opened by their names in the ANSI code page; a name it cannot
// spell could not be opened, and is reported, as near as it can be
// spelled, rather than guessed at.
bool ansi_name(const wchar_t* wide, std::string& name)
{
    BOOL lossy = FALSE;
    int size =
        WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide, -1, nullptr, 0, nullptr, nullptr);
    if (size <= 0)
        return false;
    std::vector<char> bytes(static_cast<std::size_t>(size));
    WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide, -1, bytes.data(), size, nullptr,
                        &lossy);
    name = bytes.data();
    return !lossy;
}

platform_entry_kind entry_kind(const WIN32_FIND_DATAW& found)
{
    if (found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)
        return platform_entry_kind::link;
    if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
        return platform_entry_kind::directory;
    if (found.dwFileAttributes & FILE_ATTRIBUTE_DEVICE)
        return platform_entry_kind::other;
    return platform_entry_kind::regular;
}

} // namespace

bool platform_list_directory(const char* path,
                             void (*take)(void* context, const char* name, platform_entry_kind kind,
                                          int error),
                             void* context)
{
    std::string pattern = path;
    if (pattern.empty() || (pattern.back() != '/' && pattern.back() != '\\'))
        pattern += '\\';
    pattern += '*';
    int size = MultiByteToWideChar(CP_ACP, 0, pattern.c_str(), -1, nullptr, 0);
    if (size <= 0)
        return false;
    std::vector<wchar_t> wide(static_cast<std::size_t>(size));
    MultiByteToWideChar(CP_ACP, 0, pattern.c_str(), -1, wide.data(), size);
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW(wide.data(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return GetLastError() == ERROR_FILE_NOT_FOUND;
    do {
        if (lstrcmpW(found.cFileName, L".") == 0 || lstrcmpW(found.cFileName, L"..") == 0)
            continue;
        std::string name;
        if (ansi_name(found.cFileName, name))
            take(context, name.c_str(), entry_kind(found), 0);
        else
            take(context, name.c_str(), platform_entry_kind::unreadable,
                 ERROR_NO_UNICODE_TRANSLATION);
    } while (FindNextFileW(search, &found));
    DWORD error = GetLastError();
    FindClose(search);
    SetLastError(error);
    return error == ERROR_NO_MORE_FILES;
}

platform_file platform_standard_input()
{
    HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
    if (input == nullptr || input == INVALID_HANDLE_VALUE) {
        SetLastError(ERROR_INVALID_HANDLE);
        return NO_FILE;
    }
    return reinterpret_cast<platform_file>(input);
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

// A view of a file on a network share can fail to page in, and MinGW has
// no structured exceptions to catch that: files are read, never mapped.
const unsigned char* platform_map_view(platform_file, std::uint64_t, std::size_t)
{
    return nullptr;
}

void platform_unmap_view(const unsigned char*, std::size_t)
{
}

std::size_t platform_view_alignment()
{
    return 65536;
}

bool platform_view_lost_pages()
{
    return false;
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

platform_file platform_open_temporary(char* where, std::size_t size)
{
    char folder[MAX_PATH + 1];
    DWORD length = GetTempPathA(MAX_PATH + 1, folder);
    if (length == 0 || length > MAX_PATH)
        return NO_FILE;
    std::snprintf(where, size, "%s", folder);
    char name[MAX_PATH + 1];
    if (GetTempFileNameA(folder, "kvl", 0, name) == 0)
        return NO_FILE;
    // The name GetTempFileName made is opened again to be deleted on
    // close: the system removes it when the handle closes or the process
    // ends, and shares it with no other opener.
    HANDLE handle = CreateFileA(name, GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        DWORD error = GetLastError();
        DeleteFileA(name);
        SetLastError(error);
        return NO_FILE;
    }
    return reinterpret_cast<platform_file>(handle);
}

bool platform_write_all(platform_file file, const void* buffer, std::size_t count)
{
    const char* from = static_cast<const char*>(buffer);
    while (count > 0) {
        DWORD chunk = count > 0x40000000 ? 0x40000000 : static_cast<DWORD>(count);
        DWORD put = 0;
        if (!WriteFile(handle_of(file), from, chunk, &put, nullptr))
            return false;
        if (put == 0) {
            SetLastError(ERROR_DISK_FULL);
            return false;
        }
        from += put;
        count -= put;
    }
    return true;
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

struct platform_thread {
    HANDLE thread;
    void (*work)(void*);
    void* context;
};

// Its own function: a thread's start on 32-bit Windows is WINAPI, which a
// lambda is not.
static DWORD WINAPI run_thread(void* start)
{
    auto* given = static_cast<platform_thread*>(start);
    given->work(given->context);
    return 0;
}

platform_thread* platform_start_thread(void (*work)(void* context), void* context)
{
    auto* made = new platform_thread{nullptr, work, context};
    made->thread = CreateThread(nullptr, 0, run_thread, made, 0, nullptr);
    if (made->thread != nullptr)
        return made;
    delete made;
    return nullptr;
}

void platform_join_thread(platform_thread* thread)
{
    WaitForSingleObject(thread->thread, INFINITE);
    CloseHandle(thread->thread);
    delete thread;
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

struct platform_condition {
    CONDITION_VARIABLE condition = CONDITION_VARIABLE_INIT;
};

platform_condition* platform_new_condition()
{
    return new platform_condition;
}

void platform_delete_condition(platform_condition* condition)
{
    delete condition;
}

void platform_wait(platform_condition* condition, platform_mutex* mutex, unsigned milliseconds)
{
    SleepConditionVariableSRW(&condition->condition, &mutex->lock, milliseconds, 0);
}

void platform_notify_all(platform_condition* condition)
{
    WakeAllConditionVariable(&condition->condition);
}

void platform_sleep(unsigned milliseconds)
{
    Sleep(milliseconds);
}

void platform_keep_freed_memory()
{
    // The Windows heap keeps freed blocks for reuse as it is.
}

void platform_write_binary()
{
    std::fflush(stdout);
    std::fflush(stderr);
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
}
