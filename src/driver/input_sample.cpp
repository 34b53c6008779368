#include "input_sample.h"

#include "../process/exit_routine.h"
#include "../process/input_state.h"

#include <cstdio>
#include <cstdlib>

void open_input(const char* file_name)
{
    input_file = platform_open_read_only(file_name);
    if (input_file == NO_FILE) {
        // Ctrl+C broke off the wait for the file: no failure to report.
        end_run_if_interrupted();
        std::fprintf(stderr, "\ncan't open %s\n", file_name);
        std::fprintf(stderr, "\n\nuse korvalen  alone for help screen\n");
        exit_routine(INPUT_FILE);
    }
    file_size = platform_file_size(input_file);
}

void allocate_sample()
{
    sample_buffer = static_cast<unsigned char*>(std::malloc(SAMPLE_SIZE));
    if (sample_buffer == nullptr) {
        std::fprintf(stderr, "\n\t\tNOT ENOUGH MEMORY\n");
        exit_routine(INSUFFICIENT_MEMORY);
    }
}

std::uint32_t read_sample(platform_file file, unsigned char* buffer, std::uint32_t count)
{
    return platform_read(file, buffer, count);
}
