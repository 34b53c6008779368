#include "row_bounds.h"

#include <algorithm>
#include <vector>

namespace
{

// Headers and trailers are looked for this far into the start and back
// from the end: a header is a few hundred bytes, not the image.
constexpr std::uint64_t LONGEST_SEARCH = std::uint64_t{1} << 16;
// A byte of a header or trailer differs from the byte a row away as any
// two unrelated bytes do, a byte of the rows as little as rows do: the
// bar between is halfway.
constexpr double BAR_SHARE = 0.5;
// A trailer, or a header that leaves the rows to end short of the file's
// end, must stand out by this many bytes' worth of the gap between the
// two before it counts: a run of a few bytes that happen to differ is part
// of the rows. A header that leaves whole rows to the end need only stand
// out at all: its zero words look like an image's black, but its length
// is told by the rows that fill the rest.
constexpr double LEAST_GAIN_BYTES = 8;
// A boundary that lies this deep into a search cut off at its longest is
// no boundary: the bytes there still differ from the rows of the middle
// (a grid of another quantity first), and the gain would go on rising.
constexpr double EDGE_OF_SEARCH = 0.875;
// Rows of values must make up this share of the file.
constexpr double LEAST_COVER = 0.75;
// Unrelated bytes are told from bytes this share of a row apart beyond
// the row itself: a pixel half a row away in the next row.
constexpr double UNRELATED_SHARE = 0.5;
// The middle's differences are measured on at most this many bytes.
constexpr std::size_t MEASURED_BYTES = std::size_t{1} << 16;

struct region {
    byte_span bytes;
    std::uint64_t offset;
    std::uint64_t end() const
    {
        return offset + bytes.size();
    }
};

unsigned distance(unsigned char a, unsigned char b)
{
    return a > b ? a - b : b - a;
}

double mean_distance(byte_span bytes, std::size_t lag)
{
    if (bytes.size() <= lag)
        return 0;
    std::size_t count = std::min(bytes.size() - lag, MEASURED_BYTES);
    std::size_t from = (bytes.size() - lag - count) / 2;
    std::uint64_t sum = 0;
    for (std::size_t i = from; i < from + count; i++)
        sum += distance(bytes[i], bytes[i + lag]);
    return static_cast<double>(sum) / static_cast<double>(count);
}

// The best place for a boundary in each phase of the row: for every
// remainder modulo the row, the highest gain and where it lies.
struct boundary_gains {
    std::vector<double> gain;
    std::vector<std::uint64_t> at;

    boundary_gains(std::uint32_t row, std::uint64_t none_at) : gain(row, -1e300), at(row, 0)
    {
        gain[none_at % row] = 0;
        at[none_at % row] = none_at;
    }

