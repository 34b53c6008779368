#include "platform.h"

#include <csignal>
#include <cstdio>
#include <io.h>
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
