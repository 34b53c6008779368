#include "self_check.h"

#include "../process/exit_routine.h"
#include "../process/platform.h"
#include "program_seal.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace
{

// No program file of korvalen comes near this; a larger one is not ours.
constexpr std::int64_t LARGEST_PROGRAM_FILE = 64 * 1024 * 1024;

// The build writes the checksum behind the marker. Volatile, so that the
// marker stays in the file as data and is never folded into the code.
volatile const unsigned char program_seal[SEAL_SIZE] = {SEAL_MARKER[0],
                                                        SEAL_MARKER[1],
                                                        SEAL_MARKER[2],
                                                        SEAL_MARKER[3],
                                                        SEAL_MARKER[4],
                                                        SEAL_MARKER[5],
                                                        SEAL_MARKER[6],
                                                        SEAL_MARKER[7],
                                                        SEAL_MARKER[8],
                                                        SEAL_MARKER[9],
                                                        SEAL_MARKER[10],
                                                        SEAL_MARKER[11],
                                                        SEAL_MARKER[12],
                                                        SEAL_MARKER[13],
                                                        SEAL_MARKER[14],
                                                        SEAL_MARKER[15],
                                                        0,
                                                        0,
                                                        0,
                                                        0};

[[noreturn]] void refuse_to_run()
{
    std::fprintf(stderr, "korvalen: the program file is damaged; please reinstall korvalen\n");
    exit_routine(PROGRAM_DAMAGED);
}

bool image_is_intact(unsigned char* image, std::size_t size)
{
    unsigned char marker[SEAL_MARKER_SIZE];
    for (std::size_t i = 0; i < SEAL_MARKER_SIZE; i++)
        marker[i] = program_seal[i];
    std::ptrdiff_t seal_at = find_seal(image, size, marker);
    if (seal_at < 0)
        return false;
    std::size_t at = static_cast<std::size_t>(seal_at);
    return checksum_in_seal(image, at) == checksum_for_seal(image, size, at);
}

} // namespace

void check_program_file()
{
    platform_file program = platform_open_own_program();
    if (program == NO_FILE)
        refuse_to_run();
    std::int64_t size = platform_file_size(program);
    if (size <= 0 || size > LARGEST_PROGRAM_FILE) {
        platform_close(program);
        refuse_to_run();
    }
    unsigned char* image = static_cast<unsigned char*>(std::malloc(static_cast<std::size_t>(size)));
    if (image == nullptr) {
        platform_close(program);
        std::fprintf(stderr, "\n\t\tNOT ENOUGH MEMORY\n");
        exit_routine(INSUFFICIENT_MEMORY);
    }
    std::uint32_t delivered = platform_read(program, image, static_cast<std::uint32_t>(size));
    platform_close(program);
    bool intact = delivered == size && image_is_intact(image, delivered);
    std::free(image);
    if (!intact)
        refuse_to_run();
}
