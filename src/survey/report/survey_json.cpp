#include "survey_json.h"

namespace
{

const char HEX_DIGITS[] = "0123456789abcdef";

// Bytes of the valid UTF-8 sequence at offset, 0 when there is none:
// overlong forms, surrogates and values past U+10FFFF are not valid.
std::size_t utf8_sequence_length(std::string_view bytes, std::size_t offset)
{
    unsigned lead = static_cast<unsigned char>(bytes[offset]);
    if (lead < 0x80)
        return 1;
    std::size_t length = 0;
    unsigned low = 0x80;
    unsigned high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        low = lead == 0xE0 ? 0xA0 : low;
        high = lead == 0xED ? 0x9F : high;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        low = lead == 0xF0 ? 0x90 : low;
        high = lead == 0xF4 ? 0x8F : high;
    } else {
        return 0;
    }
    if (bytes.size() - offset < length)
        return 0;
    for (std::size_t next = 1; next < length; next++) {
        unsigned byte = static_cast<unsigned char>(bytes[offset + next]);
        if (byte < (next == 1 ? low : 0x80) || byte > (next == 1 ? high : 0xBF))
            return 0;
    }
    return length;
}

void append_escape(std::string& out, const char* prefix, unsigned byte)
{
    out += prefix;
    out += HEX_DIGITS[byte >> 4];
    out += HEX_DIGITS[byte & 0xF];
}

void append_ascii(std::string& out, char character)
{
    switch (character) {
    case '"':
        out += "\\\"";
        return;
    case '\\':
        out += "\\\\";
        return;
    case '\n':
        out += "\\n";
        return;
    case '\r':
        out += "\\r";
        return;
    case '\t':
        out += "\\t";
        return;
    case '\b':
        out += "\\b";
        return;
    case '\f':
        out += "\\f";
        return;
    default:
        break;
    }
    if (static_cast<unsigned char>(character) < 0x20)
        append_escape(out, "\\u00", static_cast<unsigned char>(character));
    else
        out += character;
}

} // namespace

// Writes "key":value pairs in the order they are added.
class json_object
{
  public:
    void key(const char* name)
    {
        text_ += text_.empty() ? "{\"" : ",\"";
        text_ += name;
        text_ += "\":";
    }

    void null(const char* name)
    {
        key(name);
        text_ += "null";
    }

    void string(const char* name, std::string_view value)
    {
        key(name);
        append_json_string(text_, value);
    }

    void number(const char* name, std::uint64_t value)
    {
        key(name);
        text_ += std::to_string(value);
    }

    void signed_number(const char* name, std::int64_t value)
    {
        key(name);
        text_ += std::to_string(value);
    }

    void number(const char* name, const std::optional<std::uint64_t>& value)
    {
        if (value)
            number(name, *value);
        else
            null(name);
    }

    void boolean(const char* name, bool value)
    {
        key(name);
        text_ += value ? "true" : "false";
    }

    void byte(const char* name, const std::optional<unsigned char>& value)
    {
        if (value)
            string(name, std::string_view(reinterpret_cast<const char*>(&*value), 1));
        else
            null(name);
    }

    void raw(const char* name, const std::string& value)
    {
        key(name);
        text_ += value;
    }

    std::string line()
    {
        return text_ + "}\n";
    }

  private:
    std::string text_;
};

