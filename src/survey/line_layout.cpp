#include "line_layout.h"

#include <algorithm>
#include <map>

namespace
{

// Lines of another length than the records that may stand before them
// (titles, column names, comments) or after them (totals) and still leave
// a file of records of one length.
constexpr std::size_t MOST_HEADER_LINES = 64;
constexpr std::size_t MOST_TRAILER_LINES = 1;
// Records of one length must be this many, and this many times the lines
// of other lengths, before the length is the file's.
constexpr std::uint64_t FEWEST_FIXED_LINES = 3;
constexpr std::uint64_t FIXED_TO_OTHER_LINES = 4;

std::uint64_t commonest_length(const sampled_lines& lines)
{
    std::map<std::uint64_t, std::uint64_t> counts;
    auto count = [&](const std::vector<line_span>& spans) {
        for (const line_span& line : spans) {
            if (line.terminated)
                counts[line.length]++;
        }
    };
    count(lines.start);
    for (const auto& piece : lines.later)
        count(piece);
    std::uint64_t best = 0, best_count = 0;
    for (auto [length, seen] : counts) {
        if (seen > best_count) {
            best = length;
            best_count = seen;
        }
    }
    return best;
}

struct fixed_lines {
    bool holds = false;
    std::uint64_t header = 0;
    std::uint64_t trailer = 0;
    // The file's last line lacks its terminator but is a record.
    bool last_unterminated = false;
};

// Lines at the end of spans that are not length long, when they end the
// file: a trailer. Returns how many.
std::size_t trailer_lines(const std::vector<line_span>& spans, std::uint64_t length,
                          std::uint64_t terminator_length, bool ends_file, bool& last_unterminated)
{
    last_unterminated = false;
    if (!ends_file || spans.empty())
        return 0;
    std::size_t count = spans.size();
    const line_span& last = spans.back();
    if (!last.terminated && last.length + terminator_length == length) {
        last_unterminated = true;
        return 0;
    }
    std::size_t trailing = 0;
    while (trailing < count && trailing < MOST_TRAILER_LINES &&
           spans[count - 1 - trailing].length != length)
        trailing++;
    return trailing;
}

bool all_of_length(const std::vector<line_span>& spans, std::size_t from, std::size_t to,
                   std::uint64_t length)
{
    for (std::size_t i = from; i < to; i++) {
        if (spans[i].length != length)
            return false;
    }
    return true;
}

std::uint64_t bytes_of(const std::vector<line_span>& spans, std::size_t from, std::size_t to)
{
    std::uint64_t total = 0;
    for (std::size_t i = from; i < to; i++)
        total += spans[i].length;
    return total;
}

fixed_lines find_fixed_lines(const sampled_lines& lines, std::uint64_t length,
                             std::uint64_t terminator_length)
{
    fixed_lines found;
    const auto& start = lines.start;
    std::size_t first = 0;
    while (first < start.size() && start[first].length != length)
        first++;
    if (first == start.size() || first > MOST_HEADER_LINES)
        return found;
    bool start_ends_file = lines.whole_file;
    std::size_t start_trailing =
        trailer_lines(start, length, terminator_length, start_ends_file, found.last_unterminated);
    std::size_t start_end = start.size() - start_trailing - (found.last_unterminated ? 1 : 0);
    if (start_end < first || !all_of_length(start, first, start_end, length))
        return found;
    found.header = start[first].offset;
    found.trailer = bytes_of(start, start.size() - start_trailing, start.size());
    for (std::size_t piece = 0; piece < lines.later.size(); piece++) {
        const auto& spans = lines.later[piece];
        bool ends_file = piece + 1 == lines.later.size() && lines.end_seen;
        bool unterminated = false;
        std::size_t trailing =
            trailer_lines(spans, length, terminator_length, ends_file, unterminated);
        std::size_t end = spans.size() - trailing - (unterminated ? 1 : 0);
        if (!all_of_length(spans, 0, end, length))
            return found;
        if (ends_file) {
            found.trailer = bytes_of(spans, spans.size() - trailing, spans.size());
            found.last_unterminated = unterminated;
        }
    }
    std::uint64_t fixed = 0, other = 0;
    auto tally = [&](const std::vector<line_span>& spans) {
        for (const line_span& line : spans)
            (line.length == length ? fixed : other)++;
    };
    tally(start);
    for (const auto& piece : lines.later)
        tally(piece);
    // Lines of other lengths around the records need records enough to
    // stand out from.
    found.holds =
        other == 0 || (fixed >= FEWEST_FIXED_LINES && fixed >= FIXED_TO_OTHER_LINES * other);
    return found;
}

std::uint64_t terminator_length_of(line_terminator terminator, text_encoding encoding)
{
    std::uint64_t unit =
        encoding == text_encoding::utf16le || encoding == text_encoding::utf16be ? 2 : 1;
    return terminator == line_terminator::crlf ? 2 * unit : unit;
}

std::uint64_t sampled_bytes_and_lines(const sampled_lines& lines, std::uint64_t& count)
{
    std::uint64_t bytes = 0;
    count = 0;
    auto add = [&](const std::vector<line_span>& spans) {
        for (const line_span& line : spans) {
            bytes += line.length;
            count++;
        }
    };
    add(lines.start);
    for (const auto& piece : lines.later)
        add(piece);
    return bytes;
}

void count_varying_records(const file_sample& sample, const sampled_lines& lines,
                           file_layout& layout)
{
    if (lines.whole_file) {
        layout.records = lines.start.size();
        return;
    }
    if (!sample.file_size)
        return;
    std::uint64_t count = 0;
    std::uint64_t bytes = sampled_bytes_and_lines(lines, count);
    if (count == 0 || bytes == 0)
        return;
    std::uint64_t body = *sample.file_size - layout.header_length;
    layout.records = static_cast<std::uint64_t>(static_cast<double>(body) * count / bytes + 0.5);
    layout.records_estimated = true;
}

} // namespace

