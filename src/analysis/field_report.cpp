#include "field_report.h"

#include "line_end_bytes.h"

#include <cstring>

namespace
{

constexpr unsigned char DELIMITER = '|';
constexpr std::int32_t FIRST_FIELD_SHOWN = 80;

// Offset of the first byte in [from, to) that is byte, or to.
std::int32_t offset_of(const unsigned char* sample, std::int32_t from, std::int32_t to,
                       unsigned char byte)
{
    if (from >= to)
        return to;
    const void* found = std::memchr(sample + from, byte, static_cast<std::size_t>(to - from));
    return found == nullptr
               ? to
               : static_cast<std::int32_t>(static_cast<const unsigned char*>(found) - sample);
}

// Length of the first record with its terminator, showing the record when
// it ends in CR LF. A sample without a line end is taken as one record.
// The first line feed ends it: as CR LF when a CR stands right before it.
std::int32_t find_first_record(std::FILE* out, const unsigned char* sample,
                               std::int32_t valid_length)
{
    std::int32_t line_feed = offset_of(sample, 0, valid_length, LF);
    if (line_feed == valid_length)
        return valid_length;
    if (line_feed > 0 && sample[line_feed - 1] == CR) {
        std::int32_t i = line_feed - 1;
        std::fprintf(out,
                     "First record, %d characters. Not wrapped: Spaces not truncated\n"
                     "---------------------\n%.*s\n---------------------\n",
                     i + 2, i, reinterpret_cast<const char*>(sample));
        return i + 2;
    }
    return line_feed + 1;
}

void report_first_field(std::FILE* out, const unsigned char* sample, std::int32_t record_length)
{
    std::int32_t width = offset_of(sample, 0, record_length, DELIMITER);
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
    if (end < record_length - 2)
        end = offset_of(sample, end, record_length - 2, DELIMITER);
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
        for (std::int32_t at = offset_of(sample, 0, record_length, DELIMITER); at < record_length;
             at = offset_of(sample, at + 1, record_length, DELIMITER)) {
            report_delimiter(out, sample, record_length, at);
            delimiter_found = true;
        }
    }
    std::fprintf(out, "EOR");
    if (!delimiter_found)
        std::fprintf(out, "\n Can't find pipe delimeter");
    std::fprintf(out, "\n");
}
