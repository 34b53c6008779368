#include "window_reading.h"

#include <algorithm>
#include <vector>

namespace
{

// One pass, the bytes only looked at once: a buffer this size keeps reads
// large without holding much.
constexpr std::size_t WALK_WINDOW = std::size_t{256} << 10;

void note_bytes(std::atomic<std::uint64_t>* bytes_done, std::uint64_t count)
{
    if (bytes_done != nullptr)
        bytes_done->fetch_add(count);
}

} // namespace

std::string system_reason()
{
    char text[256];
    platform_describe_error(platform_last_error(), text, sizeof text);
    return text;
}

bool read_some_at(platform_file file, std::uint64_t offset, unsigned char* into, std::size_t wanted,
                  byte_span& bytes, std::string& error)
{
    std::int64_t count = platform_read_at(file, offset, into, wanted);
    if (count < 0) {
        error = system_reason();
        return false;
    }
    if (count == 0) {
        error = FILE_SHRANK;
        return false;
    }
    bytes = byte_span(into, static_cast<std::size_t>(count));
    return true;
}

bool read_file_windows(platform_file file, std::uint64_t file_size,
                       std::atomic<std::uint64_t>* bytes_done, const window_taker& take,
                       std::string& error)
{
    std::vector<unsigned char> buffer(WALK_WINDOW);
    for (std::uint64_t offset = 0; offset < file_size;) {
        std::size_t wanted =
            static_cast<std::size_t>(std::min<std::uint64_t>(buffer.size(), file_size - offset));
        byte_span bytes;
        if (!read_some_at(file, offset, buffer.data(), wanted, bytes, error))
            return false;
        offset += bytes.size();
        note_bytes(bytes_done, bytes.size());
        if (!take(bytes))
            break;
    }
    return true;
}

bool read_stream_windows(platform_file file, byte_span sample,
                         std::atomic<std::uint64_t>* bytes_done, const window_taker& take,
                         std::string& error)
{
    bool taking = take(sample);
    note_bytes(bytes_done, sample.size());
    std::vector<unsigned char> buffer(WALK_WINDOW);
    for (;;) {
        std::int64_t count = platform_read_stream(file, buffer.data(), buffer.size());
        if (count < 0) {
            error = system_reason();
            return false;
        }
        if (count == 0)
            return true;
        note_bytes(bytes_done, static_cast<std::uint64_t>(count));
        if (taking)
            taking = take(byte_span(buffer.data(), static_cast<std::size_t>(count)));
    }
}
