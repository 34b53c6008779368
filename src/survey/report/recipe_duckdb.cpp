// The DuckDB recipe: one query. Delimited text is read by read_csv with
// every option stated, so that its sniffer guesses nothing; fixed-width
// text as whole lines cut by substr. Values read as text where DuckDB's
// reader cannot parse them (a decimal comma, grouping marks, a date
// pattern of the column's own) are converted in the select list.
#include "../base/code_pages.h"
#include "../base/text_decode.h"
#include "recipe_parts.h"

namespace
{

// DuckDB's DECIMAL holds 18 digits in a 64-bit integer; wider is DOUBLE.
constexpr std::uint32_t MOST_DECIMAL_DIGITS = 18;
// A byte no line of text holds, for reading a line as one field.
constexpr const char* NO_DELIMITER = "\\x1e";

std::string number_type(const column_description& column)
{
    if (column.type == value_type::integer)
        return "BIGINT";
    if (column.type == value_type::decimal &&
        column.integer_digits + column.fraction_digits <= MOST_DECIMAL_DIGITS) {
        std::uint32_t width = std::max<std::uint32_t>(
            column.integer_digits + column.fraction_digits, column.fraction_digits + 1);
        return "DECIMAL(" + std::to_string(std::max<std::uint32_t>(width, 1)) + "," +
               std::to_string(column.fraction_digits) + ")";
    }
    return "DOUBLE";
}

std::string engine_type(const column_description& column)
{
    switch (column.type) {
    case value_type::integer:
    case value_type::decimal:
    case value_type::floating:
        return number_type(column);
    case value_type::date:
        return "DATE";
    case value_type::time:
        return "TIME";
    case value_type::datetime:
        return "TIMESTAMP";
    case value_type::boolean:
        return "BOOLEAN";
    case value_type::text:
        break;
    }
    return "VARCHAR";
}

bool is_number(const column_description& column)
{
    return column.type == value_type::integer || column.type == value_type::decimal ||
           column.type == value_type::floating;
}

// Whether read_csv parses the column's values itself.
bool read_as_typed(const column_description& column)
{
    if (is_number(column))
        return plain_number(column);
    return column.format.empty();
}

std::string literal(std::string_view text)
{
    return sql_string(text).value_or("''");
}

// The conversion of text value, an expression, to the column's type.
std::string converted(const column_description& column, const std::string& value)
{
    if (column.type == value_type::text)
        return value;
    if (is_number(column)) {
        std::string digits = value;
        if (column.grouping_mark)
            digits = "replace(" + digits + ", " + literal(std::string(1, *column.grouping_mark)) +
                     ", '')";
        if (column.decimal_mark != '.')
            digits = "replace(" + digits + ", " + literal(std::string(1, column.decimal_mark)) +
                     ", '.')";
        return "CAST(" + digits + " AS " + number_type(column) + ")";
    }
    if (!column.format.empty())
        return "CAST(strptime(" + value + ", " + literal(column.format) + ") AS " +
               engine_type(column) + ")";
    return "CAST(" + value + " AS " + engine_type(column) + ")";
}

std::string null_list(const load_plan& plan)
{
    std::string list = "[";
    for (const std::string& marker : plan.null_markers)
        list += (list.size() > 1 ? ", " : "") + literal(marker);
    return list + "]";
}

std::string encoding_option(text_encoding encoding)
{
    // The quotes and dashes of 0x80-0x9F come out as controls, the rest
    // right.
    if (encoding == text_encoding::latin1 || encoding == text_encoding::windows1252)
        return "latin-1";
    if (encoding == text_encoding::utf16le || encoding == text_encoding::utf16be)
        return "utf-16";
    return "utf-8";
}

std::string delimited_query(const load_plan& plan, const std::string& path)
{
    const file_layout& layout = *plan.layout;
    std::string select, columns;
    for (const column_description& column : layout.described_columns) {
        std::string name = sql_name(column.name);
        bool typed = read_as_typed(column);
        columns += (columns.empty() ? "" : ", ") + literal(column.name) + ": '" +
                   (typed ? engine_type(column) : std::string("VARCHAR")) + "'";
        select += std::string(select.empty() ? "" : ",\n       ") +
                  (typed ? name : converted(column, name) + " AS " + name);
    }
    std::string delimiter(1, static_cast<char>(*layout.delimiter));
    std::string quote = layout.quote ? std::string(1, static_cast<char>(*layout.quote)) : "";
    std::string query =
        "SELECT " + select + "\nFROM read_csv(" + path + ",\n    delim = " + literal(delimiter) +
        ", quote = " + literal(quote) + ", escape = " + literal(quote) +
        ",\n    header = false, skip = " + std::to_string(plan.skip_lines) +
        ", auto_detect = false, encoding = " + literal(encoding_option(layout.encoding)) +
        ",\n    nullstr = " + null_list(plan) + ",\n    columns = {" + columns + "}";
    if (layout.fewest_fields < layout.most_fields)
        query += ",\n    null_padding = true";
    // Lines ended now by CR LF, now by LF alone are read only when the
    // reader is not strict.
    if (plan.trailer_lines > 0)
        query += ",\n    strict_mode = false, ignore_errors = true";
    else if (layout.terminator == line_terminator::mixed)
        query += ",\n    strict_mode = false";
    return query + ")";
}

// A column's value in a whole line: its characters in fixed-width text,
// or the field between runs of blanks.
std::string value_in_line(const file_layout& layout, const column_description& column)
{
    if (!column.span)
        return "nullif(string_split_regex(trim(line), '[ \t]+')[" +
               std::to_string(*column.index + 1) + "], '')";
    std::uint32_t unit =
        layout.encoding == text_encoding::utf16le || layout.encoding == text_encoding::utf16be ? 2
                                                                                               : 1;
    std::uint32_t start = column.span->start / unit, end = column.span->end / unit;
    return "nullif(trim(substr(line, " + std::to_string(start + 1) + ", " +
           std::to_string(end - start) + ")), '')";
}

std::string line_query(const load_plan& plan, const std::string& path)
{
    const file_layout& layout = *plan.layout;
    std::string select;
    for (const column_description& column : layout.described_columns) {
        std::string value = value_in_line(layout, column);
        for (const std::string& marker : plan.null_markers) {
            if (!marker.empty())
                value = "nullif(" + value + ", " + literal(marker) + ")";
        }
        select += std::string(select.empty() ? "" : ",\n       ") + converted(column, value) +
                  " AS " + sql_name(column.name);
    }
    return "SELECT " + select + "\nFROM read_csv(" + path + ",\n    delim = '" + NO_DELIMITER +
           "', quote = '', escape = '', header = false, skip = " + std::to_string(plan.skip_lines) +
           ", auto_detect = false, encoding = " + literal(encoding_option(layout.encoding)) +
           ",\n    columns = {'line': 'VARCHAR'}, strict_mode = false)\nWHERE trim(line) <> ''";
}

} // namespace

