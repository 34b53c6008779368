#include "progress_line.h"

#include <string_view>

namespace
{

constexpr std::string_view ELLIPSIS = "...";
// A name cut shorter than this says nothing: then it goes, with the place.
constexpr std::size_t SHORTEST_CUT_NAME = ELLIPSIS.size() + 4;

bool continues_a_character(char byte)
{
    return (static_cast<unsigned char>(byte) & 0xC0) == 0x80;
}

// The name in length bytes, its middle left out, never within the bytes of
// one UTF-8 character.
std::string cut_in_middle(const std::string& name, std::size_t length)
{
    if (name.size() <= length)
        return name;
    std::size_t kept = length - ELLIPSIS.size();
    std::size_t head = kept / 2;
    std::size_t tail_start = name.size() - (kept - head);
    while (head > 0 && continues_a_character(name[head]))
        head--;
    while (tail_start < name.size() && continues_a_character(name[tail_start]))
        tail_start++;
    return name.substr(0, head) + std::string(ELLIPSIS) + name.substr(tail_start);
}

// The line with the name cut to fit room, if it can be cut that far.
bool fit_name(const std::string& lead, const std::string& name, const std::string& rest,
              std::size_t room, std::string& line)
{
    std::size_t fixed = lead.size() + rest.size();
    if (fixed + name.size() <= room) {
        line = lead + name + rest;
        return true;
    }
    if (fixed + SHORTEST_CUT_NAME > room)
        return false;
    line = lead + cut_in_middle(name, room - fixed) + rest;
    return true;
}

std::string without_leading_blanks(const std::string& text)
{
    std::size_t first = text.find_first_not_of(' ');
    return first == std::string::npos ? std::string() : text.substr(first);
}

} // namespace

std::string fit_progress_line(const progress_parts& parts, int width)
{
    if (width <= 1)
        return parts.lead + parts.name + parts.figure + parts.place;
    // The last column stays free: a line that fills it wraps on some
    // terminals, and could not be rewritten in place.
    std::size_t room = static_cast<std::size_t>(width) - 1;
    std::string line;
    if (fit_name(parts.lead, parts.name, parts.figure + parts.place, room, line) ||
        fit_name(parts.lead, parts.name, parts.figure, room, line) ||
        fit_name("", parts.name, parts.figure, room, line))
        return line;
    std::string figure = without_leading_blanks(parts.figure);
    return figure.size() <= room ? figure : std::string();
}
