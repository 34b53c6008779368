#include "ascending_values.h"

#include <algorithm>
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
// Values that grow one a record apart, the record holding other fields
// too (an index entry's offset beside its size): twenty-four sorted by
// chance are one order in 10^23, against some ten thousand strides,
// places, widths and byte orders weighed. Records are at most this long.
constexpr std::uint64_t FEWEST_STRIDED_VALUES = 24;
constexpr std::uint32_t LONGEST_STRIDE = 64;

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
                 std::uint32_t stride, bool big_endian, std::uint64_t& last)
{
    std::uint64_t skip = (phase + stride - piece.offset % stride) % stride;
    for (std::uint64_t at = skip; at + width <= piece.bytes.size(); at += stride) {
        std::uint64_t value = value_at(piece.bytes, at, width, big_endian);
        if (value <= last)
            return false;
        last = value;
    }
    return true;
}

// The run of values stride apart that ends at the end of the start,
// walked back from there, at each phase; the longest. Values stride apart
// whose stride is their width are the records; a longer stride is the
// record, ending at the file's end.
ascending_run run_to_end(const file_sample& sample, std::uint32_t width, std::uint32_t stride,
                         bool big_endian, std::uint64_t fewest)
{
    ascending_run best;
    byte_span start = sample.start;
    std::uint64_t size = sample.file_size ? *sample.file_size : start.size();
    // A phase needs one whole value after it, or the walk back from the
    // end would start before the first byte.
    for (std::uint32_t phase = 0; phase < stride && start.size() >= phase + width; phase++) {
        std::size_t last_at = phase + (start.size() - width - phase) / stride * stride;
        // A file that does not end on a value's end has a trailer.
        if (sample_is_whole_file(sample) && stride == width && last_at + width != start.size())
            continue;
        std::size_t first = last_at;
        std::uint64_t next = value_at(start, first, width, big_endian);
        while (first >= stride + phase) {
            std::uint64_t value = value_at(start, first - stride, width, big_endian);
            if (value >= next)
                break;
            next = value;
            first -= stride;
        }
        // The values counted for the evidence are those seen, not those
        // the file's size would hold.
        std::uint64_t seen = (last_at - first) / stride + 1;
        if (seen < fewest || bytes_grow(start, first, last_at + width))
            continue;
        std::uint64_t last = value_at(start, last_at, width, big_endian);
        bool grows = true;
        for (const sample_piece& piece : sample.later)
            grows = grows && piece_grows(piece, phase, width, stride, big_endian, last);
        if (!grows)
            continue;
        std::uint64_t values = (size - width - first) / stride + 1;
        if (values > best.values)
            best = {width, big_endian, first, values, stride};
    }
    return best;
}

// The shortest record a field of which grows from record to record over
// nearly all of the file.
ascending_run strided_run(const file_sample& sample, std::uint64_t size)
{
    for (std::uint32_t stride = WIDTHS.front() + 1; stride <= LONGEST_STRIDE; stride++) {
        for (std::uint32_t width : WIDTHS) {
            for (bool big_endian : {true, false}) {
                if (width >= stride)
                    continue;
                ascending_run run =
                    run_to_end(sample, width, stride, big_endian, FEWEST_STRIDED_VALUES);
                // The records end at the file's end, so a last value with
                // less than a record after it is no whole record's: they
                // cannot start before the file does.
                run.values = std::min<std::uint64_t>(run.values, size / stride);
                if (static_cast<double>(run.values * stride) >=
                    LEAST_COVER * static_cast<double>(size))
                    return run;
            }
        }
    }
    return {};
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
            ascending_run run = run_to_end(sample, width, width, big_endian, FEWEST_VALUES);
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

ascending_run find_growing_field(const file_sample& sample)
{
    std::uint64_t size = sample.file_size ? *sample.file_size : sample.start.size();
    return size == 0 ? ascending_run{} : strided_run(sample, size);
}
