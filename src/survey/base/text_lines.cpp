#include "text_lines.h"

#include "byte_kernels.h"

#include <algorithm>
#include <array>
#include <bit>

namespace
{

// Room for the lines of text reserved at first, as if lines were this
// long: a guess, not a bound, as a pass to count them would cost half as
// much again as the split; memory reserved and not used is never touched.
constexpr std::size_t GUESSED_LINE_BYTES = 24;

// Lines end short of a block of this many bytes, marked at once.
constexpr std::size_t BLOCK = 64;

} // namespace

// The line ends of a block of text marked at once by the widest kernel,
// then taken in order: a search for each end from the last would call the
// kernel at every line, and most lines are shorter than the block.
std::vector<text_line> split_text_lines(std::string_view text, bool at_end, bool feeds_only)
{
    static const either_marks_kernel mark_ends = usable_byte_kernels().back().either_marks;
    std::vector<text_line> lines;
    lines.reserve(text.size() / GUESSED_LINE_BYTES + 1);
    const unsigned char* bytes = reinterpret_cast<const unsigned char*>(text.data());
    unsigned char second_end = feeds_only ? '\n' : '\r';
    std::size_t start = 0;
    for (std::size_t block = 0; block < text.size(); block += BLOCK) {
        std::uint64_t ends =
            mark_ends(bytes + block, std::min(BLOCK, text.size() - block), '\n', second_end);
        for (; ends != 0; ends &= ends - 1) {
            std::size_t at = block + static_cast<std::size_t>(std::countr_zero(ends));
            // The LF of a CR LF, taken with its CR.
            if (at < start)
                continue;
            std::size_t after = at + 1;
            if (text[at] == '\r') {
                if (after == text.size() && !at_end)
                    return lines;
                if (after < text.size() && text[after] == '\n')
                    after++;
            }
            lines.push_back({text.substr(start, at - start), start, after, true});
            start = after;
        }
    }
    if (start < text.size() && at_end)
        lines.push_back({text.substr(start), start, text.size(), false});
    return lines;
}

kept_lines keep_lines(std::string_view text, bool at_end)
{
    return {text, at_end, split_text_lines(text, at_end),
            text.find('\r') != std::string_view::npos};
}

// A split looks no further back than a line's start, and no further on
// than the byte after a CR: from a line's start the two splits agree up
// to the part's end. There a CR may end a line in the part alone, or
// (not at the end) a line still open: those the part's split leaves out
// or keeps otherwise.
std::optional<std::span<const text_line>> kept_lines_of(const kept_lines& kept,
                                                        std::string_view part, bool at_end)
{
    std::uintptr_t base = reinterpret_cast<std::uintptr_t>(kept.text.data());
    std::uintptr_t from = reinterpret_cast<std::uintptr_t>(part.data());
    if (from < base || from - base > kept.text.size() ||
        part.size() > kept.text.size() - (from - base))
        return std::nullopt;
    std::size_t start = from - base, end = start + part.size();
    const std::vector<text_line>& lines = kept.lines;
    if (start == end)
        return std::span<const text_line>();
    auto first =
        std::lower_bound(lines.begin(), lines.end(), start,
                         [](const text_line& line, std::size_t at) { return line.start < at; });
    if (first == lines.end() || first->start != start)
        return std::nullopt;
    if (end == kept.text.size() && at_end == kept.at_end)
        return std::span<const text_line>(first, lines.end());
    auto last =
        std::upper_bound(first, lines.end(), end,
                         [](std::size_t at, const text_line& line) { return at < line.end; });
    if (at_end) {
        if (last == first || std::prev(last)->end != end)
            return std::nullopt;
        return std::span<const text_line>(first, last);
    }
    if (last != first && std::prev(last)->end == end &&
        (!std::prev(last)->terminated || kept.text[end - 1] == '\r'))
        last--;
    return std::span<const text_line>(first, last);
}

bool holds_only_blanks(std::string_view line)
{
    // Written out, as below: a search for any of a set of bytes calls the
    // library at every byte, and every line is asked.
    for (char byte : line) {
        if (byte != ' ' && byte != '\t' && byte != '\f' && byte != '\v')
            return false;
    }
    return true;
}

