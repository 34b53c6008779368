// The Frictionless Data recipe: a tabular data resource, the open
// standard's description of a delimited file that its tools (and others)
// load by. The standard has no fixed-width text.
#include "recipe_parts.h"

namespace
{

const char* field_type(value_type type)
{
    switch (type) {
    case value_type::integer:
        return "integer";
    case value_type::decimal:
    case value_type::floating:
        return "number";
    case value_type::date:
        return "date";
    case value_type::time:
        return "time";
    case value_type::datetime:
        return "datetime";
    case value_type::boolean:
        return "boolean";
    case value_type::text:
        break;
    }
    return "string";
}

// The IANA name the standard asks for. ASCII text is UTF-8 as it is, and
// "utf-8" is the one name every loader knows (the Frictionless Data
// project's own JavaScript library takes no "us-ascii").
const char* encoding_label(text_encoding encoding)
{
    switch (encoding) {
    case text_encoding::ascii:
    case text_encoding::utf8:
        return "utf-8";
    case text_encoding::latin1:
        return "iso-8859-1";
    case text_encoding::utf16le:
        return "utf-16le";
    case text_encoding::utf16be:
        return "utf-16be";
    case text_encoding::windows1252:
    case text_encoding::shift_jis:
    case text_encoding::euc_jp:
    case text_encoding::euc_kr:
    case text_encoding::gb18030:
    case text_encoding::big5:
    case text_encoding::koi8_r:
    case text_encoding::windows1251:
    case text_encoding::iso8859_5:
    case text_encoding::iso8859_7:
    case text_encoding::windows1253:
    case text_encoding::iso8859_2:
    case text_encoding::windows1250:
    case text_encoding::iso2022jp:
        return encoding_name(encoding);
    default:
        break;
    }
    return "utf-8";
}

std::string field_object(const column_description& column)
{
    std::string text = "      {\"name\": " + json_string(column.name) + ", \"type\": \"" +
                       field_type(column.type) + "\"";
    if (!column.format.empty())
        text += ", \"format\": " + json_string(column.format);
    if (column.decimal_mark != '.')
        text += ", \"decimalChar\": " + json_string(std::string(1, column.decimal_mark));
    if (column.grouping_mark)
        text += ", \"groupChar\": " + json_string(std::string(1, *column.grouping_mark));
    if (column.type == value_type::boolean)
        text += ", \"trueValues\": [\"true\", \"True\", \"TRUE\"], \"falseValues\": [\"false\", "
                "\"False\", \"FALSE\"]";
    return text + "}";
}

// The resource's name: lower-case letters, digits and - _ . alone.
std::string resource_name(const std::string& path)
{
    std::string base = path.substr(path.find_last_of("/\\") + 1);
    std::string name;
    for (char c : base) {
        char lower = c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c;
        bool kept = (lower >= 'a' && lower <= 'z') || (lower >= '0' && lower <= '9') ||
                    lower == '-' || lower == '_' || lower == '.';
        name += kept ? lower : '_';
    }
    return name.empty() ? "records" : name;
}

// Values that start with blanks after the delimiter, which the survey
// reads past (and a loader keeps, as the standard would have it, unless
// told).
bool blanks_after_delimiters(const survey_report& report, unsigned char delimiter)
{
    for (const shown_record& record : report.first_records) {
        const std::string& bytes = record.bytes;
        for (std::size_t at = 0; at + 1 < bytes.size(); at++) {
            if (static_cast<unsigned char>(bytes[at]) == delimiter && bytes[at + 1] == ' ')
                return true;
        }
    }
    return false;
}

} // namespace

recipe frictionless_recipe(const load_plan& plan)
{
    recipe made;
    const file_layout& layout = *plan.layout;
    if (plan.fixed_width) {
        made.why_none = "Frictionless Data describes delimited text only, not fixed-width";
        return made;
    }
    if (layout.encoding == text_encoding::ebcdic) {
        made.why_none = "Frictionless Data has no EBCDIC encoding";
        return made;
    }
    if (layout.bare_double_quotes) {
        made.why_none = "its values hold '\"' that quotes nothing, and a dialect without a "
                        "quoteChar quotes with '\"'";
        return made;
    }
    if (plan.trailer_lines > 0 || (layout.delimiter && *layout.delimiter == ' ')) {
        made.why_none = plan.trailer_lines > 0
                            ? "Frictionless Data cannot skip lines after the records"
                            : "fields apart by runs of blanks, which a dialect cannot state";
        return made;
    }
    std::string markers;
    for (const std::string& marker : plan.null_markers)
        markers += (markers.empty() ? "" : ", ") + json_string(marker);
    std::string text = "{\n  \"name\": " + json_string(resource_name(plan.report->name)) +
                       ",\n  \"path\": " + json_string(plan.report->name) +
                       ",\n  \"profile\": \"tabular-data-resource\",\n  \"format\": \"csv\","
                       "\n  \"encoding\": \"" +
                       encoding_label(layout.encoding) + "\",\n  \"dialect\": {\"delimiter\": " +
                       json_string(std::string(1, static_cast<char>(*layout.delimiter)));
    if (layout.quote)
        text +=
            ", \"quoteChar\": " + json_string(std::string(1, static_cast<char>(*layout.quote))) +
            ", \"doubleQuote\": true";
    if (blanks_after_delimiters(*plan.report, *layout.delimiter))
        text += ", \"skipInitialSpace\": true";
    std::uint64_t header_lines = plan.report->header_lines.value_or(0);
    text += ", \"header\": " + std::string(layout.header_row ? "true" : "false");
    if (layout.header_row)
        text += ", \"headerRows\": [" + std::to_string(header_lines + 1) + "]";
    if (header_lines > 0) {
        std::string rows;
        for (std::uint64_t row = 1; row <= header_lines; row++)
            rows += (rows.empty() ? "" : ", ") + std::to_string(row);
        text += ", \"commentRows\": [" + rows + "]";
    }
    text += "},\n  \"schema\": {\n    \"fields\": [\n";
    for (std::size_t at = 0; at < layout.described_columns.size(); at++)
        text += field_object(layout.described_columns[at]) +
                (at + 1 < layout.described_columns.size() ? ",\n" : "\n");
    text += "    ],\n    \"missingValues\": [" + markers + "]\n  }\n}\n";
    made.text = text;
    return made;
}
