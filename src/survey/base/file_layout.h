// The survey's answer for one file: how its bytes are encoded and how its
// records are laid out, and what every record must look like for --verify.
#ifndef KORVALEN_FILE_LAYOUT_H
#define KORVALEN_FILE_LAYOUT_H

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

enum class text_encoding {
    ascii,
    utf8,
    utf16le,
    utf16be,
    latin1,
    ebcdic,
    // East Asian encodings of one or two bytes a character (GB18030 also
    // four), whose bytes below 0x80 are ASCII where they stand alone.
    shift_jis,
    euc_jp,
    euc_kr,
    gb18030,
    big5,
    // Latin-1 with printable characters (quotes, dashes, the euro) in
    // 0x80 to 0x9F.
    windows1252,
    // Single-byte pages of Cyrillic (KOI8-R, Windows-1251, ISO 8859-5)
    // and Greek (ISO 8859-7, Windows-1253) text, ASCII below 0x80.
    koi8_r,
    windows1251,
    iso8859_5,
    iso8859_7,
    windows1253,
    // Central European Latin: ISO 8859-2 and Windows-1250.
    iso8859_2,
    windows1250,
    // Seven-bit Japanese whose escape sequences shift between ASCII and
    // JIS X 0208 pairs of printable bytes.
    iso2022jp,
    binary
};

enum class record_layout {
    empty,
    fixed_length, // records of one length without line ends
    lines,
    unknown,
    length_prefixed, // each record led by its own length
};

enum class line_terminator { none, lf, crlf, cr, nel, mixed };

// A field of a record of one length, as byte offsets [start, end).
struct column_span {
    std::uint32_t start;
    std::uint32_t end;
};

// What the values of a column are, as loaders name them.
enum class value_type { integer, decimal, floating, date, time, datetime, boolean, text };

// How a field of binary records holds its value: text in the records'
// code, a mainframe's zoned or packed decimal digits, a binary integer,
// bytes every record has alike (filler), or bytes of no form the records
// agree on.
enum class binary_form { text, zoned_decimal, packed_decimal, integer, filler, bytes };

// The form's name as the survey's output gives it: "text", "zoned_decimal",
// "packed_decimal", "integer", "filler", "bytes".
const char* binary_form_name(binary_form form);

struct binary_field {
    binary_form form = binary_form::bytes;
    // Of an integer.
    bool big_endian = false;
    // Of numbers: some record's value may be negative (a sign nibble, or
    // an integer's top bit set where the top byte extends the sign).
    bool is_signed = false;
    // Of text: the code its bytes are read in, ebcdic or ascii.
    text_encoding code = text_encoding::ebcdic;
};

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
    // Of binary records, how the field's bytes hold its value; type is
    // then the nearest loaders' type (integer, decimal, text).
    std::optional<binary_field> binary;
};

// The type's name as the survey's output gives it: "integer", "decimal",
// "float", "date", "time", "datetime", "boolean", "text".
const char* value_type_name(value_type type);

// The type as the survey's output gives it: the binary form where the
// column has one, else value_type_name.
const char* column_type_name(const column_description& column);

// What every record of the file showed in the sample, byte offset by byte
// offset, for records of one length: --verify holds each record to it.
struct record_profile {
    // Byte classes (byte_class.h) seen at each offset, as a bit set.
    std::vector<std::uint8_t> allowed_classes;
    // The one byte every sampled record holds at each offset, -1 where
    // the records differ.
    std::vector<std::int16_t> constant_byte;
};

// How each record of a length-prefixed file states its length: a prefix
// of `size` bytes whose first `length_bytes` hold it (the rest zero), as a
// mainframe's record descriptor word, a Fortran record marker or a message
// stream's length field has it.
struct length_prefix_form {
    std::uint32_t size = 4;
    std::uint32_t length_bytes = 4;
    bool big_endian = false;
    // The length counts the prefix's own bytes too.
    bool counts_itself = false;
    // The same prefix follows the record again (Fortran's unformatted
    // sequential files).
    bool repeated_after = false;
    // Records come in blocks, each led by a prefix of the same form that
    // counts the whole block.
    bool blocks = false;
};

// One type of the records of a file whose records of several types each
// begin with their type's tag.
struct record_type {
    std::string tag;
    std::uint64_t records = 0;
    // The fewest and most fields its records have.
    std::uint32_t fewest_fields = 0;
    std::uint32_t most_fields = 0;
};

