#include "text_report.h"

#include "../base/field_split.h"
#include "../base/text_decode.h"
#include "shown_text.h"

#include <algorithm>

namespace
{

// Room for "trailing bytes", the longest label, and two spaces.
constexpr std::size_t LABEL_WIDTH = 16;
// Over the file offsets in front of each row of the picture.
constexpr std::string_view OFFSET_LABEL = "offset";
constexpr std::size_t RULER_STEP = 10;
// Fewer columns than this for the bytes make no picture anyone can read.
constexpr std::size_t NARROWEST_ROW = 10;
constexpr int DEFAULT_WIDTH = 80;
constexpr unsigned UNKNOWN_LAYOUT_ROWS = 3;
// A value wider than this is cut in the table of fields.
constexpr std::size_t WIDEST_CELL = 24;

char cell_of(unsigned char byte, text_encoding encoding)
{
    char text = static_cast<char>(byte);
    return shown_bytes(std::string_view(&text, 1), 0, 1, encoding, false)[0];
}

std::string count_of(std::uint64_t count, const char* one, const char* many)
{
    return std::to_string(count) + " " + (count == 1 ? one : many);
}

std::string bytes_of(std::uint64_t count)
{
    return count_of(count, "byte", "bytes");
}

void add_fact(std::string& out, const char* label, const std::string& value)
{
    out += "  ";
    out += label;
    out.append(LABEL_WIDTH - std::min(LABEL_WIDTH - 1, std::string(label).size()), ' ');
    out += value;
    out += '\n';
}

const char* encoding_text(const file_layout& layout)
{
    if (layout.encoding == text_encoding::utf8 && layout.byte_order_mark)
        return "utf-8 with BOM";
    return encoding_name(layout.encoding);
}

std::string byte_text(unsigned char byte, text_encoding encoding);

const char* line_end_text(line_terminator terminator)
{
    switch (terminator) {
    case line_terminator::lf:
        return "LF";
    case line_terminator::crlf:
        return "CR LF";
    case line_terminator::cr:
        return "CR";
    case line_terminator::nel:
        return "NEL (EBCDIC new line)";
    case line_terminator::mixed:
        return "a mix of CR LF, LF and CR";
    case line_terminator::none:
        break;
    }
    return nullptr;
}

std::string layout_text(const file_layout& layout)
{
    switch (layout.kind) {
    case record_layout::empty:
        return "empty";
    case record_layout::fixed_length:
        return "fixed-length records, no line ends";
    case record_layout::unknown:
        return "unknown";
    case record_layout::length_prefixed:
        return "records led by their own length";
    case record_layout::lines:
        break;
    }
    // Segments written a line each end in their own byte, then the line end.
    if (layout.segment_terminator) {
        std::string ended =
            "segments ended by " + byte_text(*layout.segment_terminator, layout.encoding);
        const char* line_end = line_end_text(layout.terminator);
        return line_end ? ended + " and " + line_end : ended;
    }
    const char* line_end = line_end_text(layout.terminator);
    return line_end ? std::string("lines ended by ") + line_end : "lines";
}

// A delimiter or quote byte as a reader would name it.
std::string byte_text(unsigned char byte, text_encoding encoding)
{
    if (byte == '\t' && encoding != text_encoding::ebcdic)
        return "tab";
    char cell = cell_of(byte, encoding);
    if (cell == ' ')
        return "space";
    if (cell != '.' || byte == (encoding == text_encoding::ebcdic ? 0x4B : '.'))
        return std::string(1, cell);
    const char hex[] = "0123456789ABCDEF";
    return std::string("0x") + hex[byte >> 4] + hex[byte & 0xF];
}

void add_record_facts(std::string& out, const file_layout& layout)
{
    bool lines = layout.kind == record_layout::lines;
    const char* line_end = lines ? ", line end included" : "";
    if (layout.record_length)
        add_fact(out, "record", bytes_of(*layout.record_length) + line_end);
    else if (layout.usual_length > 0)
        add_fact(out, "record", "varies, usually " + bytes_of(layout.usual_length) + line_end);
    // The bytes before the first record and after the last; a row of
    // column names is a record, and is told apart below.
    add_fact(out, "leading bytes",
             layout.header_length > 0 ? bytes_of(layout.header_length) : "none");
    add_fact(out, "trailing bytes",
             layout.trailer_length > 0 ? bytes_of(layout.trailer_length) : "none");
}

std::string prefix_text(const length_prefix_form& form)
{
    std::string text = std::to_string(form.size) + " bytes";
    if (form.length_bytes != form.size)
        text += ", the length in the first " + std::to_string(form.length_bytes);
    text += form.big_endian ? ", big-endian" : ", little-endian";
    text += form.counts_itself ? ", counting itself" : ", not counting itself";
    if (form.repeated_after)
        text += ", repeated after the record";
    if (form.blocks)
        text += ", records in blocks led by the same";
    return text;
}

void add_prefix_facts(std::string& out, const file_layout& layout)
{
    add_fact(out, "prefix", prefix_text(*layout.length_prefix));
    std::string lengths = layout.shortest_record == layout.longest_record
                              ? bytes_of(layout.shortest_record)
                              : std::to_string(layout.shortest_record) + " to " +
                                    bytes_of(layout.longest_record) + ", usually " +
                                    bytes_of(layout.usual_length);
    add_fact(out, "record", lengths + ", prefix left out");
}

void add_type_facts(std::string& out, const file_layout& layout)
{
    bool first = true;
    for (const record_type& type : layout.record_types) {
        std::string fields = std::to_string(type.fewest_fields);
        if (type.most_fields != type.fewest_fields)
            fields += " to " + std::to_string(type.most_fields);
        add_fact(out, first ? "types" : "",
                 type.tag + ": " + count_of(type.records, "record", "records") + ", " + fields +
                     (type.most_fields == 1 ? " field" : " fields"));
        first = false;
    }
}

void add_field_facts(std::string& out, const file_layout& layout)
{
    if (!layout.format_name.empty())
        add_fact(out, "format", layout.format_name);
    if (layout.delimiter && layout.tab_runs)
        add_fact(out, "delimiter", "tab, one or more");
    else if (layout.delimiter)
        add_fact(out, "delimiter", byte_text(*layout.delimiter, text_encoding::ascii));
    if (layout.quote)
        add_fact(out, "quote", byte_text(*layout.quote, text_encoding::ascii));
    if (layout.fields && layout.fewest_fields > 0 && layout.most_fields > layout.fewest_fields)
        add_fact(out, "fields",
                 std::to_string(layout.fewest_fields) + " to " +
                     std::to_string(layout.most_fields) + ", usually " +
                     std::to_string(*layout.fields));
    else if (layout.fields)
        add_fact(out, "fields", std::to_string(*layout.fields));
    if (layout.header_row)
        add_fact(out, "column names", "in the first record");
    add_type_facts(out, layout);
}

std::string kinds_text(const verify_outcome& outcome)
{
    std::string text;
    for (std::size_t kind = 0; kind < ANOMALY_KINDS; kind++) {
        if (outcome.anomaly_kinds[kind] == 0)
            continue;
        std::string name = anomaly_kind_name(static_cast<anomaly_kind>(kind));
        std::replace(name.begin(), name.end(), '_', ' ');
        text +=
            (text.empty() ? "" : ", ") + std::to_string(outcome.anomaly_kinds[kind]) + " " + name;
    }
    return text;
}

void add_verify_facts(std::string& out, const survey_report& report)
{
    if (!records_checked(report)) {
        add_fact(out, "verified",
                 report.layout.kind == record_layout::empty
                     ? "not checked: the file holds no records"
                     : "not checked: no record layout found");
        return;
    }
    const verify_outcome& outcome = report.outcome;
    if (outcome.anomalies == 0) {
        add_fact(out, "verified", "every record matches the layout");
        return;
    }
    add_fact(out, "verified",
             std::to_string(outcome.anomalies) + " of " +
                 count_of(outcome.records, "record breaks", "records break") + " the layout (" +
                 kinds_text(outcome) + ")" +
                 (outcome.first_anomalies.empty() ? "" : ", the first:"));
    for (const record_anomaly& anomaly : outcome.first_anomalies) {
        std::string line = anomaly.line ? ", line " + std::to_string(*anomaly.line) : "";
        add_fact(out, "",
                 "record " + std::to_string(anomaly.record) + line + " at offset " +
                     std::to_string(anomaly.offset) + ": " + anomaly.what);
    }
}

std::string facts_of(const survey_report& report)
{
    const file_layout& layout = report.layout;
    std::string out = report.name + "\n";
    add_fact(out, "size", report.size ? bytes_of(*report.size) : "unknown, read from a stream");
    if (layout.kind != record_layout::empty)
        add_fact(out, "encoding", encoding_text(layout));
    add_fact(out, "layout", layout_text(layout));
    bool has_records =
        layout.kind == record_layout::fixed_length || layout.kind == record_layout::lines;
    if (has_records)
        add_record_facts(out, layout);
    if (layout.length_prefix)
        add_prefix_facts(out, layout);
    bool checked = records_checked(report);
    std::optional<std::uint64_t> records = checked ? report.outcome.records : layout.records;
    if (records)
        add_fact(out, "records",
                 (layout.records_estimated && !checked ? "about " : "") + std::to_string(*records));
    add_field_facts(out, layout);
    if (report.verified)
        add_verify_facts(out, report);
    return out;
}

// A row of the picture: the bytes of [from, to), under a ruler of byte
// offsets within the record, behind the file offset of its first byte.
struct picture_rows {
    std::size_t offset_width;
    std::size_t row_bytes;
    text_encoding encoding;
    const std::vector<column_span>* columns;
    bool utf8_terminal;

