#include "survey_report.h"

#include "../base/lines.h"
#include "../base/prefix_chain.h"
#include "../base/text_decode.h"

#include <algorithm>

namespace
{

constexpr unsigned LINE_FEED = 0x0A;
constexpr unsigned CARRIAGE_RETURN = 0x0D;
constexpr unsigned EBCDIC_NEW_LINE = 0x15;

shown_record record_at(byte_span start, std::uint64_t offset, std::uint64_t length)
{
    std::uint64_t available = offset < start.size() ? start.size() - offset : 0;
    std::size_t kept =
        static_cast<std::size_t>(std::min({length, available, std::uint64_t{SHOWN_RECORD_LIMIT}}));
    const char* first = reinterpret_cast<const char*>(start.data()) + offset;
    return {offset, length, std::string(first, kept)};
}

std::vector<shown_record> fixed_length_records(const file_layout& layout, byte_span start,
                                               bool start_is_whole_file, std::size_t wanted)
{
    std::vector<shown_record> records;
    if (!layout.record_length || *layout.record_length == 0)
        return records;
    std::uint64_t length = *layout.record_length;
    // Of a record longer than the picture, the part it shows must be
    // there; at the end of the file the whole record, or it is a trailer.
    std::uint64_t needed =
        start_is_whole_file ? length : std::min<std::uint64_t>(length, SHOWN_RECORD_LIMIT);
    for (std::uint64_t index = 0; index < wanted; index++) {
        std::uint64_t offset = layout.header_length + index * length;
        if (offset + needed > start.size())
            break;
        records.push_back(record_at(start, offset, length));
    }
    return records;
}

// Text in UTF-16 has its line ends in units of two bytes.
struct line_reader {
    byte_span bytes;
    unsigned unit;
    bool big_endian;
    unsigned line_feed;

    unsigned at(std::size_t offset) const
    {
        if (unit == 1)
            return bytes[offset];
        unsigned first = bytes[offset];
        unsigned second = bytes[offset + 1];
        return big_endian ? first << 8 | second : second << 8 | first;
    }

    bool holds(std::size_t offset) const
    {
        return offset + unit <= bytes.size();
    }

    // Bytes of the line end that begins at offset, 0 when none does.
    std::size_t terminator_at(std::size_t offset, line_terminator kind) const
    {
        unsigned value = at(offset);
        bool crlf =
            value == CARRIAGE_RETURN && holds(offset + unit) && at(offset + unit) == line_feed;
        switch (kind) {
        case line_terminator::lf:
            return value == line_feed ? unit : 0;
        case line_terminator::cr:
            return value == CARRIAGE_RETURN ? unit : 0;
        case line_terminator::nel:
            return value == EBCDIC_NEW_LINE ? unit : 0;
        case line_terminator::crlf:
            return crlf ? 2 * unit : value == line_feed ? unit : 0;
        case line_terminator::none:
        case line_terminator::mixed:
            break;
        }
        if (crlf)
            return 2 * unit;
        return value == line_feed || value == CARRIAGE_RETURN ? unit : 0;
    }
};

std::vector<shown_record> line_records(const file_layout& layout, byte_span start,
                                       bool start_is_whole_file, std::size_t wanted)
{
    std::vector<shown_record> records;
    bool utf16 =
        layout.encoding == text_encoding::utf16le || layout.encoding == text_encoding::utf16be;
    line_reader reader{start, utf16 ? 2u : 1u, layout.encoding == text_encoding::utf16be,
                       line_feed_byte(layout.encoding)};
    std::uint64_t line_start = layout.header_length;
    std::uint64_t at = line_start;
    std::optional<unsigned> quote;
    if (layout.quote)
        quote = encoded_byte(*layout.quote, layout.encoding);
    bool quoted = false;
    while (records.size() < wanted && reader.holds(at)) {
        if (quote && reader.at(at) == *quote)
            quoted = !quoted;
        std::size_t terminator = quoted ? 0 : reader.terminator_at(at, layout.terminator);
        if (terminator == 0) {
            at += reader.unit;
            continue;
        }
        records.push_back(record_at(start, line_start, at - line_start));
        at += terminator;
        line_start = at;
    }
    if (records.size() < wanted && start_is_whole_file && line_start < start.size())
        records.push_back(record_at(start, line_start, start.size() - line_start));
    return records;
}

// Segments ended by a byte of their own; line ends between them are not
// part of the next.
std::vector<shown_record> segment_records(const file_layout& layout, byte_span start,
                                          bool start_is_whole_file, std::size_t wanted)
{
    std::vector<shown_record> records;
    std::size_t at = layout.header_length;
    while (records.size() < wanted && at < start.size()) {
        while (at < start.size() && (start[at] == LINE_FEED || start[at] == CARRIAGE_RETURN))
            at++;
        std::size_t end = at;
        while (end < start.size() && start[end] != *layout.segment_terminator)
            end += layout.release && start[end] == *layout.release ? 2 : 1;
        end = std::min(end, start.size());
        if (end == start.size() && (!start_is_whole_file || end == at))
            break;
        // An empty segment is no record, as the survey counts none.
        if (end > at)
            records.push_back(record_at(start, at, end - at));
        at = end + 1;
    }
    return records;
}

std::vector<shown_record> prefixed_records(const file_layout& layout, byte_span start,
                                           std::size_t wanted)
{
    std::vector<shown_record> records;
    if (!layout.length_prefix)
        return records;
    for (auto [offset, length] : first_prefixed_records(*layout.length_prefix, start, wanted))
        records.push_back(record_at(start, offset, length));
    return records;
}

} // namespace