namespace
{

const char* layout_name(record_layout layout)
{
    switch (layout) {
    case record_layout::empty:
        return "empty";
    case record_layout::fixed_length:
        return "fixed-length";
    case record_layout::lines:
        return "lines";
    case record_layout::length_prefixed:
        return "length-prefixed";
    case record_layout::unknown:
        break;
    }
    return "unknown";
}

const char* terminator_name(line_terminator terminator)
{
    switch (terminator) {
    case line_terminator::lf:
        return "LF";
    case line_terminator::crlf:
        return "CRLF";
    case line_terminator::cr:
        return "CR";
    case line_terminator::nel:
        return "NEL";
    case line_terminator::mixed:
        return "mixed";
    case line_terminator::none:
        break;
    }
    return nullptr;
}

bool is_number(value_type type)
{
    return type == value_type::integer || type == value_type::decimal ||
           type == value_type::floating;
}

// The keys only a field of binary records has: an integer's byte order
// and size, a decimal's scale (the records do not say it), whether values
// may be negative, and the code text is read in.
void binary_keys(json_object& object, const column_description& column)
{
    const binary_field& field = *column.binary;
    bool integer = field.form == binary_form::integer;
    bool decimal =
        field.form == binary_form::zoned_decimal || field.form == binary_form::packed_decimal;
    if (integer)
        object.string("byte_order", field.big_endian ? "big-endian" : "little-endian");
    else
        object.null("byte_order");
    object.number("size", integer
                              ? std::optional<std::uint64_t>(column.span->end - column.span->start)
                              : std::nullopt);
    object.null("scale");
    if (integer || decimal)
        object.boolean("signed", field.is_signed);
    else
        object.null("signed");
    if (field.form == binary_form::text)
        object.string("encoding", encoding_name(field.code));
    else
        object.null("encoding");
}

std::string column_object(const column_description& column)
{
    json_object object;
    object.string("name", column.name);
    object.string("type", column_type_name(column));
    std::optional<std::uint64_t> start, end, index;
    if (column.span) {
        start = column.span->start;
        end = column.span->end;
    }
    if (column.index)
        index = *column.index;
    object.number("start", start);
    object.number("end", end);
    object.number("index", index);
    if (column.format.empty())
        object.null("format");
    else
        object.string("format", column.format);
    bool number = is_number(column.type) && !column.binary;
    object.byte("decimal", number && column.type != value_type::integer
                               ? std::optional<unsigned char>(column.decimal_mark)
                               : std::nullopt);
    object.byte("grouping", number && column.grouping_mark
                                ? std::optional<unsigned char>(*column.grouping_mark)
                                : std::nullopt);
    object.boolean("nullable", column.nullable);
    if (column.nullable)
        object.string("null", column.null_marker);
    else
        object.null("null");
    if (column.binary)
        binary_keys(object, column);
    std::string line = object.line();
    line.pop_back();
    return line;
}

std::string columns_array(const std::vector<column_description>& columns)
{
    std::string text = "[";
    for (const column_description& column : columns)
        text += (text.size() > 1 ? "," : "") + column_object(column);
    return text + "]";
}

std::string anomaly_object(const record_anomaly& anomaly)
{
    json_object object;
    object.number("record", anomaly.record);
    object.number("line", anomaly.line);
    object.number("offset", anomaly.offset);
    object.string("kind", anomaly_kind_name(anomaly.kind));
    object.string("what", anomaly.what);
    std::string line = object.line();
    line.pop_back();
    return line;
}

std::string anomalies_array(const std::vector<record_anomaly>& anomalies)
{
    std::string text = "[";
    for (const record_anomaly& anomaly : anomalies)
        text += (text.size() > 1 ? "," : "") + anomaly_object(anomaly);
    return text + "]";
}

std::string kinds_object(const verify_outcome& outcome)
{
    json_object object;
    for (std::size_t kind = 0; kind < ANOMALY_KINDS; kind++)
        object.number(anomaly_kind_name(static_cast<anomaly_kind>(kind)),
                      outcome.anomaly_kinds[kind]);
    std::string line = object.line();
    line.pop_back();
    return line;
}

// The range of fields a record may have: the count itself when exact.
std::optional<std::uint64_t> fields_bound(const file_layout& layout, bool most)
{
    if (!layout.fields)
        return std::nullopt;
    if (layout.fewest_fields == 0 || layout.most_fields < layout.fewest_fields)
        return *layout.fields;
    return most ? layout.most_fields : layout.fewest_fields;
}

using report_layout = const file_layout&;

const char* terminator_of(report_layout layout)
{
    return layout.kind == record_layout::lines ? terminator_name(layout.terminator) : nullptr;
}

std::string prefix_object(const length_prefix_form& form)
{
    json_object object;
    object.number("size", form.size);
    object.number("length_bytes", form.length_bytes);
    object.string("byte_order", form.big_endian ? "big-endian" : "little-endian");
    object.boolean("counts_itself", form.counts_itself);
    object.boolean("repeated_after", form.repeated_after);
    object.boolean("blocks", form.blocks);
    std::string line = object.line();
    line.pop_back();
    return line;
}

// Fields as a number where every record of the type has as many, else
// the range [fewest, most].
std::string record_types_array(const std::vector<record_type>& types)
{
    std::string text = "[";
    for (const record_type& type : types) {
        json_object object;
        object.string("tag", type.tag);
        object.number("records", type.records);
        if (type.fewest_fields == type.most_fields)
            object.number("fields", type.fewest_fields);
        else
            object.raw("fields", "[" + std::to_string(type.fewest_fields) + "," +
                                     std::to_string(type.most_fields) + "]");
        std::string line = object.line();
        line.pop_back();
        text += (text.size() > 1 ? "," : "") + line;
    }
    return text + "]";
}

std::optional<std::uint64_t> prefixed_only(const file_layout& layout, std::uint64_t value)
{
    if (layout.kind != record_layout::length_prefixed)
        return std::nullopt;
    return value;
}

void write_string_or_null(json_object& object, const char* key, const char* value)
{
    if (value != nullptr)
        object.string(key, value);
    else
        object.null(key);
}

// Every key in the order written, with what the manual says of it: one
// line each. The keys after "error" are null for a file that could not be
// surveyed.
constexpr json_key JSON_KEYS[] = {
    {"file", "string", "", "never null", "the file as named",
     [](json_object& o, const char* k, const survey_report& r) { o.string(k, r.name); }},
    {"size", "number", "bytes",
     "null for standard input that did not end within the first MiB, unless --verify read it "
     "whole",
     "its size",
     [](json_object& o, const char* k, const survey_report& r) { o.number(k, r.size); }},
    {"error", "string", "", "null when the file was surveyed", "why the file could not be surveyed",
     [](json_object& o, const char* k, const survey_report& r) {
         write_string_or_null(o, k, r.error ? r.error->c_str() : nullptr);
     }},
    {"encoding", "string", "", "null only for a file not surveyed",
     "ascii, utf-8, utf-16le, utf-16be, latin-1, ebcdic, shift_jis, euc-jp, euc-kr, gb18030, "
     "big5, windows-1252 or binary",
     [](json_object& o, const char* k, const survey_report& r) {
         o.string(k, encoding_name(r.layout.encoding));
     }},
    {"layout", "string", "", "null only for a file not surveyed",
     "fixed-length, lines, length-prefixed, empty or unknown",
     [](json_object& o, const char* k, const survey_report& r) {
         o.string(k, layout_name(r.layout.kind));
     }},
    {"format", "string", "", "null for a file of no known format",
     "the name of a known format whose header gives the layout, as the text report gives it, "
     "e.g. dBASE table, shapefile, ISO 9660 image, SAS transport file, NumPy array",
     [](json_object& o, const char* k, const survey_report& r) {
         write_string_or_null(
             o, k, r.layout.format_name.empty() ? nullptr : r.layout.format_name.c_str());
     }},
    {"terminator", "string", "",
     "null for records without line ends or a byte of their own to end them",
     "the line end of lines: LF, CRLF, CR, NEL or mixed; or the byte that ends each segment "
     "of records without line ends, e.g. ~",
     [](json_object& o, const char* k, const survey_report& r) {
         if (r.layout.segment_terminator && r.layout.terminator == line_terminator::none)
             o.byte(k, r.layout.segment_terminator);
         else
             write_string_or_null(o, k, terminator_of(r.layout));
     }},
    {"segment_terminator", "string", "", "null unless a byte of its own ends each record",
     "the byte that ends each segment of records of several types, e.g. X12's ~ or EDIFACT's ', "
     "also where a line end follows it; it is no part of the last field",
     [](json_object& o, const char* k, const survey_report& r) {
         o.byte(k, r.layout.segment_terminator);
     }},
    {"record_length", "number", "bytes", "null when records vary in length",
     "bytes from one record's start to the next",
     [](json_object& o, const char* k, const survey_report& r) {
         o.number(k, r.layout.record_length);
     }},
    {"element_length", "number", "bytes", "null unless records are rows of values of one size",
     "bytes of one value where records are rows of values of one size",
     [](json_object& o, const char* k, const survey_report& r) {
         o.number(k, r.layout.element_length);
     }},
    {"header_length", "number", "bytes", "null only for a file not surveyed",
     "bytes before the first record",
     [](json_object& o, const char* k, const survey_report& r) {
         o.number(k, r.layout.header_length);
     }},
    {"trailer_length", "number", "bytes", "null only for a file not surveyed",
     "bytes after the last record",
     [](json_object& o, const char* k, const survey_report& r) {
         o.number(k, r.layout.trailer_length);
     }},
    {"records", "number", "records",
     "null when not known (a long stream without --verify, no layout)",
     "records in the file: counted by --verify (a last one cut short included), else reckoned",
     [](json_object& o, const char* k, const survey_report& r) {
         o.number(k, records_checked(r) ? r.outcome.records : r.layout.records);
     }},
    {"records_estimated", "boolean", "", "null only for a file not surveyed",
     "true when records is the size divided by the records' average length rather than a count",
     [](json_object& o, const char* k, const survey_report& r) {
         o.boolean(k, r.layout.records_estimated && !records_checked(r) &&
                          r.layout.records.has_value());
     }},
    {"shortest_record", "number", "bytes", "null unless the file is length-prefixed",
     "bytes of the shortest record of a length-prefixed file, its prefix left out",
     [](json_object& o, const char* k, const survey_report& r) {
         o.number(k, prefixed_only(r.layout, r.layout.shortest_record));
     }},
    {"usual_record", "number", "bytes", "null unless the file is length-prefixed",
     "bytes of its commonest record, likewise",
     [](json_object& o, const char* k, const survey_report& r) {
         o.number(k, prefixed_only(r.layout, r.layout.usual_length));
     }},
    {"longest_record", "number", "bytes", "null unless the file is length-prefixed",
     "bytes of its longest record, likewise",
     [](json_object& o, const char* k, const survey_report& r) {
         o.number(k, prefixed_only(r.layout, r.layout.longest_record));
     }},
    {"length_prefix", "object", "", "null unless the file is length-prefixed",
     "how each record states its length: size and length_bytes of the prefix, byte_order, "
     "counts_itself, repeated_after (after the record too), blocks",
     [](json_object& o, const char* k, const survey_report& r) {
         if (r.layout.length_prefix)
             o.raw(k, prefix_object(*r.layout.length_prefix));
         else
             o.null(k);
     }},
    {"delimiter", "string", "", "null when there is none",
     "the byte between fields, as an ASCII character",
     [](json_object& o, const char* k, const survey_report& r) {
         o.byte(k, r.layout.tab_runs ? std::optional<unsigned char>('\t') : r.layout.delimiter);
     }},
    {"delimiter_runs", "boolean", "", "null when there is no delimiter",
     "true when a run of delimiters parts two fields, as blanks always do and tabs that line up "
     "columns may; false when each delimiter parts two fields, empty ones included",
     [](json_object& o, const char* k, const survey_report& r) {
         if (r.layout.delimiter)
             o.boolean(k, *r.layout.delimiter == ' ');
         else
             o.null(k);
     }},
    {"quote", "string", "", "null when there is none",
     "the byte that quotes fields, as an ASCII character",
     [](json_object& o, const char* k, const survey_report& r) { o.byte(k, r.layout.quote); }},
    {"fields", "number", "fields", "null for records without fields",
     "columns per record: delimited text's usual fields, else the columns",
     [](json_object& o, const char* k, const survey_report& r) {
         std::optional<std::uint64_t> count;
         if (r.layout.fields)
             count = *r.layout.fields;
         else if (!r.layout.described_columns.empty())
             count = r.layout.described_columns.size();
         o.number(k, count);
     }},
    {"fewest_fields", "number", "fields", "null without a delimiter",
     "the fewest fields a record may have, equal to fields when the count is exact",
     [](json_object& o, const char* k, const survey_report& r) {
         o.number(k, fields_bound(r.layout, false));
     }},
    {"most_fields", "number", "fields", "null without a delimiter",
     "the most fields a record may have, equal to fields when the count is exact",
     [](json_object& o, const char* k, const survey_report& r) {
         o.number(k, fields_bound(r.layout, true));
     }},
    {"header_row", "boolean", "", "null for binary records, which hold no row of names",
     "whether the first record holds column names",
     [](json_object& o, const char* k, const survey_report& r) {
         // Binary records are not text: no row of them holds names.
         if (r.layout.encoding == text_encoding::binary)
             o.null(k);
         else
             o.boolean(k, r.layout.header_row);
     }},
    {"columns", "array", "", "null for a layout without columns",
     "each column: name, type, start, end, index, format, decimal, grouping, nullable, null; "
     "of binary records also byte_order, size, scale, signed and encoding",
     [](json_object& o, const char* k, const survey_report& r) {
         if (r.layout.described_columns.empty())
             o.null(k);
         else
             o.raw(k, columns_array(r.layout.described_columns));
     }},
    {"record_types", "array", "", "null unless records are of several types",
     "for records of several types, each led by its tag: per type its tag, records and "
     "fields (a number, or [fewest, most])",
     [](json_object& o, const char* k, const survey_report& r) {
         if (r.layout.record_types.empty())
             o.null(k);
         else
             o.raw(k, record_types_array(r.layout.record_types));
     }},
    {"verified", "boolean", "",
     "null without --verify and when there was nothing to check (layout unknown, empty file)",
     "true when --verify checked every record and each matched, false when some did not",
     [](json_object& o, const char* k, const survey_report& r) {
         if (records_checked(r))
             o.boolean(k, r.outcome.anomalies == 0);
         else
             o.null(k);
     }},
    {"anomalies", "number", "records", "null when verified is", "records that break the layout",
     [](json_object& o, const char* k, const survey_report& r) {
         o.number(k, records_checked(r) ? std::optional<std::uint64_t>(r.outcome.anomalies)
                                        : std::nullopt);
     }},
    {"anomaly_kinds", "object", "records", "null when verified is",
     "the anomalies by kind: line_end, length, cut_short, field_count, quote, byte_class",
     [](json_object& o, const char* k, const survey_report& r) {
         if (records_checked(r))
             o.raw(k, kinds_object(r.outcome));
         else
             o.null(k);
     }},
    {"stray_bytes", "number", "bytes", "null for other layouts and without --verify",
     "of fixed-length records: bytes put in (positive) or left out (negative) where records "
     "went out of line and lined up again",
     [](json_object& o, const char* k, const survey_report& r) {
         bool fixed = records_checked(r) && r.layout.kind == record_layout::fixed_length &&
                      !r.layout.length_prefix && r.layout.record_types.empty();
         if (fixed)
             o.signed_number(k, r.outcome.stray_bytes);
         else
             o.null(k);
     }},
    {"first_anomalies", "array", "", "null when verified is",
     "the first anomalies (--max-anomalies), each its record, line, offset, kind and what",
     [](json_object& o, const char* k, const survey_report& r) {
         if (records_checked(r))
             o.raw(k, anomalies_array(r.outcome.first_anomalies));
         else
             o.null(k);
     }},
    {"first_anomaly", "object", "", "null when there is none", "the first of first_anomalies",
     [](json_object& o, const char* k, const survey_report& r) {
         if (records_checked(r) && !r.outcome.first_anomalies.empty())
             o.raw(k, anomaly_object(r.outcome.first_anomalies.front()));
         else
             o.null(k);
     }},
};

constexpr std::string_view LAST_KEY_BEFORE_LAYOUT = "error";

} // namespace

void append_json_string(std::string& out, std::string_view bytes)
{
    out += '"';
    std::size_t offset = 0;
    while (offset < bytes.size()) {
        std::size_t length = utf8_sequence_length(bytes, offset);
        if (length == 0) {
            append_escape(out, "\\udc", static_cast<unsigned char>(bytes[offset]));
            offset++;
        } else if (length == 1) {
            append_ascii(out, bytes[offset]);
            offset++;
        } else {
            out.append(bytes.substr(offset, length));
            offset += length;
        }
    }
    out += '"';
}

std::span<const json_key> json_keys()
{
    return JSON_KEYS;
}

std::string survey_json_line(const survey_report& report)
{
    json_object object;
    bool after_error = false;
    for (const json_key& key : JSON_KEYS) {
        if (after_error && report.error)
            object.null(key.name);
        else
            key.write(object, key.name, report);
        after_error = after_error || key.name == LAST_KEY_BEFORE_LAYOUT;
    }
    return object.line();
}
