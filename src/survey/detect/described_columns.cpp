#include "described_columns.h"

#include "../base/code_pages.h"
#include "../base/field_split.h"
#include "../base/text_decode.h"
#include "../base/text_lines.h"
#include "binary_columns.h"
#include "column_names_line.h"
#include "column_types.h"

#include <algorithm>
#include <set>
#include <string>

namespace
{

// Columns typed side by side in one walk down the rows: each keeps a few
// KiB of candidates, so a table of thousands of columns is walked again
// for each group (a matter of speed and memory alone).
constexpr std::size_t COLUMNS_TYPED_AT_ONCE = 64;
// Rows whose values are handed to each column's typer in one call: few
// enough that their values stay at hand from one column to the next.
constexpr std::size_t ROWS_TYPED_AT_ONCE = 256;

// dBASE's field descriptors: 32 bytes each from offset 32, the name in the
// first 11 (NUL-padded), the type letter at 11, the width at 16 and the
// digits after the point at 17.
constexpr std::size_t DBASE_DESCRIPTORS = 32;
constexpr std::size_t DBASE_DESCRIPTOR_SIZE = 32;
constexpr std::size_t DBASE_NAME_SIZE = 11;
constexpr std::size_t DBASE_TYPE_AT = 11;
constexpr std::size_t DBASE_DECIMALS_AT = 17;
// A byte order mark's bytes in UTF-8 and in UTF-16.
constexpr std::uint64_t UTF8_MARK = 3;
constexpr std::uint64_t UTF16_MARK = 2;

// Bytes of a comment's opening mark, which a commented name starts with.
constexpr std::string_view COMMENT_MARKS = " \t#%!;/";

// The records of the sample's text after the header, one per line or,
// with a quote, as many lines as a quoted line end joins. Comments and
// blank lines among them are not records; a record the sample may have
// cut is left out.
// names_first keeps a first line that is a comment: a commented row of
// names ("#CHROM\tPOS") that the survey found at the records' start.

std::vector<std::string_view> text_records(const decoded_text& decoded, bool whole,
                                           std::optional<unsigned char> quote, bool names_first,
                                           const kept_lines* kept)
{
    std::vector<std::string_view> records;
    std::vector<text_line> split;
    std::optional<std::span<const text_line>> shared;
    if (kept != nullptr)
        shared = kept_lines_of(*kept, decoded.text, whole);
    if (!shared)
        split = split_text_lines(decoded.text, whole);
    std::span<const text_line> lines = shared ? *shared : std::span<const text_line>(split);
    records.reserve(lines.size());
    if (!whole && !lines.empty())
        lines = lines.first(lines.size() - 1);
    bool open = false;
    for (const text_line& line : lines) {
        // A quoted line end joins the line to the record before, whose
        // bytes run on to this line's end.
        if (open)
            records.back() =
                std::string_view(records.back().data(),
                                 static_cast<std::size_t>(line.text.data() + line.text.size() -
                                                          records.back().data()));
        else if (!is_blank_or_comment_line(line.text) ||
                 (names_first && records.empty() && !is_blank_line(line.text)))
            records.push_back(line.text);
        else
            continue;
        // Asked here too: without a quote, the most of tables, no line is
        // called for.
        if (quote && ends_inside_quotes(line.text, quote))
            open = !open;
    }
    if (open && !whole)
        records.pop_back();
    return records;
}

decoded_text record_text(const file_sample& sample, const file_layout& layout, bool& whole)
{
    std::uint64_t end = sample.start.size();
    whole = sample_is_whole_file(sample);
    if (whole)
        end -= std::min<std::uint64_t>(end, layout.trailer_length);
    std::uint64_t start = std::min<std::uint64_t>(layout.header_length, end);
    return decode_text(sample.start.subspan(start, end - start), start, layout.encoding);
}

// Latin-1 text, and EBCDIC's as decoded, in UTF-8, as every loader
// takes a column's name.
std::string latin1_to_utf8(std::string_view text)
{
    std::string utf8;
    for (char c : text) {
        unsigned char byte = static_cast<unsigned char>(c);
        if (byte < 0x80) {
            utf8 += c;
            continue;
        }
        utf8 += static_cast<char>(0xC0 | byte >> 6);
        utf8 += static_cast<char>(0x80 | (byte & 0x3F));
    }
    return utf8;
}

bool is_ascii(std::string_view text)
{
    for (char c : text) {
        if (static_cast<unsigned char>(c) >= 0x80)
            return false;
    }
    return true;
}

// Names unique and not empty, as loaders require them.
void settle_names(std::vector<column_description>& columns, text_encoding encoding)
{
    std::set<std::string> taken;
    for (std::size_t at = 0; at < columns.size(); at++) {
        std::string& name = columns[at].name;
        if (encoding == text_encoding::latin1 || encoding == text_encoding::ebcdic ||
            encoding == text_encoding::windows1252)
            name = latin1_to_utf8(name);
        if (is_mapped_code_page(encoding))
            name = code_page_to_utf8(name, encoding);
        // Names in an East Asian encoding would need its tables to become
        // UTF-8; their numbers stand in.
        if ((is_east_asian(encoding) || encoding == text_encoding::iso2022jp) && !is_ascii(name))
            name.clear();
        if (name.empty())
            name = "column_" + std::to_string(at + 1);
        std::string base = name;
        for (int suffix = 2; taken.count(name) > 0; suffix++)
            name = base + "_" + std::to_string(suffix);
        taken.insert(name);
    }
}

// The values of the records, row by row, in one vector: the sample's
// tens of thousands of records cost no allocation each.
struct value_table {
    std::vector<std::string_view> values;
    std::vector<std::size_t> row_starts{0};