    void offer(std::uint64_t boundary, std::uint32_t row, double value)
    {
        std::uint32_t phase = static_cast<std::uint32_t>(boundary % row);
        if (value > gain[phase]) {
            gain[phase] = value;
            at[phase] = boundary;
        }
    }
};

// Whether the best boundary of all phases lies where deep says.
template <typename deep_test> bool deepest_is_at_edge(const boundary_gains& gains, deep_test deep)
{
    std::size_t best = 0;
    for (std::size_t phase = 1; phase < gains.gain.size(); phase++) {
        if (gains.gain[phase] > gains.gain[best])
            best = phase;
    }
    return gains.gain[best] > 0 && deep(gains.at[best]);
}

struct bar {
    double level;
    double least_gain;
};

// A header's gain at each end; whole_phase is the phase of the file's
// size, at which a header leaves whole rows to the end.
boundary_gains header_gains(byte_span start, std::uint32_t row, bar bar, std::uint32_t whole_phase)
{
    boundary_gains gains(row, 0);
    std::uint64_t limit = std::min<std::uint64_t>(start.size(), LONGEST_SEARCH);
    double sum = 0;
    for (std::uint64_t at = 0; at + row < limit; at++) {
        sum += distance(start[at], start[at + row]) - bar.level;
        if (sum >= bar.least_gain || (sum > 0 && (at + 1) % row == whole_phase))
            gains.offer(at + 1, row, sum);
    }
    if (limit == LONGEST_SEARCH && deepest_is_at_edge(gains, [&](std::uint64_t at) {
            return static_cast<double>(at) >= EDGE_OF_SEARCH * static_cast<double>(limit);
        }))
        return boundary_gains(row, 0);
    return gains;
}

boundary_gains trailer_gains(const region& end, std::uint32_t row, bar bar)
{
    boundary_gains gains(row, end.end());
    std::uint64_t size = end.bytes.size();
    std::uint64_t from = size > LONGEST_SEARCH ? size - LONGEST_SEARCH : 0;
    double sum = 0;
    for (std::uint64_t at = size; at > from + row; at--) {
        sum += distance(end.bytes[at - 1], end.bytes[at - 1 - row]) - bar.level;
        if (sum >= bar.least_gain)
            gains.offer(end.offset + at - 1, row, sum);
    }
    if (from > 0 && deepest_is_at_edge(gains, [&](std::uint64_t at) {
            return static_cast<double>(end.end() - at) >=
                   EDGE_OF_SEARCH * static_cast<double>(LONGEST_SEARCH);
        }))
        return boundary_gains(row, end.end());
    return gains;
}

region middle_of(const file_sample& sample)
{
    if (sample.later.size() >= 2)
        return {sample.later.front().bytes, sample.later.front().offset};
    return {sample.start, 0};
}

region end_of(const file_sample& sample)
{
    if (!sample.later.empty())
        return {sample.later.back().bytes, sample.later.back().offset};
    return {sample.start, 0};
}

} // namespace

row_bounds find_row_bounds(const file_sample& sample, std::uint32_t row)
{
    row_bounds bounds;
    std::uint64_t size = sample.file_size ? *sample.file_size : sample.start.size();
    region middle = middle_of(sample);
    std::size_t unrelated =
        row + std::max<std::size_t>(1, static_cast<std::size_t>(row * UNRELATED_SHARE));
    if (row == 0 || middle.bytes.size() <= 2 * unrelated)
        return bounds;
    double alike = mean_distance(middle.bytes, row);
    double apart = mean_distance(middle.bytes, unrelated);
    if (apart <= alike)
        return bounds;
    bar bar{alike + (apart - alike) * BAR_SHARE, (apart - alike) * BAR_SHARE * LEAST_GAIN_BYTES};
    std::uint32_t whole_phase = static_cast<std::uint32_t>(size % row);
    boundary_gains header = header_gains(sample.start, row, bar, whole_phase);
    region end = end_of(sample);
    bool end_seen = end.end() == size;
    boundary_gains trailer = end_seen ? trailer_gains(end, row, bar) : boundary_gains(row, size);
    // The header's end and the trailer's start lie a whole number of rows
    // apart: of all such pairs, the one the bytes favour most. Where none
    // is, a last row is cut short.
    double best = -1e300;
    for (std::uint32_t phase = 0; phase < row; phase++) {
        double total = header.gain[phase] + trailer.gain[phase];
        if (total <= best || header.at[phase] >= trailer.at[phase])
            continue;
        best = total;
        bounds.header = header.at[phase];
        bounds.trailer = size - trailer.at[phase];
    }
    if (best < 0) {
        bounds.header = 0;
        bounds.trailer = 0;
        double strongest = bar.least_gain;
        for (std::uint32_t phase = 0; phase < row; phase++) {
            if (header.gain[phase] >= strongest) {
                strongest = header.gain[phase];
                bounds.header = header.at[phase];
            }
        }
    }
    std::uint64_t between = size - bounds.header - bounds.trailer;
    bounds.rows = (between + row - 1) / row;
    bounds.found = between / row >= 2 && static_cast<double>(between / row * row) >=
                                             LEAST_COVER * static_cast<double>(size);
    return bounds;
}
