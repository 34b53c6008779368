#include "version_text.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace
{

constexpr std::size_t VERSION_TEXT_SIZE = 48;

const char* const MONTHS[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                              "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

void append_month(char* text, const char* date_stamp)
{
    for (int month = 0; month < 12; month++) {
        if (std::strncmp(date_stamp, MONTHS[month], 3) == 0) {
            std::size_t used = std::strlen(text);
            std::snprintf(text + used, VERSION_TEXT_SIZE - used, "%02d", month + 1);
            return;
        }
    }
}

} // namespace

char* build_version_text(const char* date_stamp, const char* time_stamp, const char* suffix)
{
    char* text = static_cast<char*>(std::malloc(VERSION_TEXT_SIZE));
    if (text == nullptr)
        return nullptr;
    std::snprintf(text, VERSION_TEXT_SIZE, "%.02s.", date_stamp + 9);
    append_month(text, date_stamp);

    std::size_t used = std::strlen(text);
    char day_tens = date_stamp[4] == ' ' ? '0' : date_stamp[4];
    std::snprintf(text + used, VERSION_TEXT_SIZE - used, ".%c%c.%.5s", day_tens, date_stamp[5],
                  time_stamp);
    // Only the stamps' colons become points: the suffix is added after.
    for (char* at = text; *at != '\0'; at++) {
        if (*at == ':')
            *at = '.';
    }
    if (suffix != nullptr) {
        used = std::strlen(text);
        std::snprintf(text + used, VERSION_TEXT_SIZE - used, "%s", suffix);
    }
    return text;
}
