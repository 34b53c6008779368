// Drives the analyses on arbitrary bytes, as the program runs them: the
// field report, then the line-terminator scan or the fixed-length analysis.
// The sample is allocated at exactly its valid length, so that any read
// past it is caught. An end of the run arrives as an exception. Before the
// analyses run, the repeat-distance count is checked against a plain
// recount: a table that differs in any entry aborts.
//
// Input: one byte choosing the analysis, eight bytes of file size, one
// byte counting the keystrokes that follow, one byte counting the bytes
// of the show-limit argument that follow (0: no argument), then the sample.
#include "../src/analysis/field_report.h"
#include "../src/analysis/line_terminator_scan.h"
#include "../src/analysis/repeat_distances.h"
#include "../src/process/input_state.h"
#include "../tests/unit/fake_driver.h"
#include "../tests/unit/reference_repeat_distances.h"

#include <cstdlib>
#include <cstring>
#include <string>

namespace
{

struct reader {
    const std::uint8_t* at;
    std::size_t left;

    std::string take(std::size_t count)
    {
        count = count < left ? count : left;
        std::string taken(reinterpret_cast<const char*>(at), count);
        at += count;
        left -= count;
        return taken;
    }
};

std::FILE* discard()
{
    static std::FILE* null_stream = std::fopen("/dev/null", "w");
    return null_stream;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    reader input{data, size};
    std::string choice = input.take(1);
    std::string size_bytes = input.take(8);
    std::int64_t size_of_file = 0;
    std::memcpy(&size_of_file, size_bytes.data(), size_bytes.size());
    std::string count = input.take(1);
    std::string keys = input.take(count.empty() ? 0 : static_cast<std::uint8_t>(count[0]));
    count = input.take(1);
    std::string limit = input.take(count.empty() ? 0 : static_cast<std::uint8_t>(count[0]));
    std::string sample = input.take(SAMPLE_SIZE);

    set_sample(sample, size_of_file);
    script_keys(keys);
    auto valid_length = static_cast<std::uint32_t>(sample.size());
    count_repeat_distances(valid_length);
    if (candidate_entries() != reference_repeat_distances(sample_buffer, valid_length))
        std::abort();
    char program[] = "korvalen", file[] = "fuzz.dat";
    char* arguments[] = {program, file, limit.data(), nullptr};
    int argument_count = limit.empty() ? 2 : 3;
    try {
        report_fields(discard(), file, sample_buffer, static_cast<std::int32_t>(valid_length));
        if (!choice.empty() && (choice[0] & 1))
            scan_repeat_distances(discard(), valid_length);
        else
            scan_line_terminators(discard(), valid_length, argument_count, arguments);
    } catch (const run_ended&) {
    }
    return 0;
}
