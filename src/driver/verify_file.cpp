// Stands in for the record check until it is written: reads the whole
// input, so that read failures and progress behave as they will, and
// reports no anomaly.
#include "verify_file.h"

#include <vector>

namespace
{

constexpr std::size_t BLOCK_SIZE = std::size_t{1} << 20;

void fail_with_reason(std::string& error)
{
    char text[256];
    platform_describe_error(platform_last_error(), text, sizeof text);
    error = text;
}

} // namespace

bool verify_file(platform_file file, std::uint64_t file_size, const file_layout& layout, unsigned,
                 std::atomic<std::uint64_t>* bytes_done, verify_outcome& outcome,
                 std::string& error)
{
    std::vector<unsigned char> block(BLOCK_SIZE);
    for (std::uint64_t offset = 0; offset < file_size;) {
        std::int64_t got = platform_read_at(file, offset, block.data(), block.size());
        if (got < 0) {
            fail_with_reason(error);
            return false;
        }
        if (got == 0)
            break;
        offset += static_cast<std::uint64_t>(got);
        if (bytes_done != nullptr)
            *bytes_done = offset;
    }
    outcome = {};
    outcome.records = layout.records.value_or(0);
    return true;
}

bool verify_stream(platform_file file, byte_span sample, const file_layout& layout,
                   std::atomic<std::uint64_t>* bytes_done, verify_outcome& outcome,
                   std::string& error)
{
    std::vector<unsigned char> block(BLOCK_SIZE);
    std::uint64_t done = sample.size();
    for (;;) {
        std::int64_t got = platform_read_stream(file, block.data(), block.size());
        if (got < 0) {
            fail_with_reason(error);
            return false;
        }
        done += static_cast<std::uint64_t>(got);
        if (bytes_done != nullptr)
            *bytes_done = done;
        if (static_cast<std::size_t>(got) < block.size())
            break;
    }
    outcome = {};
    outcome.records = layout.records.value_or(0);
    return true;
}
