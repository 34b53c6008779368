#include "fake_driver.h"

#include "../../src/process/exit_routine.h"
#include "../../src/process/input_state.h"
#include "../../src/process/keystroke.h"

#include <memory>

namespace
{

std::string scripted_keys;
std::size_t next_key = 0;
std::unique_ptr<unsigned char[]> sample_storage;

} // namespace

void exit_routine(exit_status status)
{
    throw run_ended{status};
}

int read_keystroke()
{
    if (next_key >= scripted_keys.size()) {
        next_key++;
        return EOF;
    }
    return static_cast<unsigned char>(scripted_keys[next_key++]);
}

void script_keys(const std::string& keys)
{
    scripted_keys = keys;
    next_key = 0;
}

std::size_t prompts_answered()
{
    return next_key;
}

captured_run capture(const std::function<void(std::FILE*)>& run)
{
    captured_run result;
    std::FILE* stream = std::tmpfile();
    try {
        run(stream);
    } catch (const run_ended& ended) {
        result.status = ended.status;
    }
    std::rewind(stream);
    char chunk[4096];
    std::size_t got;
    while ((got = std::fread(chunk, 1, sizeof chunk, stream)) > 0)
        result.output.append(chunk, got);
    std::fclose(stream);
    return result;
}

void set_sample(const std::string& bytes, std::int64_t size_of_file)
{
    sample_storage = std::make_unique<unsigned char[]>(bytes.size());
    std::copy(bytes.begin(), bytes.end(), sample_storage.get());
    sample_buffer = sample_storage.get();
    file_size = size_of_file;
}
