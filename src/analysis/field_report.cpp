#include "field_report.h"

#include "line_ends.h"

namespace
{

constexpr unsigned char DELIMITER = '|';
constexpr std::int32_t FIRST_FIELD_SHOWN = 80;

// Length of the first record with its terminator, showing the record when
// it ends in CR LF. A sample without a line end is taken as one record.
std::int32_t find_first_record(std::FILE* out, const unsigned char* sample,
                               std::int32_t valid_length)
{
    for (std::int32_t i = 0; i < valid_length; i++) {
        if (sample[i] == CR && i + 1 < valid_length && sample[i + 1] == LF) {
            std::fprintf(out,
                         "First record, %d characters. Not wrapped: Spaces not truncated\n"
                         "---------------------\n%.*s\n---------------------\n",
                         i + 2, i, reinterpret_cast<const char*>(sample));
            return i + 2;
        }
        if (sample[i] == LF)
            return i + 1;
    }
    return valid_length;
}

void report_first_field(std::FILE* out, const unsigned char* sample, std::int32_t record_length)
{
    std::int32_t width = 0;
    while (width < record_length && sample[width] != DELIMITER)
        width++;
    if (width > FIRST_FIELD_SHOWN)
        width = FIRST_FIELD_SHOWN;
    std::fprintf(out, "Field 1:                    %.*s<<TRUNCATED", width,
                 reinterpret_cast<const char*>(sample));
}

// The end search stops short of the record's last two bytes, which for
// a CR LF record are its terminator.
void report_delimiter(std::FILE* out, const unsigned char* sample, std::int32_t record_length,
                      std::int32_t at)
{
    std::int32_t end = at + 1;
    while (end < record_length - 2 && sample[end] != DELIMITER)
        end++;
    std::fprintf(out, "\nPipe at    %4d     %4d", at + 1, at);
    std::fprintf(out, "  %.*s<<", end - at, reinterpret_cast<const char*>(sample + at));
    std::fprintf(out, "%d", at - end);
}

} // namespace

void report_fields(std::FILE* out, const char* file_name, const unsigned char* sample,
                   std::int32_t valid_length)
{
    std::fprintf(out, "\nChecking fields in filename: %s\n", file_name);
    std::int32_t record_length = find_first_record(out, sample, valid_length);
    std::fprintf(out, "\nRecord len: %3d", record_length);
    std::fprintf(out, "\nFrom position 1   from 0\n");

    bool delimiter_found = false;
    if (record_length >= 1) {
        report_first_field(out, sample, record_length);
        for (std::int32_t at = 0; at < record_length; at++) {
            if (sample[at] == DELIMITER) {
                report_delimiter(out, sample, record_length, at);
                delimiter_found = true;
            }
        }
    }
    std::fprintf(out, "EOR");
    if (!delimiter_found)
        std::fprintf(out, "\n Can't find pipe delimeter");
    std::fprintf(out, "\n");
}