recipe duckdb_recipe(const load_plan& plan)
{
    recipe made;
    const file_layout& layout = *plan.layout;
    std::optional<std::string> path = sql_string(plan.report->name);
    if (!path)
        made.why_none = "the file name is not UTF-8, which a query must be";
    else if (plan.by_length)
        made.why_none = "DuckDB reads text by lines, and these records have no line ends";
    else if (layout.encoding == text_encoding::ebcdic)
        made.why_none = "DuckDB does not read EBCDIC";
    else if (layout.encoding == text_encoding::utf16be)
        made.why_none = "DuckDB reads UTF-16 little-endian only";
    else if (is_east_asian(layout.encoding) || is_mapped_code_page(layout.encoding) ||
             layout.encoding == text_encoding::iso2022jp)
        made.why_none = "DuckDB reads UTF-8, UTF-16 and Latin-1 only";
    if (!made.why_none.empty())
        return made;
    bool by_blanks = layout.delimiter && *layout.delimiter == ' ';
    std::string query =
        plan.fixed_width || by_blanks ? line_query(plan, *path) : delimited_query(plan, *path);
    if (plan.rows && plan.trailer_lines > 0)
        query += "\nLIMIT " + std::to_string(*plan.rows);
    made.text = query + ";\n";
    return made;
}
