#include "text_lines.h"

#include <cstring>

namespace
{

constexpr std::uint64_t LOW_SEVEN_BITS = 0x7F7F7F7F7F7F7F7Fu;
constexpr std::uint64_t EVERY_BYTE = 0x0101010101010101u;
constexpr std::uint64_t EVERY_OTHER_BYTE = 0x00FF00FF00FF00FFu;
// Lane counts of one byte each add up at most two a word: this many words
// before they are added into the total.
constexpr std::size_t WORDS_PER_FLUSH = 127;

// 1 in each byte of word that is zero, 0 in the others.
std::uint64_t zero_bytes(std::uint64_t word)
{
    return (~(((word & LOW_SEVEN_BITS) + LOW_SEVEN_BITS) | word) & ~LOW_SEVEN_BITS) >> 7;
}

std::uint64_t lane_total(std::uint64_t lanes)
{
    std::uint64_t pairs = (lanes & EVERY_OTHER_BYTE) + (lanes >> 8 & EVERY_OTHER_BYTE);
    return pairs * 0x0001000100010001u >> 48;
}

// How many LF and CR bytes text holds, eight bytes at a time: a bound on
// its lines, so that their vector is allocated once.
std::size_t count_line_end_bytes(std::string_view text)
{
    std::size_t total = 0, at = 0;
    while (at + sizeof(std::uint64_t) <= text.size()) {
        std::uint64_t lanes = 0;
        for (std::size_t word = 0;
             word < WORDS_PER_FLUSH && at + sizeof(std::uint64_t) <= text.size(); word++) {
            std::uint64_t bytes;
            std::memcpy(&bytes, text.data() + at, sizeof bytes);
            lanes +=
                zero_bytes(bytes ^ ('\n' * EVERY_BYTE)) + zero_bytes(bytes ^ ('\r' * EVERY_BYTE));
            at += sizeof(std::uint64_t);
        }
        total += lane_total(lanes);
    }
    for (; at < text.size(); at++)
        total += text[at] == '\n' || text[at] == '\r';
    return total;
}

} // namespace

std::vector<text_line> split_text_lines(std::string_view text, bool at_end)
{
    std::vector<text_line> lines;
    lines.reserve(count_line_end_bytes(text) + 1);
    std::size_t start = 0;
    // The next line end is the nearer of the next LF and the next CR; each
    // is looked for again only once the scan has passed it.
    std::size_t next_lf = 0, next_cr = 0;
    for (std::size_t at = 0; at < text.size(); at++) {
        if (next_lf != std::string_view::npos && next_lf < at)
            next_lf = text.find('\n', at);
        if (next_cr != std::string_view::npos && next_cr < at)
            next_cr = text.find('\r', at);
        if (at == 0) {
            next_lf = text.find('\n');
            next_cr = text.find('\r');
        }
        std::size_t next = std::min(next_lf, next_cr);
        if (next == std::string_view::npos)
            break;
        at = next;
        char byte = text[at];
        std::size_t after = at + 1;
        if (byte == '\r') {
            if (after == text.size() && !at_end)
                break;
            if (after < text.size() && text[after] == '\n')
                after++;
        }
        lines.push_back({text.substr(start, at - start), start, after, true});
        start = after;
        at = after - 1;
    }
    if (start < text.size() && at_end)
        lines.push_back({text.substr(start), start, text.size(), false});
    return lines;
}

bool is_blank_line(std::string_view line)
{
    // Written out, as below: a search for any of a set of bytes calls the
    // library at every byte, and every line is asked.
    for (char byte : line) {
        if (byte != ' ' && byte != '\t' && byte != '\f' && byte != '\v')
            return false;
    }
    return true;
}

bool is_comment_line(std::string_view line)
{
    std::size_t first = 0;
    while (first < line.size() && (line[first] == ' ' || line[first] == '\t'))
        first++;
    if (first == line.size())
        return false;
    // Compared byte by byte: a call to compare one or two bytes at every
    // line costs more than the comparison.
    char lead = line[first];
    char next = first + 1 < line.size() ? line[first + 1] : '\0';
    return lead == '#' || lead == '%' || (lead == '/' && next == '/') ||
           (lead == '-' && next == '-') || lead == '!' || lead == '\\' || lead == ';';
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