sampled_lines sample_lines(const file_sample& sample, std::size_t byte_order_mark,
                           line_terminator terminator, text_encoding encoding)
{
    sampled_lines lines;
    lines.whole_file = sample_is_whole_file(sample);
    lines.end_seen = lines.whole_file;
    byte_span text = sample.start.subspan(std::min(byte_order_mark, sample.start.size()));
    lines.start = split_lines(text, byte_order_mark, terminator, encoding, true, lines.whole_file);
    std::uint64_t unit =
        encoding == text_encoding::utf16le || encoding == text_encoding::utf16be ? 2 : 1;
    for (const sample_piece& piece : sample.later) {
        // A UTF-16 piece must start on a unit boundary.
        std::size_t skip = (piece.offset - byte_order_mark) % unit;
        bool ends_file = sample.file_size && piece.offset + piece.bytes.size() == *sample.file_size;
        lines.later.push_back(split_lines(piece.bytes.subspan(std::min(skip, piece.bytes.size())),
                                          piece.offset + skip, terminator, encoding, false,
                                          ends_file));
        lines.end_seen = lines.end_seen || ends_file;
    }
    return lines;
}

void measure_lines(const file_sample& sample, const sampled_lines& lines,
                   std::size_t byte_order_mark, file_layout& layout)
{
    layout.header_length = byte_order_mark;
    std::uint64_t length = commonest_length(lines);
    layout.usual_length = length;
    if (length == 0)
        return;
    fixed_lines fixed =
        find_fixed_lines(lines, length, terminator_length_of(layout.terminator, layout.encoding));
    if (!fixed.holds) {
        count_varying_records(sample, lines, layout);
        return;
    }
    layout.record_length = length;
    layout.header_length = fixed.header;
    layout.trailer_length = fixed.trailer;
    if (!sample.file_size)
        return;
    std::uint64_t body = *sample.file_size - fixed.header - fixed.trailer;
    layout.records = body / length + (fixed.last_unterminated ? 1 : 0);
}