bool shows_fields(const file_layout& layout)
{
    return layout.delimiter || (layout.kind == record_layout::lines && !layout.columns.empty());
}

std::size_t shown_record_count(const file_layout& layout, std::optional<std::size_t> rows)
{
    if (!shows_fields(layout))
        return rows.value_or(SHOWN_RECORD_COUNT);
    // The row of column names is shown above the records, not among them.
    return rows.value_or(SHOWN_FIELD_RECORDS) + (layout.header_row ? 1 : 0);
}

std::vector<shown_record> pick_first_records(const file_layout& layout, byte_span start,
                                             bool start_is_whole_file,
                                             std::optional<std::size_t> rows)
{
    if (rows == 0)
        return {};
    // The trailer is no record: a closing rule or total is not shown among
    // them.
    if (start_is_whole_file && layout.trailer_length > 0 && layout.trailer_length < start.size())
        start = start.first(start.size() - layout.trailer_length);
    std::size_t wanted = shown_record_count(layout, rows);
    switch (layout.kind) {
    case record_layout::fixed_length:
        return fixed_length_records(layout, start, start_is_whole_file, wanted);
    case record_layout::lines:
        if (layout.segment_terminator)
            return segment_records(layout, start, start_is_whole_file, wanted);
        return line_records(layout, start, start_is_whole_file, wanted);
    case record_layout::length_prefixed:
        return prefixed_records(layout, start, wanted);
    case record_layout::unknown:
        if (!start.empty())
            return {record_at(start, 0, start.size())};
        break;
    case record_layout::empty:
        break;
    }
    return {};
}

bool records_checked(const survey_report& report)
{
    const file_layout& layout = report.layout;
    bool has_records =
        (layout.kind == record_layout::fixed_length && layout.record_length.value_or(0) > 0) ||
        layout.kind == record_layout::lines;
    return report.verified && (has_records || layout.length_prefix || !layout.record_types.empty());
}

namespace
{

// Lines in bytes, a last one without its line end included.
std::uint64_t lines_in(byte_span bytes, const file_layout& layout)
{
    if (bytes.empty())
        return 0;
    std::vector<line_span> lines =
        split_lines(bytes, 0, layout.terminator, layout.encoding, true, true);
    return lines.size();
}

} // namespace

void count_lines_around(survey_report& report, const file_sample& sample)
{
    const file_layout& layout = report.layout;
    if (layout.kind != record_layout::lines)
        return;
    // The byte order mark is no line of the header, though the header's
    // length counts it.
    std::uint64_t mark = !layout.byte_order_mark                  ? 0
                         : layout.encoding == text_encoding::utf8 ? 3
                                                                  : 2;
    if (layout.header_length <= sample.start.size() && mark <= layout.header_length)
        report.header_lines =
            lines_in(sample.start.subspan(mark, layout.header_length - mark), layout);
    if (layout.trailer_length == 0) {
        report.trailer_lines = 0;
        return;
    }
    if (!sample.file_size || layout.trailer_length > *sample.file_size)
        return;
    std::uint64_t from = *sample.file_size - layout.trailer_length;
    if (sample_is_whole_file(sample)) {
        report.trailer_lines = lines_in(sample.start.subspan(from), layout);
        return;
    }
    if (sample.later.empty())
        return;
    const sample_piece& end = sample.later.back();
    if (end.offset <= from && end.offset + end.bytes.size() == *sample.file_size)
        report.trailer_lines = lines_in(end.bytes.subspan(from - end.offset), layout);
}
