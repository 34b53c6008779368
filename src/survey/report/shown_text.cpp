#include "shown_text.h"

#include "../base/code_pages.h"

#include <array>
#include <cstdint>

namespace
{

// Code page 037, the commonest EBCDIC page, where it has printable ASCII.
constexpr char EBCDIC_TO_ASCII[257] = "................"
                                      "................"
                                      "................"
                                      "................"
                                      " ...........<(+|"
                                      "&.........!$*);."
                                      "-/.........,%_>?"
                                      ".........`:#@'=\""
                                      ".abcdefghi......"
                                      ".jklmnopqr......"
                                      ".~stuvwxyz......"
                                      "^.........[]...."
                                      "{ABCDEFGHI......"
                                      "}JKLMNOPQR......"
                                      "\\.STUVWXYZ......"
                                      "0123456789......";

// Latin-1's printable characters above ASCII start after its controls
// (and windows-1252's own characters there, shown as dots).
constexpr unsigned char FIRST_LATIN1_LETTER = 0xA0;
constexpr char32_t FIRST_BEYOND_ASCII = 0x80;
constexpr char32_t LAST_C1_CONTROL = 0x9F;

struct code_point {
    char32_t value = 0;
    // Bytes of the character; 0 where no valid character starts.
    std::size_t length = 0;
};

// The UTF-8 character at text[at]: shortest forms only, no surrogates.
code_point utf8_at(std::string_view text, std::size_t at)
{
    unsigned char lead = static_cast<unsigned char>(text[at]);
    std::size_t length = lead < 0x80    ? 1
                         : lead >= 0xF0 ? 4
                         : lead >= 0xE0 ? 3
                         : lead >= 0xC2 ? 2
                                        : 0;
    if (length == 0 || lead > 0xF4 || at + length > text.size())
        return {};
    char32_t value = length == 1 ? lead : lead & (0x7F >> length);
    for (std::size_t next = 1; next < length; next++) {
        unsigned char byte = static_cast<unsigned char>(text[at + next]);
        if ((byte & 0xC0) != 0x80)
            return {};
        value = value << 6 | (byte & 0x3F);
    }
    static constexpr std::array<char32_t, 5> least{0, 0, 0x80, 0x800, 0x10000};
    if (value < least[length] || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF))
        return {};
    return {value, length};
}

bool is_printable(char32_t value)
{
    return (value >= 0x20 && value < 0x7F) || value > LAST_C1_CONTROL;
}

// Columns a character takes: East Asian wide and fullwidth characters
// two, combining marks none, as terminals draw them (the ranges of the
// common wcwidth).
std::size_t columns_of(char32_t value)
{
    struct range {
        char32_t first, last;
    };
    static constexpr range combining[] = {{0x0300, 0x036F}, {0x0483, 0x0489}, {0x0591, 0x05BD},
                                          {0x0610, 0x061A}, {0x064B, 0x065F}, {0x1AB0, 0x1AFF},
                                          {0x1DC0, 0x1DFF}, {0x200B, 0x200F}, {0x20D0, 0x20FF},
                                          {0xFE00, 0xFE0F}, {0xFE20, 0xFE2F}};
    static constexpr range wide[] = {{0x1100, 0x115F},   {0x2E80, 0x303E},   {0x3041, 0x33FF},
                                     {0x3400, 0x4DBF},   {0x4E00, 0x9FFF},   {0xA000, 0xA4CF},
                                     {0xAC00, 0xD7A3},   {0xF900, 0xFAFF},   {0xFE30, 0xFE4F},
                                     {0xFF00, 0xFF60},   {0xFFE0, 0xFFE6},   {0x1F300, 0x1F64F},
                                     {0x1F900, 0x1F9FF}, {0x20000, 0x2FFFD}, {0x30000, 0x3FFFD}};
    for (const range& each : combining) {
        if (value >= each.first && value <= each.last)
            return 0;
    }
    for (const range& each : wide) {
        if (value >= each.first && value <= each.last)
            return 2;
    }
    return 1;
}

bool decodes(text_encoding encoding)
{
    return encoding == text_encoding::utf8 || encoding == text_encoding::ascii ||
           encoding == text_encoding::latin1 || encoding == text_encoding::windows1252 ||
           is_mapped_code_page(encoding);
}

// The character at text[at] as a UTF-8 terminal shows it; length 0 where
// it shows a dot.
code_point shown_at(std::string_view text, std::size_t at, text_encoding encoding)
{
    unsigned char byte = static_cast<unsigned char>(text[at]);
    code_point point;
    if (encoding == text_encoding::utf8)
        point = utf8_at(text, at);
    else if (is_mapped_code_page(encoding))
        point = {code_page_character(encoding, byte), 1};
    else if (byte < FIRST_BEYOND_ASCII || byte >= FIRST_LATIN1_LETTER)
        point = {byte, 1};
    return point.length > 0 && is_printable(point.value) ? point : code_point{};
}

char ascii_cell(unsigned char byte, text_encoding encoding)
{
    if (encoding == text_encoding::ebcdic)
        return EBCDIC_TO_ASCII[byte];
    return byte >= 0x20 && byte < 0x7F ? static_cast<char>(byte) : '.';
}

} // namespace

std::string shown_bytes(std::string_view record, std::size_t from, std::size_t to,
                        text_encoding encoding, bool utf8_terminal)
{
    std::string out;
    if (!utf8_terminal || !decodes(encoding)) {
        for (std::size_t at = from; at < to; at++)
            out += ascii_cell(static_cast<unsigned char>(record[at]), encoding);
        return out;
    }
    std::size_t at = from;
    // The tail of a character that began before from.
    while (at < to && encoding == text_encoding::utf8 &&
           (static_cast<unsigned char>(record[at]) & 0xC0) == 0x80) {
        out += '.';
        at++;
    }
    while (at < to) {
        code_point point = shown_at(record, at, encoding);
        std::size_t columns = point.length > 0 ? columns_of(point.value) : 0;
        if (point.length == 0 || at + point.length > to || columns > point.length) {
            out += '.';
            at++;
            continue;
        }
        append_utf8(out, point.value);
        out.append(point.length - columns, ' ');
        at += point.length;
    }
    return out;
}

std::string shown_value(std::string_view text, text_encoding encoding, bool utf8_terminal)
{
    if (!utf8_terminal || !decodes(encoding))
        return shown_bytes(text, 0, text.size(),
                           encoding == text_encoding::ebcdic ? text_encoding::ascii : encoding,
                           false);
    std::string out;
    for (std::size_t at = 0; at < text.size();) {
        code_point point = shown_at(text, at, encoding);
        if (point.length == 0) {
            out += '.';
            at++;
            continue;
        }
        append_utf8(out, point.value);
        at += point.length;
    }
    return out;
}

std::size_t shown_width(std::string_view shown)
{
    std::size_t width = 0;
    for (std::size_t at = 0; at < shown.size();) {
        code_point point = utf8_at(shown, at);
        width += point.length > 0 ? columns_of(point.value) : 1;
        at += std::max<std::size_t>(point.length, 1);
    }
    return width;
}

std::string shown_prefix(std::string_view shown, std::size_t width)
{
    std::size_t used = 0, at = 0;
    while (at < shown.size()) {
        code_point point = utf8_at(shown, at);
        std::size_t columns = point.length > 0 ? columns_of(point.value) : 1;
        if (used + columns > width)
            break;
        used += columns;
        at += std::max<std::size_t>(point.length, 1);
    }
    return std::string(shown.substr(0, at));
}
