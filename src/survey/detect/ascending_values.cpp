#include "ascending_values.h"

#include <array>

namespace
{

constexpr std::array<std::uint32_t, 3> WIDTHS = {2, 4, 8};
// Values that grow strictly this many times in a row are no chance: even
// sorted by luck, thirty-two random values would be one order in 10^35.
constexpr std::uint64_t FEWEST_VALUES = 32;
// The run must cover this share of the file: an index is the file, a
// few values that happen to grow inside other data are not.
constexpr double LEAST_COVER = 0.9;

// Whether every byte of the run is greater than the one before it: bytes
// in order (an alphabet in its code page, a ramp) make values of any
// width grow, and are no table of wider values.
bool bytes_grow(byte_span bytes, std::size_t first, std::size_t end)
{
    for (std::size_t at = first + 1; at < end; at++) {
        if (bytes[at] <= bytes[at - 1])
            return false;
    }
    return true;
}

std::uint64_t value_at(byte_span bytes, std::size_t at, std::uint32_t width, bool big_endian)
{
    std::uint64_t value = 0;
    for (std::uint32_t each = 0; each < width; each++) {
        unsigned char byte = bytes[at + (big_endian ? each : width - 1 - each)];
        value = (value << 8) | byte;
    }
    return value;
}

// Whether the values of a later piece at the run's phase all grow, and
// past the last value before them.
bool piece_grows(const sample_piece& piece, std::uint64_t phase, std::uint32_t width,
                 bool big_endian, std::uint64_t& last)
{
    std::uint64_t skip = (phase + width - piece.offset % width) % width;
    for (std::uint64_t at = skip; at + width <= piece.bytes.size(); at += width) {
        std::uint64_t value = value_at(piece.bytes, at, width, big_endian);
        if (value <= last)
            return false;
        last = value;
    }
    return true;
}

// The run that ends at the end of the start, walked back from there, at
// each phase; the longest.
ascending_run run_to_end(const file_sample& sample, std::uint32_t width, bool big_endian)
{
    ascending_run best;
    byte_span start = sample.start;
    std::uint64_t size = sample.file_size ? *sample.file_size : start.size();
    // A phase needs one whole value after it, or the walk back from the
    // end would start before the first byte.
    for (std::uint32_t phase = 0; phase < width && start.size() >= phase + width; phase++) {
        std::size_t end = phase + (start.size() - phase) / width * width;
        // A file that does not end on a value's end has a trailer.
        if (sample_is_whole_file(sample) && end != start.size())
            continue;
        std::size_t first = end - width;
        std::uint64_t next = value_at(start, first, width, big_endian);
        while (first >= width + phase) {
            std::uint64_t value = value_at(start, first - width, width, big_endian);
            if (value >= next)
                break;
            next = value;
            first -= width;
        }
        // The values counted for the evidence are those seen, not those
        // the file's size would hold.
        if ((end - first) / width < FEWEST_VALUES || bytes_grow(start, first, end))
            continue;
        std::uint64_t last = value_at(start, end - width, width, big_endian);
        bool grows = true;
        for (const sample_piece& piece : sample.later)
            grows = grows && piece_grows(piece, phase, width, big_endian, last);
        if (!grows)
            continue;
        std::uint64_t values = (size - first) / width;
        if (values > best.values)
            best = {width, big_endian, first, values};
    }
    return best;
}

} // namespace

ascending_choice find_ascending_values(const file_sample& sample)
{
    ascending_choice result;
    std::uint64_t size = sample.file_size ? *sample.file_size : sample.start.size();
    if (size == 0)
        return result;
    double best = 0;
    for (std::uint32_t width : WIDTHS) {
        for (bool big_endian : {true, false}) {
            ascending_run run = run_to_end(sample, width, big_endian);
            double cover = static_cast<double>(run.values * width) / static_cast<double>(size);
            result.candidates.push_back({run, cover});
            // The narrowest width wins: values twice as wide read from
            // growing values grow too.
            if (run.values >= FEWEST_VALUES && cover >= LEAST_COVER && cover > best &&
                result.choice.width == 0) {
                best = cover;
                result.choice = run;
            }
        }
    }
    return result;
}
