#include "banner.h"

#include "../process/platform.h"
#include "version_text.h"

#include <array>
#include <cstring>

namespace
{

constexpr int SCREEN_WIDTH = 80;
constexpr std::size_t BOX_WIDTH = 76;
constexpr std::size_t BOX_INTERIOR = BOX_WIDTH - 2;
constexpr std::size_t HALF_WIDTH = BOX_WIDTH / 2;
constexpr unsigned BLANK_LINE_TARGET = 30;
constexpr std::size_t LINE_BUFFER_SIZE = 320;

using box_line = std::array<char, BOX_WIDTH + 1>;

// The box is drawn in code page 437, the console's own character set.
constexpr box_line make_box_line(char left, char inside, char right)
{
    box_line line{};
    line[0] = left;
    for (std::size_t column = 1; column <= BOX_INTERIOR; column++)
        line[column] = inside;
    line[BOX_WIDTH - 1] = right;
    return line;
}

constexpr box_line BOX_TOP = make_box_line('\xC9', '\xCD', '\xBB');
constexpr box_line BOX_EMPTY = make_box_line('\xBA', ' ', '\xBA');
constexpr box_line BOX_BOTTOM = make_box_line('\xC8', '\xCD', '\xBC');

const char* const VERSION_SUFFIX = "\xFB";
const char* const VENDOR_NOTICE = "Record layout finder for flat, delimited and fixed-length files";
const char* const VENDOR_CONTACT = "Documentation: README.md and the korvalen(1) manual page";

// Kept to the end of the process, as the banner's caller keeps it.
char* version_text = nullptr;

void write_box_line(std::FILE* stream, const char* line)
{
    print_centred(stream, line, SCREEN_WIDTH);
    std::fputs("\n", stream);
}

void write_text_in_box(std::FILE* stream, const char* text)
{
    char line[LINE_BUFFER_SIZE];
    place_in_box(line, text);
    write_box_line(stream, line);
}

} // namespace

void place_in_box(char* line, const char* text)
{
    std::memcpy(line, BOX_EMPTY.data(), BOX_EMPTY.size());
    std::size_t length = std::strlen(text);
    if (length > BOX_INTERIOR)
        length = BOX_INTERIOR;
    std::memcpy(line + HALF_WIDTH - length / 2, text, length);
}

int print_centred(std::FILE* stream, const char* text, int width)
{
    int leading = (width - static_cast<int>(std::strlen(text))) / 2;
    if (leading < 0)
        leading = 0;
    int spaces_written = std::fprintf(stream, "%*s", leading, "");
    int text_written = platform_write_cp437(stream, text);
    if (spaces_written < 0 || text_written < 0)
        return -1;
    return spaces_written + text_written;
}

unsigned print_banner(std::FILE* stream, unsigned lines_used)
{
    if (version_text == nullptr)
        version_text = build_version_text(__DATE__, __TIME__, VERSION_SUFFIX);
    if (version_text == nullptr)
        return lines_used;
    char version_line[LINE_BUFFER_SIZE];
    std::snprintf(version_line, sizeof version_line, "Ver. %s (32 BIT) ", version_text);

    for (unsigned line = lines_used; line < BLANK_LINE_TARGET; line++)
        std::fputs("\n", stream);
    write_box_line(stream, BOX_TOP.data());
    write_text_in_box(stream, "KORVALEN");
    write_text_in_box(stream, version_line);
    write_box_line(stream, BOX_EMPTY.data());
    write_text_in_box(stream, VENDOR_NOTICE);
    write_text_in_box(stream, VENDOR_CONTACT);
    write_box_line(stream, BOX_BOTTOM.data());
    return lines_used + 6;
}
