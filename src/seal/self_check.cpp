#include "self_check.h"

#include "../process/exit_routine.h"
#include "../process/platform.h"
#include "program_seal.h"

#include <bit>
#include <cstdint>
#include <cstdio>

namespace
{

constexpr program_seal unsealed()
{
    program_seal seal = {};
    for (std::size_t i = 0; i < SEAL_MARKER_SIZE; i++)
        seal.marker[i] = SEAL_MARKER[i];
    return seal;
}

// The build's sealing tool writes the digest here, in writable data that
// the digest leaves out. Volatile, so that it is read as it lies in the
// program and never folded into the code.
volatile program_seal seal = unsealed();

// Writable too, so that damage to what the digest covers cannot garble the
// line that reports it.
char refusal[] = "korvalen: the program file is damaged; please reinstall korvalen\n";

// What the check before main found, for main to compare once more.
volatile std::uint64_t digest_found = 0;

// The seal as it lies in the program, read a byte at a time.
std::uint64_t sealed(const volatile unsigned char* field)
{
    unsigned char bytes[8];
    for (int i = 0; i < 8; i++)
        bytes[i] = field[i];
    return read_little_endian(bytes, 8);
}

std::uint64_t sealed_digest()
{
    return sealed(seal.digest);
}

// Nothing is open and nothing written yet, so the shortest way out is the
// one least likely to pass through damaged code.
[[noreturn]] void refuse_to_run()
{
    platform_treat_faults_as(refusal, PROGRAM_DAMAGED);
    // A Windows runtime buffers standard error when it is not a console.
    std::fputs(refusal, stderr);
    std::fflush(stderr);
    platform_treat_faults_as("", PROGRAM_DAMAGED);
    platform_end_process(PROGRAM_DAMAGED);
}

// Where the system cannot show the program its own image, or shows it in
// a byte order the digest does not read, the program runs unchecked rather
// than blame a program that may well be intact. An image it does show is
// of the system's own format: one that does not read as such is damaged.
bool examinable(const unsigned char* image)
{
    return image != nullptr && std::endian::native == std::endian::little;
}

void check_loaded_image()
{
    // Damage to the check's own code may make it fault or loop; that is
    // damage found all the same.
    platform_treat_faults_as(refusal, PROGRAM_DAMAGED);
    const unsigned char* image = platform_own_image();
    if (!examinable(image)) {
        platform_restore_fault_handling();
        std::fputs("korvalen: this system does not let the program check itself for damage\n",
                   stderr);
        return;
    }
    std::uint64_t digest = 0;
    image_check made = digest_loaded_program(image, sealed(seal.image_base), digest);
    digest_found = digest;
    if (made != image_check::digested || digest != sealed_digest())
        refuse_to_run();
    platform_restore_fault_handling();
}

// Before main and before every other initialiser the program has, so that
// as little as possible of it has run when the check decides.
struct check_before_main {
    check_before_main()
    {
        check_loaded_image();
    }
};
[[gnu::init_priority(101)]] check_before_main checked_before_main;

} // namespace

void check_program_file()
{
    if (digest_found != sealed_digest() && examinable(platform_own_image()))
        refuse_to_run();
}
