// The survey's answer for one file: how its bytes are encoded and how its
// records are laid out, and what every record must look like for --verify.
#ifndef KORVALEN_FILE_LAYOUT_H
#define KORVALEN_FILE_LAYOUT_H

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

enum class text_encoding { ascii, utf8, utf16le, utf16be, latin1, ebcdic, binary };

enum class record_layout {
    empty,
    fixed_length, // records of one length without line ends
    lines,
    unknown,
};

enum class line_terminator { none, lf, crlf, cr, nel, mixed };

// A field of a record of one length, as byte offsets [start, end).
struct column_span {
    std::uint32_t start;
    std::uint32_t end;
};

// What the values of a column are, as loaders name them.
enum class value_type { integer, decimal, floating, date, time, datetime, boolean, text };

// A column of the records: its name, where it lies and what its values are.
struct column_description {
    std::string name;
    value_type type = value_type::text;
    // Of a fixed-width or fixed-length record's bytes; none for a field of
    // delimited text, which has its index (from 0) instead.
    std::optional<column_span> span;
    std::optional<std::uint32_t> index;
    // A strptime pattern for dates and times, e.g. "%d.%m.%Y %H:%M".
    std::string format;
    // Of numbers: the decimal mark, and the mark between groups of three
    // digits where the values have one.
    char decimal_mark = '.';
    std::optional<char> grouping_mark;
    // Digits before and after the decimal mark, the most any value has.
    std::uint32_t integer_digits = 0;
    std::uint32_t fraction_digits = 0;
    // Some values are missing: empty, or the marker null_marker says.
    bool nullable = false;
    std::string null_marker;
    // Why a column of mostly one type is text, empty when it is not.
    std::string why_text;
};

// The type's name as the survey's output gives it: "integer", "decimal",
// "float", "date", "time", "datetime", "boolean", "text".
const char* value_type_name(value_type type);

// What every record of the file showed in the sample, byte offset by byte
// offset, for records of one length: --verify holds each record to it.
struct record_profile {
    // Byte classes (byte_class.h) seen at each offset, as a bit set.
    std::vector<std::uint8_t> allowed_classes;
    // The one byte every sampled record holds at each offset, -1 where
    // the records differ.
    std::vector<std::int16_t> constant_byte;
};

// The encoding's name as the survey's output gives it: "ascii", "utf-8",
// "utf-16le", "utf-16be", "latin-1", "ebcdic", "binary".
const char* encoding_name(text_encoding encoding);

struct file_layout {
    text_encoding encoding = text_encoding::binary;
    bool byte_order_mark = false;
    // Fixed-length records, lines, or neither.
    record_layout kind = record_layout::unknown;
    line_terminator terminator = line_terminator::none;
    // From one record's start to the next, terminator included; none when
    // the records vary.
    std::optional<std::uint64_t> record_length;
    // Of records made of values of one size (the samples of an image's
    // rows), the size of one; none for records of other kinds.
    std::optional<std::uint64_t> element_length;
    // The commonest record length, also when the records vary.
    std::uint64_t usual_length = 0;
    // Bytes before the first record that has the layout, and after the
    // last whole one.
    std::uint64_t header_length = 0;
    std::uint64_t trailer_length = 0;
    std::optional<std::uint64_t> records;
    // The count is worked out from the size and the average length of the
    // sampled records rather than from a fixed length.
    bool records_estimated = false;
    std::optional<unsigned char> delimiter;
    std::optional<unsigned char> quote;
    std::optional<std::uint32_t> fields;
    // Where the sample's records leave fields out (an optional last
    // column), the fewest and most fields they regularly have; both 0 when
    // every record has the usual number.
    std::uint32_t fewest_fields = 0;
    std::uint32_t most_fields = 0;
    bool header_row = false;
    std::vector<column_span> columns;
    // Every column, named and typed: of delimited text, fixed-width text
    // and records a known format describes; empty otherwise.
    std::vector<column_description> described_columns;
    // A format whose own header stated the layout, e.g. "dBASE table";
    // empty when the layout comes from the bytes' statistics alone.
    std::string format_name;
    record_profile profile;
};

// Why a record breaks the layout, for the first that does.
struct record_anomaly {
    // Counting from 1, the first record after the header.
    std::uint64_t record;
    // Of the record's first byte, from the start of the file.
    std::uint64_t offset;
    std::string what;
};

struct verify_outcome {
    std::uint64_t records = 0;
    std::uint64_t anomalies = 0;
    std::optional<record_anomaly> first_anomaly;
};

#endif