    std::string margin() const
    {
        return std::string(offset_width + 2, ' ');
    }

    // The margin of the ruler's last line, just above the offsets.
    std::string labelled_margin() const
    {
        return std::string(offset_width - OFFSET_LABEL.size(), ' ') + std::string(OFFSET_LABEL) +
               "  ";
    }

    void add_ruler(std::string& out, std::size_t from, std::size_t to) const
    {
        std::string tens;
        for (std::size_t at = from; at < to; at += RULER_STEP) {
            std::string number = std::to_string(at);
            if (tens.size() > at - from || at - from + number.size() > row_bytes)
                continue;
            tens.append(at - from - tens.size(), ' ');
            tens += number;
        }
        std::string units;
        for (std::size_t at = from; at < to; at++)
            units += static_cast<char>('0' + at % RULER_STEP);
        out += margin() + tens + "\n";
        if (columns->empty()) {
            out += labelled_margin() + units + "\n";
            return;
        }
        out += margin() + units + "\n";
        out += labelled_margin() + column_marks(from, to) + "\n";
    }

    // | where a field begins, - over the rest of it.
    std::string column_marks(std::size_t from, std::size_t to) const
    {
        std::string marks(to - from, ' ');
        for (const column_span& column : *columns) {
            for (std::size_t at = std::max<std::size_t>(column.start, from);
                 at < std::min<std::size_t>(column.end, to); at++)
                marks[at - from] = at == column.start ? '|' : '-';
        }
        marks.erase(marks.find_last_not_of(' ') + 1);
        return marks;
    }