// The encoding's name as the survey's output gives it: "ascii", "utf-8",
// "utf-16le", "utf-16be", "latin-1", "ebcdic", "shift_jis", "euc-jp", "euc-kr",
// "gb18030" (also for GBK), "big5", "windows-1252", "binary".
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
    // A trailer of blank lines that fills the end of the sample may begin
    // before it: --verify takes the blank lines before it in.
    bool trailer_may_start_earlier = false;
    // Lines ended by LF whose lone CRs stand inside fields: --verify reads
    // them as bytes of the record, not as line ends.
    bool returns_inside = false;
    std::optional<std::uint64_t> records;
    // The count is worked out from the size and the average length of the
    // sampled records rather than from a fixed length.
    bool records_estimated = false;
    std::optional<unsigned char> delimiter;
    // With a blank delimiter, whose runs of blanks and tabs part fields: the
    // runs are tabs alone (columns lined up at tab stops), and are named so.
    bool tab_runs = false;
    std::optional<unsigned char> quote;
    // Without a quote, the sampled records still hold '"' (a ditto mark, an
    // inch): a loader that quotes with it by default must be told not to.
    bool bare_double_quotes = false;
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
    // The named format's records are plain numbers (an index's offsets),
    // whose columns the bytes describe as they do an unnamed file's.
    bool records_are_values = false;
    record_profile profile;
    // Length-prefixed records: the prefix, and the shortest and longest
    // record (its bytes without the prefix; usual_length the commonest).
    std::optional<length_prefix_form> length_prefix;
    std::uint64_t shortest_record = 0;
    std::uint64_t longest_record = 0;
    // Records of several types, by tag in order of first appearance; the
    // segment terminator when it is a byte of its own rather than a line
    // end (X12's ~ in a file without line ends).
    std::vector<record_type> record_types;
    // Tags of this many bytes at the start of each record, when the types
    // are told by position rather than by the delimiter after the tag (a
    // record type code in column 1); 0 otherwise.
    std::uint32_t tag_width = 0;
    // The field that names the type, key included, when it is not the
    // record's first ("35=", FIX's MsgType); the tags then are that field.
    std::string type_field;
    std::optional<unsigned char> segment_terminator;
    // The byte that makes the next one data, not a delimiter (EDIFACT's ?).
    std::optional<unsigned char> release;
};

// The ways a record breaks the layout, each counted on its own.
enum class anomaly_kind {
    line_end,    // a line end of another kind than the layout's
    length,      // a line of another length than the layout's
    cut_short,   // a last fixed-length record with fewer bytes than the rest
    field_count, // more or fewer fields than the layout allows
    quote,       // a quote still open at the end of the file
    byte_class,  // a byte the records never hold at its offset
    count_of_kinds,
};

constexpr std::size_t ANOMALY_KINDS = static_cast<std::size_t>(anomaly_kind::count_of_kinds);
// How many anomalies --verify describes one by one unless told otherwise.
constexpr std::size_t DEFAULT_MAX_ANOMALIES = 10;

// The kind's name as the survey's output gives it: "line_end", "length",
// "cut_short", "field_count", "quote", "byte_class".
const char* anomaly_kind_name(anomaly_kind kind);

// Why a record breaks the layout.
struct record_anomaly {
    // Counting from 1, the first record after the header.
    std::uint64_t record;
    // Of the record's first byte, from the start of the file.
    std::uint64_t offset;
    std::string what;
    anomaly_kind kind = anomaly_kind::length;
    // Counting from 1, the physical line the record starts on, for text
    // whose records are lines one each; none otherwise.
    std::optional<std::uint64_t> line;
};

struct verify_outcome {
    std::uint64_t records = 0;
    std::uint64_t anomalies = 0;
    std::array<std::uint64_t, ANOMALY_KINDS> anomaly_kinds{};
    // The first ones in file order, up to the number asked for.
    std::vector<record_anomaly> first_anomalies;
    // Fixed-length records: bytes put in (positive) or left out (negative)
    // where records went out of line and lined up again, so that
    // header, records times their length, these and trailer make the size
    // (less what a last record cut short lacks).
    std::int64_t stray_bytes = 0;
    // The trailer as reading the file found it, when it starts before the
    // one the survey saw.
    std::optional<std::uint64_t> trailer_length;
};

#endif