namespace
{

std::size_t leading_blanks(std::string_view line)
{
    std::size_t first = 0;
    while (first < line.size() && (line[first] == ' ' || line[first] == '\t'))
        first++;
    return first;
}

// A '#' straight before 6 or 8 hex digits, then a blank, a comma or the
// line's end, writes a colour (#ff00aa): palettes and colour tables lead
// every record with one. Three digits are more often a commented-out
// entry's number (#176 Right-Basal-Ganglia) than a short colour. Seldom
// asked, and kept out of line so that the test for a mark stays inline.
[[gnu::noinline]] bool is_hex_colour_at(std::string_view line, std::size_t mark)
{
    auto hex = [](char byte) {
        return (byte >= '0' && byte <= '9') || ((byte | 0x20) >= 'a' && (byte | 0x20) <= 'f');
    };
    std::size_t end = mark + 1;
    while (end < line.size() && hex(line[end]))
        end++;
    std::size_t digits = end - mark - 1;
    bool ended = end == line.size() || line[end] == ' ' || line[end] == '\t' || line[end] == ',' ||
                 line[end] == '\r';
    return ended && (digits == 6 || digits == 8);
}

// Whether a comment's mark opens the line at first, a byte that is not
// blank. Compared byte by byte: a call to compare one or two bytes at
// every line costs more than the comparison.
[[gnu::always_inline]] inline bool comment_mark_at(std::string_view line, std::size_t first)
{
    char lead = line[first];
    char next = first + 1 < line.size() ? line[first + 1] : '\0';
    if (lead == '#')
        return !is_hex_colour_at(line, first);
    // A backslash opens a comment as Forth's does, before a blank or the
    // line's end; before anything else it escapes it (a pattern's `\.gif$`).
    bool backslash = lead == '\\' &&
                     (next == ' ' || next == '\t' || next == '\r' || next == '\0' || next == '\\');
    return lead == '%' || (lead == '/' && next == '/') || (lead == '-' && next == '-') ||
           lead == '!' || backslash || lead == ';';
}

// Bytes a blank or commented line may open with; most lines open with
// a value and are passed over at their first byte.
constexpr std::array<bool, 256> MAY_OPEN_COMMENT = [] {
    std::array<bool, 256> may{};
    for (unsigned char byte : {' ', '\t', '\f', '\v', '#', '%', '/', '-', '!', '\\', ';'})
        may[byte] = true;
    return may;
}();

bool opens_with_value(std::string_view line)
{
    return !line.empty() && !MAY_OPEN_COMMENT[static_cast<unsigned char>(line.front())];
}

} // namespace

bool is_comment_line(std::string_view line)
{
    if (opens_with_value(line))
        return false;
    std::size_t first = leading_blanks(line);
    return first < line.size() && comment_mark_at(line, first);
}

bool is_blank_or_comment_line(std::string_view line)
{
    if (opens_with_value(line))
        return false;
    std::size_t first = leading_blanks(line);
    if (first == line.size())
        return true;
    // A form feed or vertical tab leads no comment; the line is blank if
    // only blanks follow it.
    if (line[first] == '\f' || line[first] == '\v')
        return is_blank_line(line.substr(first));
    return comment_mark_at(line, first);
}

std::size_t front_matter_lines(const std::vector<text_line>& lines)
{
    if (lines.empty() || lines[0].text != "---")
        return 0;
    for (std::size_t line = 1; line < lines.size() && line < 1000; line++) {
        if (lines[line].text == "---" || lines[line].text == "...")
            return line + 1;
    }
    return 0;
}

bool ends_lines_often(const unsigned char* bytes, std::size_t count,
                      std::uint64_t most_bytes_per_line)
{
    std::uint64_t line_ends = 0;
    for (std::size_t at = 0; at < count; at++)
        line_ends += bytes[at] == '\n' || bytes[at] == '\r';
    return count <= most_bytes_per_line ||
           (line_ends > 0 && count / line_ends <= most_bytes_per_line);
}
