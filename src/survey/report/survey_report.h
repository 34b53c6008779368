// What the survey tells about one file, as its text and JSON output show it.
#ifndef KORVALEN_SURVEY_REPORT_H
#define KORVALEN_SURVEY_REPORT_H

#include "../base/file_layout.h"
#include "../base/file_sample.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// A record's bytes for the picture; the longest records are cut.
constexpr std::size_t SHOWN_RECORD_LIMIT = 4096;
// Records of bytes are pictured three at a time; text records of fields
// five at a time under a row of their names.
constexpr std::size_t SHOWN_RECORD_COUNT = 3;
constexpr std::size_t SHOWN_FIELD_RECORDS = 5;

// Whether the picture is a table of fields rather than of bytes.
bool shows_fields(const file_layout& layout);

// How many records the picture of a layout takes: rows when given (the
// row of column names besides), else the picture's own count.
std::size_t shown_record_count(const file_layout& layout,
                               std::optional<std::size_t> rows = std::nullopt);

struct shown_record {
    // Of its first byte, from the start of the file.
    std::uint64_t offset;
    // Its whole length without a line end; bytes may hold less.
    std::uint64_t length;
    std::string bytes;
};

struct survey_report {
    // As given on the command line.
    std::string name;
    // None for a stream.
    std::optional<std::uint64_t> size;
    // Why the file could not be surveyed; then nothing below counts.
    std::optional<std::string> error;
    file_layout layout;
    // --verify read the whole file; its records were checked only when the
    // layout has some (records_checked).
    bool verified = false;
    verify_outcome outcome;
    // The first records after the header, or for a layout without
    // records the file's first bytes as one.
    std::vector<shown_record> first_records;
    // Lines of the header and of the trailer, for loaders that skip lines
    // rather than bytes; none where the sample does not hold them.
    std::optional<std::uint64_t> header_lines;
    std::optional<std::uint64_t> trailer_lines;
};

// Whether --verify checked records: it did not for a layout without any
// (empty, unknown), nor without --verify.
bool records_checked(const survey_report& report);

// Counts the lines of the layout's header and trailer in the sample.
void count_lines_around(survey_report& report, const file_sample& sample);

// The first records of start, the first bytes of the file, as layout
// divides them (line ends inside quotes do not end a record). A line that
// start cuts off counts only when start is the whole file. Rows of 0 pick
// none, not even the first bytes of a file without a layout.
std::vector<shown_record> pick_first_records(const file_layout& layout, byte_span start,
                                             bool start_is_whole_file,
                                             std::optional<std::size_t> rows = std::nullopt);

#endif