    std::size_t rows() const
    {
        return row_starts.size() - 1;
    }
    std::size_t width(std::size_t row) const
    {
        return row_starts[row + 1] - row_starts[row];
    }
    std::string_view at(std::size_t row, std::size_t column) const
    {
        return values[row_starts[row] + column];
    }
    void end_row()
    {
        row_starts.push_back(values.size());
    }
    // A vector for each row, for the steps that take them so.
    std::vector<std::vector<std::string_view>> as_rows() const
    {
        std::vector<std::vector<std::string_view>> each(rows());
        for (std::size_t row = 0; row < rows(); row++)
            each[row].assign(values.begin() + static_cast<std::ptrdiff_t>(row_starts[row]),
                             values.begin() + static_cast<std::ptrdiff_t>(row_starts[row + 1]));
        return each;
    }
};

// Types every column from its values, record by record; a header row
// gives the names.
// A row of names one short of the columns, where the last column holds
// values (no delimiter closing each row), names all but the first: R's
// row names stand there (read.table: "the first column is taken to be the
// row names").
std::size_t names_shifted_by(const value_table& rows, std::size_t count, std::size_t first)
{
    if (first == 0 || count == 0 || rows.width(0) + 1 != count)
        return 0;
    for (std::size_t row = 1; row < rows.rows(); row++) {
        if (rows.width(row) == count && !rows.at(row, count - 1).empty())
            return 1;
    }
    return 0;
}

std::vector<column_description> typed_columns(const value_table& rows, std::size_t count,
                                              bool header_row)
{
    std::vector<column_description> columns;
    std::size_t first = header_row && rows.rows() > 0 ? 1 : 0;
    std::size_t shift = names_shifted_by(rows, count, first);
    // A block of rows at a time, its values read while they are at hand,
    // not column by column down the whole sample again for each column;
    // a wide table a group of columns at a time.
    for (std::size_t from = 0; from < count; from += COLUMNS_TYPED_AT_ONCE) {
        std::size_t to = std::min(count, from + COLUMNS_TYPED_AT_ONCE);
        std::vector<column_typer> typers(to - from);
        // A column settled as text takes no more values: it leaves the
        // walk, and the walk ends when none is left.
        std::vector<std::size_t> open;
        for (std::size_t column = from; column < to; column++)
            open.push_back(column);
        std::size_t still_open = open.size();
        std::vector<std::string_view> block(ROWS_TYPED_AT_ONCE);
        for (std::size_t row = first; row < rows.rows() && still_open > 0;
             row += ROWS_TYPED_AT_ONCE) {
            std::size_t end = std::min(rows.rows(), row + ROWS_TYPED_AT_ONCE);
            // Rows of one width, the most of a table's, hold each column's
            // values a row's width apart: read there, not copied out.
            // Asked as where each row starts, with no exit from the loop:
            // the compiler then takes several rows a step.
            std::size_t width = rows.width(row);
            std::size_t start = rows.row_starts[row];
            std::size_t differ = 0;
            for (std::size_t at = row + 1; at <= end; at++)
                differ |= rows.row_starts[at] ^ (start + (at - row) * width);
            bool one_width = differ == 0;
            std::size_t kept = 0;
            for (std::size_t each = 0; each < still_open; each++) {
                std::size_t column = open[each];
                bool taking;
                if (one_width && column < width) {
                    taking = typers[column - from].take_all(
                        rows.values.data() + rows.row_starts[row] + column, width, end - row);
                } else {
                    for (std::size_t at = row; at < end; at++)
                        block[at - row] =
                            column < rows.width(at) ? rows.at(at, column) : std::string_view{};
                    taking = typers[column - from].take_all(block.data(), end - row);
                }
                if (taking)
                    open[kept++] = column;
            }
            still_open = kept;
        }
        for (std::size_t column = from; column < to; column++) {
            column_description described = typers[column - from].finish();
            if (first == 1 && column >= shift && column - shift < rows.width(0))
                described.name = rows.at(0, column - shift);
            columns.push_back(described);
        }
    }
    return columns;
}

void describe_delimited(const file_sample& sample, file_layout& layout, const kept_lines* kept)
{
    bool whole = false;
    decoded_text decoded = record_text(sample, layout, whole);
    field_rule rule{*layout.delimiter, layout.quote};
    value_table rows;
    std::vector<std::string_view> records =
        text_records(decoded, whole, layout.quote, layout.header_row, kept);
    rows.row_starts.reserve(records.size() + 1);
    // Records mostly have the usual number of fields.
    rows.values.reserve(records.size() *
                        std::max<std::size_t>(layout.fields.value_or(0), layout.most_fields));
    append_values_of_records(records, rule, rows.values, rows.row_starts);
    // A commented row of names: the first name follows the mark.
    if (!records.empty() && !rows.values.empty() && rows.width(0) > 0 &&
        is_comment_line(records[0])) {
        std::string_view& name = rows.values[0];
        name.remove_prefix(std::min(name.size(), name.find_first_not_of(COMMENT_MARKS)));
    }
    std::size_t count = std::max<std::size_t>(layout.fields.value_or(0), layout.most_fields);
    layout.described_columns = typed_columns(rows, count, layout.header_row);
    for (std::size_t column = 0; column < count; column++)
        layout.described_columns[column].index = static_cast<std::uint32_t>(column);
}

value_table sliced(const std::vector<std::string_view>& records,
                   const std::vector<column_span>& spans, std::uint32_t unit_width)
{
    value_table rows;
    rows.values.reserve(records.size() * spans.size());
    rows.row_starts.reserve(records.size() + 1);
    // In characters once, not divided again at every record.
    std::vector<std::pair<std::size_t, std::size_t>> in_characters;
    in_characters.reserve(spans.size());
    for (const column_span& span : spans)
        in_characters.emplace_back(span.start / unit_width, span.end / unit_width);
    for (std::string_view record : records) {
        for (auto [start, end] : in_characters) {
            rows.values.push_back(
                start < record.size()
                    ? trimmed_value(record.substr(start, std::min(end, record.size()) - start))
                    : std::string_view{});
        }
        rows.end_row();
    }
    return rows;
}

// Bytes of the byte order mark that the header holds.
std::uint64_t mark_length(const file_layout& layout)
{
    if (!layout.byte_order_mark)
        return 0;
    return layout.encoding == text_encoding::utf8 ? UTF8_MARK : UTF16_MARK;
}

// A line before the records whose words sit over the columns names them.
// The rows are copied out one vector each only where there is such a
// line: most files have none, and the sample's rows are many.
void name_from_preamble(const file_sample& sample, file_layout& layout, std::uint32_t unit_width,
                        const value_table& rows)
{
    // The line before the records must be in the sample, not cut by its end.
    std::uint64_t end = layout.header_length;
    std::uint64_t start = std::min(mark_length(layout), end);
    if (start == end || end > sample.start.size())
        return;
    decoded_text preamble =
        decode_text(sample.start.subspan(start, end - start), start, layout.encoding);
    std::vector<column_span> in_characters = layout.columns;
    for (column_span& column : in_characters) {
        column.start /= unit_width;
        column.end /= unit_width;
    }
    std::vector<std::string> names =
        names_over_columns(names_line_of(preamble.text), in_characters, rows.as_rows());
    for (std::size_t column = 0; column < names.size(); column++)
        layout.described_columns[column].name = names[column];
}

void describe_fixed_width(const file_sample& sample, file_layout& layout, const kept_lines* kept)
{
    bool whole = false;
    decoded_text decoded = record_text(sample, layout, whole);
    std::vector<std::string_view> records;
    if (layout.kind == record_layout::lines) {
        records = text_records(decoded, whole, std::nullopt, false, kept);
    } else {
        std::size_t length = *layout.record_length / decoded.unit_width;
        std::string_view text = decoded.text;
        for (std::size_t at = 0; length > 0 && at + length <= text.size(); at += length)
            records.push_back(text.substr(at, length));
    }
    value_table rows = sliced(records, layout.columns, decoded.unit_width);
    layout.described_columns = typed_columns(rows, layout.columns.size(), layout.header_row);
    for (std::size_t column = 0; column < layout.columns.size(); column++)
        layout.described_columns[column].span = layout.columns[column];
    if (layout.kind == record_layout::lines && !layout.header_row)
        name_from_preamble(sample, layout, decoded.unit_width, rows);
}

// The type a dBASE field's letter declares; its values are text of that
// form. Binary fields (integers, currency, timestamps of later versions)
// are told apart by their bytes alone.
void dbase_type(char letter, unsigned decimals, column_description& column)
{
    switch (letter) {
    case 'N':
        column.type = decimals > 0 ? value_type::decimal : value_type::integer;
        column.fraction_digits = decimals;
        break;
    case 'F':
        column.type = value_type::floating;
        break;
    case 'D':
        column.type = value_type::date;
        column.format = "%Y%m%d";
        break;
    case 'L':
        column.type = value_type::boolean;
        break;
    default:
        column.type = value_type::text;
        break;
    }
}

void describe_dbase(const file_sample& sample, file_layout& layout)
{
    byte_span bytes = sample.start;
    for (std::size_t column = 0; column < layout.columns.size(); column++) {
        std::size_t at = DBASE_DESCRIPTORS + column * DBASE_DESCRIPTOR_SIZE;
        if (at + DBASE_DESCRIPTOR_SIZE > bytes.size())
            break;
        column_description described;
        const unsigned char* name = bytes.data() + at;
        const unsigned char* name_end = std::find(name, name + DBASE_NAME_SIZE, 0);
        described.name = trimmed_value(std::string_view(reinterpret_cast<const char*>(name),
                                                        static_cast<std::size_t>(name_end - name)));
        dbase_type(static_cast<char>(bytes[at + DBASE_TYPE_AT]), bytes[at + DBASE_DECIMALS_AT],
                   described);
        described.span = layout.columns[column];
        layout.described_columns.push_back(described);
    }
    if (layout.described_columns.size() != layout.columns.size())
        layout.described_columns.clear();
}

} // namespace

void describe_columns(const file_sample& sample, file_layout& layout, const kept_lines* kept)
{
    bool text = layout.encoding != text_encoding::binary;
    if (describe_binary_columns(sample, layout)) {
        settle_names(layout.described_columns, text_encoding::ascii);
        return;
    }
    if (layout.format_name == "dBASE table" && !layout.columns.empty())
        describe_dbase(sample, layout);
    else if (layout.kind == record_layout::lines && layout.delimiter && layout.fields)
        describe_delimited(sample, layout, kept);
    else if (text && layout.record_length && !layout.columns.empty() && layout.format_name.empty())
        describe_fixed_width(sample, layout, kept);
    settle_names(layout.described_columns, layout.encoding);
}
