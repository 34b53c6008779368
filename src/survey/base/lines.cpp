#include "lines.h"

#include <cstring>

namespace
{

constexpr unsigned char CR = 0x0D;
constexpr unsigned char LF = 0x0A;
constexpr unsigned char EBCDIC_NEL = 0x15;
constexpr unsigned char EBCDIC_LF = 0x25;

// A text unit: a byte, or a UTF-16 code unit.
struct unit_reader {
    byte_span bytes;
    text_encoding encoding;

    std::size_t width() const
    {
        return encoding == text_encoding::utf16le || encoding == text_encoding::utf16be ? 2 : 1;
    }

    std::size_t count() const
    {
        return bytes.size() / width();
    }

    unsigned at(std::size_t unit) const
    {
        if (encoding == text_encoding::utf16le)
            return bytes[2 * unit] | bytes[2 * unit + 1] << 8;
        if (encoding == text_encoding::utf16be)
            return bytes[2 * unit] << 8 | bytes[2 * unit + 1];
        return bytes[unit];
    }
};

bool is_lf(const unit_reader& reader, unsigned unit)
{
    return unit == LF || (reader.encoding == text_encoding::ebcdic && unit == EBCDIC_LF);
}

// Units of the line end that starts at unit, 0 when none starts there.
std::size_t line_end_at(const unit_reader& reader, std::size_t unit, line_terminator terminator,
                        bool at_end)
{
    unsigned value = reader.at(unit);
    bool next_is_lf = unit + 1 < reader.count() && is_lf(reader, reader.at(unit + 1));
    bool cr_at_cut = unit + 1 == reader.count() && !at_end;
    switch (terminator) {
    case line_terminator::lf:
        return is_lf(reader, value) ? 1 : 0;
    case line_terminator::crlf:
        return value == CR && next_is_lf ? 2 : 0;
    case line_terminator::cr:
        return value == CR && !next_is_lf && !cr_at_cut ? 1 : 0;
    case line_terminator::nel:
        return reader.encoding == text_encoding::ebcdic && value == EBCDIC_NEL ? 1 : 0;
    case line_terminator::mixed:
        if (value == CR)
            return next_is_lf ? 2 : cr_at_cut ? 0 : 1;
        if (is_lf(reader, value))
            return 1;
        return reader.encoding == text_encoding::ebcdic && value == EBCDIC_NEL ? 1 : 0;
    case line_terminator::none:
        return 0;
    }
    return 0;
}

// Bytes of ASCII and its relatives: line ends found a memchr at a time.
line_end_census count_byte_line_ends(byte_span bytes, bool at_end)
{
    line_end_census census;
    const unsigned char* at = bytes.data();
    const unsigned char* end = at + bytes.size();
    while (at < end) {
        const unsigned char* lf = static_cast<const unsigned char*>(std::memchr(at, LF, end - at));
        const unsigned char* stop = lf != nullptr ? lf : end;
        for (const unsigned char* cr =
                 static_cast<const unsigned char*>(std::memchr(at, CR, stop - at));
             cr != nullptr;
             cr = static_cast<const unsigned char*>(std::memchr(cr + 1, CR, stop - cr - 1))) {
            if (cr + 1 == stop && lf != nullptr)
                census.crlf++;
            else if (cr + 1 < end || at_end)
                census.cr++;
        }
        if (lf == nullptr)
            break;
        if (lf == bytes.data() || lf[-1] != CR)
            census.lf++;
        at = lf + 1;
    }
    return census;
}

} // namespace

line_end_census count_line_ends(byte_span bytes, text_encoding encoding, bool at_end)
{
    if (encoding != text_encoding::ebcdic && encoding != text_encoding::utf16le &&
        encoding != text_encoding::utf16be)
        return count_byte_line_ends(bytes, at_end);
    unit_reader reader{bytes, encoding};
    line_end_census census;
    std::size_t count = reader.count();
    for (std::size_t unit = 0; unit < count; unit++) {
        unsigned value = reader.at(unit);
        if (value == CR) {
            if (unit + 1 < count && is_lf(reader, reader.at(unit + 1))) {
                census.crlf++;
                unit++;
            } else if (unit + 1 < count || at_end) {
                census.cr++;
            }
        } else if (is_lf(reader, value)) {
            census.lf++;
        } else if (encoding == text_encoding::ebcdic && value == EBCDIC_NEL) {
            census.nel++;
        }
    }
    return census;
}

std::uint64_t total_line_ends(const line_end_census& census)
{
    return census.lf + census.crlf + census.cr + census.nel;
}

namespace
{

// Lines of single bytes ended by LF or CR LF, found a memchr at a time.
std::vector<line_span> split_byte_lines(byte_span bytes, std::uint64_t offset, bool crlf,
                                        bool at_start, bool at_end)
{
    std::vector<line_span> lines;
    const unsigned char* start = bytes.data();
    const unsigned char* line = start;
    const unsigned char* end = start + bytes.size();
    bool start_known = at_start;
    for (const unsigned char* at = start; at < end;) {
        const unsigned char* lf = static_cast<const unsigned char*>(std::memchr(at, LF, end - at));
        if (lf == nullptr)
            break;
        at = lf + 1;
        if (crlf && (lf == start || lf[-1] != CR))
            continue;
        if (start_known)
            lines.push_back({offset + static_cast<std::uint64_t>(line - start),
                             static_cast<std::uint64_t>(at - line), true});
        start_known = true;
        line = at;
    }
    if (at_end && start_known && line < end)
        lines.push_back({offset + static_cast<std::uint64_t>(line - start),
                         static_cast<std::uint64_t>(end - line), false});
    return lines;
}

} // namespace

std::vector<line_span> split_lines(byte_span bytes, std::uint64_t offset,
                                   line_terminator terminator, text_encoding encoding,
                                   bool at_start, bool at_end)
{
    bool single_bytes = encoding != text_encoding::ebcdic && encoding != text_encoding::utf16le &&
                        encoding != text_encoding::utf16be;
    if (single_bytes && (terminator == line_terminator::lf || terminator == line_terminator::crlf))
        return split_byte_lines(bytes, offset, terminator == line_terminator::crlf, at_start,
                                at_end);
    unit_reader reader{bytes, encoding};
    std::size_t width = reader.width();
    std::vector<line_span> lines;
    std::size_t count = reader.count();
    std::size_t line_start = 0;
    bool start_known = at_start;
    for (std::size_t unit = 0; unit < count; unit++) {
        std::size_t end_units = line_end_at(reader, unit, terminator, at_end);
        if (end_units == 0)
            continue;
        std::size_t next = unit + end_units;
        if (start_known)
            lines.push_back({offset + line_start * width, (next - line_start) * width, true});
        start_known = true;
        line_start = next;
        unit = next - 1;
    }
    if (at_end && start_known && line_start < count)
        lines.push_back({offset + line_start * width, (count - line_start) * width, false});
    return lines;
}