    // Bytes [from, to) of the record that starts at offset.
    void add_bytes(std::string& out, std::uint64_t offset, std::string_view record,
                   std::size_t from, std::size_t to) const
    {
        std::string number = std::to_string(offset + from);
        out.append(offset_width - std::min(offset_width, number.size()), ' ');
        out += number + "  " + shown_bytes(record, from, to, encoding, utf8_terminal) + "\n";
    }
};

// Room for the column of file offsets, its label included.
std::size_t offset_column_width(std::uint64_t number)
{
    return std::max(OFFSET_LABEL.size(), std::to_string(number).size());
}

// Bytes a row holds when a row of shown bytes does not fit: whole tens, so
// that the ruler of every fold starts at a round offset.
std::size_t row_bytes_for(std::size_t longest, std::size_t offset_width, int width)
{
    std::size_t room = static_cast<std::size_t>(width) > offset_width + 2
                           ? static_cast<std::size_t>(width) - offset_width - 2
                           : 0;
    if (longest <= room)
        return std::max<std::size_t>(longest, 1);
    return std::max(NARROWEST_ROW, room / RULER_STEP * RULER_STEP);
}

std::size_t pictured_length(const shown_record& record)
{
    return std::min(record.bytes.size(), PICTURED_RECORD_LIMIT);
}

// The columns the ruler marks: binary fields where the bytes gave them,
// else the text columns.
std::vector<column_span> ruled_columns(const file_layout& layout)
{
    std::vector<column_span> spans;
    for (const column_description& column : layout.described_columns) {
        if (column.binary)
            spans.push_back(*column.span);
    }
    return spans.empty() ? layout.columns : spans;
}

void add_record_picture(std::string& out, const survey_report& report, int width,
                        bool utf8_terminal)
{
    const std::vector<shown_record>& records = report.first_records;
    std::size_t longest = 0;
    std::uint64_t last_offset = 0;
    for (const shown_record& record : records) {
        longest = std::max(longest, pictured_length(record));
        last_offset = std::max(last_offset, record.offset + pictured_length(record));
    }
    std::size_t offset_width = offset_column_width(last_offset);
    std::vector<column_span> ruled = ruled_columns(report.layout);
    picture_rows rows{offset_width, row_bytes_for(longest, offset_width, width),
                      report.layout.encoding, &ruled, utf8_terminal};
    out += '\n';
    for (std::size_t from = 0; from < longest; from += rows.row_bytes) {
        std::size_t to = std::min(longest, from + rows.row_bytes);
        if (from > 0)
            out += '\n';
        rows.add_ruler(out, from, to);
        for (const shown_record& record : records) {
            std::size_t length = pictured_length(record);
            if (length > from)
                rows.add_bytes(out, record.offset, std::string_view(record.bytes).substr(0, length),
                               from, std::min(length, to));
        }
    }
    bool cut = std::any_of(records.begin(), records.end(), [](const shown_record& record) {
        return record.length > pictured_length(record);
    });
    if (cut)
        out += "  (of longer records only the first " + bytes_of(PICTURED_RECORD_LIMIT) +
               " are shown)\n";
}

// Without records to show, the first bytes of the file in a few rows.
void add_first_bytes(std::string& out, const survey_report& report, int width, bool utf8_terminal)
{
    const shown_record& first = report.first_records.front();
    std::size_t row_bytes = row_bytes_for(SHOWN_RECORD_LIMIT, 1, width);
    std::size_t shown = std::min(first.bytes.size(), UNKNOWN_LAYOUT_ROWS * row_bytes);
    std::size_t offset_width = offset_column_width(first.offset + shown);
    row_bytes = row_bytes_for(shown, offset_width, width);
    shown = std::min(first.bytes.size(), UNKNOWN_LAYOUT_ROWS * row_bytes);
    static const std::vector<column_span> no_columns;
    picture_rows rows{offset_width, row_bytes, report.layout.encoding, &no_columns, utf8_terminal};
    out += '\n';
    rows.add_ruler(out, 0, std::min(shown, row_bytes));
    for (std::size_t from = 0; from < shown; from += row_bytes)
        rows.add_bytes(out, first.offset, std::string_view(first.bytes).substr(0, shown), from,
                       std::min(shown, from + row_bytes));
}

// A field's value as a table shows it: without the quotes around it and
// with doubled quotes single, control bytes as dots, cut when too wide.
std::string cell_of_value(std::string_view value, std::optional<unsigned char> quote,
                          text_encoding encoding, bool utf8_terminal)
{
    std::string cell;
    if (quote && value.size() >= 2 && static_cast<unsigned char>(value.front()) == *quote &&
        static_cast<unsigned char>(value.back()) == *quote) {
        value = value.substr(1, value.size() - 2);
        for (std::size_t at = 0; at < value.size(); at++) {
            cell += value[at];
            if (static_cast<unsigned char>(value[at]) == *quote && at + 1 < value.size() &&
                value[at + 1] == value[at])
                at++;
        }
    } else {
        cell = value;
    }
    cell = shown_value(cell, encoding, utf8_terminal);
    if (shown_width(cell) > WIDEST_CELL)
        cell = shown_prefix(cell, WIDEST_CELL - 1) + "~";
    return cell;
}

std::vector<std::string> cells_of(const shown_record& record, const file_layout& layout,
                                  bool utf8_terminal)
{
    decoded_text decoded = decode_text(
        byte_span(reinterpret_cast<const unsigned char*>(record.bytes.data()), record.bytes.size()),
        record.offset, layout.encoding);
    std::vector<std::string> cells;
    if (layout.delimiter) {
        field_rule rule{*layout.delimiter, layout.quote};
        for (std::string_view field : split_fields(decoded.text, rule))
            cells.push_back(cell_of_value(field, layout.quote, layout.encoding, utf8_terminal));
        return cells;
    }
    std::string_view text = decoded.text;
    for (const column_span& column : layout.columns) {
        std::size_t start = column.start / decoded.unit_width;
        std::size_t end = column.end / decoded.unit_width;
        std::string_view value = start < text.size() ? text.substr(start, end - start) : "";
        std::size_t first = value.find_first_not_of(' ');
        value = first == std::string_view::npos
                    ? std::string_view{}
                    : value.substr(first, value.find_last_not_of(' ') - first + 1);
        cells.push_back(cell_of_value(value, std::nullopt, layout.encoding, utf8_terminal));
    }
    return cells;
}

// Names for the columns when no record names them: the field's number, or
// a fixed-width column's first byte offset.
std::vector<std::string> column_numbers(const file_layout& layout, std::size_t count)
{
    std::vector<std::string> names;
    for (std::size_t column = 0; column < count; column++) {
        names.push_back(layout.delimiter || column >= layout.columns.size()
                            ? "#" + std::to_string(column + 1)
                            : "@" + std::to_string(layout.columns[column].start));
    }
    return names;
}

// A column's type as the table shows it under its name: a date's pattern,
// a number's marks where they are not the usual point.
std::string type_text(const column_description& column)
{
    if (column.binary) {
        const binary_field& field = *column.binary;
        std::string text = binary_form_name(field.form);
        if (field.form == binary_form::integer)
            text += ", " + std::to_string(column.span->end - column.span->start) + " bytes " +
                    (field.big_endian ? "big-endian" : "little-endian");
        if (field.form == binary_form::text)
            text += std::string(", ") + encoding_name(field.code);
        return text + (field.is_signed ? ", signed" : "");
    }
    std::string text = value_type_name(column.type);
    if (!column.format.empty())
        text += " " + column.format;
    if (column.type == value_type::decimal && column.decimal_mark != '.')
        text += std::string(" ") + column.decimal_mark;
    if (column.grouping_mark)
        text += column.grouping_mark == ' ' ? " grouped by blanks"
                                            : std::string(" grouped by ") + *column.grouping_mark;
    return text;
}

// Why columns that looked like numbers or dates are text, and each
// column's name and type where the picture is of bytes.
void add_column_notes(std::string& out, const file_layout& layout, bool list_all,
                      bool utf8_terminal)
{
    bool first = true;
    for (const column_description& column : layout.described_columns) {
        if (!list_all && column.why_text.empty())
            continue;
        std::string place = column.span ? "@" + std::to_string(column.span->start) + "-" +
                                              std::to_string(column.span->end) + " "
                                        : "";
        std::string note =
            place + cell_of_value(column.name, std::nullopt, text_encoding::utf8, utf8_terminal) +
            ": " + type_text(column);
        if (!column.why_text.empty())
            note += " (" + column.why_text + ")";
        add_fact(out, first ? "columns" : "", note);
        first = false;
    }
}

std::string padded(const std::string& text, std::size_t width)
{
    std::size_t shown = shown_width(text);
    return text + std::string(width > shown ? width - shown : 0, ' ');
}

std::string table_row(const std::string& label, std::size_t label_width,
                      const std::vector<std::string>& cells, const std::vector<std::size_t>& widths)
{
    std::string row = std::string(label_width - std::min(label_width, label.size()), ' ') + label;
    for (std::size_t column = 0; column < widths.size(); column++)
        row += "  " + padded(column < cells.size() ? cells[column] : "", widths[column]);
    row.erase(row.find_last_not_of(' ') + 1);
    return row + "\n";
}

// Text records split into their fields, under the names the first record
// gives them when it holds names, as wide as the terminal allows.
void add_field_table(std::string& out, const survey_report& report, int width, bool utf8_terminal)
{
    const file_layout& layout = report.layout;
    std::vector<std::vector<std::string>> rows;
    for (const shown_record& record : report.first_records)
        rows.push_back(cells_of(record, layout, utf8_terminal));
    std::size_t first_values = layout.header_row && rows.size() > 1 ? 1 : 0;
    std::size_t columns = 0;
    for (const auto& row : rows)
        columns = std::max(columns, row.size());
    std::vector<std::string> names = first_values == 1 ? rows[0] : column_numbers(layout, columns);
    // Names one short of the columns that the survey gave to all but the
    // first (R's row names) stand over those columns here too.
    const std::vector<column_description>& described = layout.described_columns;
    if (first_values == 1 && names.size() + 1 == columns && described.size() == columns &&
        !names.empty() && described[1].name == rows[0][0])
        names.insert(names.begin(), "");
    std::vector<std::string> types;
    for (std::size_t column = 0; column < layout.described_columns.size(); column++) {
        const column_description& described = layout.described_columns[column];
        if (column < names.size() && first_values == 0)
            names[column] =
                cell_of_value(described.name, std::nullopt, text_encoding::utf8, utf8_terminal);
        types.push_back(type_text(described));
    }
    std::uint64_t last_offset = report.first_records.back().offset;
    std::size_t label_width = offset_column_width(last_offset);
    std::vector<std::size_t> widths;
    std::size_t used = label_width;
    for (std::size_t column = 0; column < columns; column++) {
        std::size_t widest = column < names.size() ? shown_width(names[column]) : 0;
        widest = std::max(widest, column < types.size() ? types[column].size() : 0);
        for (std::size_t row = first_values; row < rows.size(); row++)
            widest =
                std::max(widest, column < rows[row].size() ? shown_width(rows[row][column]) : 0);
        if (used + 2 + widest > static_cast<std::size_t>(width))
            break;
        widths.push_back(widest);
        used += 2 + widest;
    }
    out += "\n" + table_row(std::string(OFFSET_LABEL), label_width, names, widths);
    if (!types.empty())
        out += table_row("", label_width, types, widths);
    std::vector<std::string> rules;
    for (std::size_t each : widths)
        rules.push_back(std::string(each, '-'));
    out += table_row("", label_width, rules, widths);
    for (std::size_t row = first_values; row < rows.size(); row++)
        out += table_row(std::to_string(report.first_records[row].offset), label_width, rows[row],
                         widths);
    if (widths.size() < columns)
        out += "  (" + std::to_string(columns - widths.size()) +
               " more fields to the right do not fit)\n";
}

} // namespace

std::string text_report(const survey_report& report, int width, bool utf8_terminal)
{
    if (report.error)
        return "";
    if (width <= 0)
        width = DEFAULT_WIDTH;
    std::string out = facts_of(report);
    if (report.first_records.empty())
        return out;
    if (report.layout.kind == record_layout::unknown) {
        add_first_bytes(out, report, width, utf8_terminal);
    } else if (shows_fields(report.layout)) {
        add_field_table(out, report, width, utf8_terminal);
        add_column_notes(out, report.layout, false, utf8_terminal);
    } else {
        add_column_notes(out, report.layout, true, utf8_terminal);
        add_record_picture(out, report, width, utf8_terminal);
    }
    return out;
}
