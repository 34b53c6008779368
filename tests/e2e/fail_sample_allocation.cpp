// Preloaded into korvalen by allocation_failure.sh: every request for a
// block of the sample's size (the classic one, or the start of a survey's)
// fails, as it would on a heap that is used up.
// Other requests go on to the allocator that comes next, which may be a
// sanitizer's. With KORVALEN_FAIL_OFF_MAIN set, the main thread's requests
// all succeed, so that a survey's worker thread is the one to run out.
#include <cerrno>
#include <cstddef>
#include <cstdlib>
#include <dlfcn.h>
#include <unistd.h>

namespace
{

constexpr std::size_t SAMPLE_SIZE = 16000;
constexpr std::size_t SURVEY_SAMPLE_SIZE = std::size_t{1} << 20;

} // namespace

extern "C" void* malloc(std::size_t size)
{
    static auto next_malloc = reinterpret_cast<void* (*)(std::size_t)>(dlsym(RTLD_NEXT, "malloc"));
    static const bool spare_main = std::getenv("KORVALEN_FAIL_OFF_MAIN") != nullptr;
    if ((size == SAMPLE_SIZE || size == SURVEY_SAMPLE_SIZE) && !(spare_main && gettid() == getpid())) {
        errno = ENOMEM;
        return nullptr;
    }
    return next_malloc(size);
}
