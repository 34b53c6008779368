#include "lines.h"

#include "byte_kernels.h"

#include <algorithm>
#include <bit>

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

// Line ends marked a block at a time, then taken in order.
constexpr std::size_t BLOCK = 64;

// Calls each(at) for every byte at that is first or second, in order.
template <typename Each>
void each_either(byte_span bytes, unsigned char first, unsigned char second, Each each)
{
    static const either_marks_kernel mark = usable_byte_kernels().back().either_marks;
    for (std::size_t block = 0; block < bytes.size(); block += BLOCK) {
        std::uint64_t marks =
            mark(bytes.data() + block, std::min(BLOCK, bytes.size() - block), first, second);
        for (; marks != 0; marks &= marks - 1)
            each(block + static_cast<std::size_t>(std::countr_zero(marks)));
    }
}

// Bytes of ASCII and its relatives: a CR before an LF ends a line with
// it, a CR at the very end of the bytes only where they end the file.
line_end_census count_byte_line_ends(byte_span bytes, bool at_end)
{
    line_end_census census;
    each_either(bytes, LF, CR, [&](std::size_t at) {
        if (bytes[at] == CR) {
            if (at + 1 < bytes.size() && bytes[at + 1] == LF)
                census.crlf++;
            else if (at + 1 < bytes.size() || at_end)
                census.cr++;
        } else if (at == 0 || bytes[at - 1] != CR) {
            census.lf++;
        }
    });
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

// Lines of single bytes ended by LF or CR LF.
std::vector<line_span> split_byte_lines(byte_span bytes, std::uint64_t offset, bool crlf,
                                        bool at_start, bool at_end)
{
    std::vector<line_span> lines;
    std::size_t line = 0;
    bool start_known = at_start;
    each_either(bytes, LF, LF, [&](std::size_t lf) {
        if (crlf && (lf == 0 || bytes[lf - 1] != CR))
            return;
        if (start_known)
            lines.push_back({offset + line, lf + 1 - line, true});
        start_known = true;
        line = lf + 1;
    });
    if (at_end && start_known && line < bytes.size())
        lines.push_back({offset + line, bytes.size() - line, false});
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
