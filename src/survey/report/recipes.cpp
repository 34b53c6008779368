#include "recipe_parts.h"

#include "survey_json.h"

#include <algorithm>

namespace
{

// Lead bytes' ranges alone: a name a query or a script holds as text need
// not be checked further, the engine rejects what is left.
bool valid_utf8(std::string_view bytes)
{
    for (std::size_t at = 0; at < bytes.size();) {
        unsigned lead = static_cast<unsigned char>(bytes[at]);
        std::size_t length = lead < 0x80                    ? 1
                             : lead >= 0xC2 && lead <= 0xDF ? 2
                             : lead >= 0xE0 && lead <= 0xEF ? 3
                             : lead >= 0xF0 && lead <= 0xF4 ? 4
                                                            : 0;
        if (length == 0 || bytes.size() - at < length)
            return false;
        for (std::size_t next = 1; next < length; next++) {
            if ((static_cast<unsigned char>(bytes[at + next]) & 0xC0) != 0x80)
                return false;
        }
        at += length;
    }
    return true;
}

const char HEX[] = "0123456789abcdef";

const char BINARY_FIELDS[] = "binary records: their fields are not text";

} // namespace

std::optional<recipe_form> recipe_form_named(std::string_view name)
{
    if (name == "duckdb")
        return recipe_form::duckdb;
    if (name == "pandas")
        return recipe_form::pandas;
    if (name == "frictionless")
        return recipe_form::frictionless;
    return std::nullopt;
}

const char* recipe_form_name(recipe_form form)
{
    switch (form) {
    case recipe_form::duckdb:
        return "duckdb";
    case recipe_form::pandas:
        return "pandas";
    case recipe_form::frictionless:
        break;
    }
    return "frictionless";
}

std::optional<std::string> sql_string(std::string_view bytes)
{
    if (!valid_utf8(bytes) || bytes.find('\0') != std::string_view::npos)
        return std::nullopt;
    std::string text = "'";
    for (char c : bytes) {
        text += c;
        if (c == '\'')
            text += '\'';
    }
    return text + "'";
}

std::string sql_name(std::string_view name)
{
    std::string text = "\"";
    for (char c : name) {
        text += c;
        if (c == '"')
            text += '"';
    }
    return text + "\"";
}

std::string python_string(std::string_view bytes)
{
    bool plain = valid_utf8(bytes);
    std::string text = plain ? "'" : "os.fsdecode(b'";
    for (char c : bytes) {
        unsigned char byte = static_cast<unsigned char>(c);
        if (c == '\\' || c == '\'') {
            text += '\\';
            text += c;
        } else if (byte < 0x20 || byte == 0x7F || (!plain && byte >= 0x80)) {
            text += "\\x";
            text += HEX[byte >> 4];
            text += HEX[byte & 0xF];
        } else {
            text += c;
        }
    }
    return text + (plain ? "'" : "')");
}

std::string json_string(std::string_view bytes)
{
    std::string text;
    append_json_string(text, bytes);
    return text;
}

bool plain_number(const column_description& column)
{
    return !column.grouping_mark && column.decimal_mark == '.';
}

std::optional<load_plan> plan_load(const survey_report& report, std::string& why_none)
{
    const file_layout& layout = report.layout;
    load_plan plan;
    plan.report = &report;
    plan.layout = &layout;
    if (report.error)
        why_none = *report.error;
    else if (report.name == "-")
        why_none = "standard input cannot be read again by name";
    else if (layout.described_columns.empty())
        why_none = layout.kind == record_layout::lines ? "the lines have no columns"
                                                       : "the records have no known columns";
    else if (layout.encoding == text_encoding::binary && !layout.described_columns[0].binary)
        why_none = BINARY_FIELDS;
    else if (layout.kind == record_layout::lines && (!report.header_lines || !report.trailer_lines))
        why_none = "the header or trailer lies outside the sample";
    if (!why_none.empty())
        return std::nullopt;
    plan.binary_fields = layout.described_columns[0].binary.has_value();
    plan.by_length = layout.kind == record_layout::fixed_length;
    plan.fixed_width = !layout.delimiter;
    plan.skip_lines = report.header_lines.value_or(0) + (layout.header_row ? 1 : 0);
    plan.trailer_lines = report.trailer_lines.value_or(0);
    std::optional<std::uint64_t> records =
        report.verified ? report.outcome.records : layout.records;
    if (records && (!layout.records_estimated || report.verified) &&
        *records >= (layout.header_row ? 1u : 0u))
        plan.rows = *records - (layout.header_row ? 1 : 0);
    plan.null_markers.push_back("");
    for (const column_description& column : layout.described_columns) {
        if (column.nullable && std::find(plan.null_markers.begin(), plan.null_markers.end(),
                                         column.null_marker) == plan.null_markers.end())
            plan.null_markers.push_back(column.null_marker);
    }
    return plan;
}

recipe write_recipe(recipe_form form, const survey_report& report)
{
    recipe none;
    std::optional<load_plan> plan = plan_load(report, none.why_none);
    if (!plan)
        return none;
    // Only code can decode zoned and packed digits or integers' bytes; a
    // query's reader or a schema's types cannot say them.
    if (plan->binary_fields && form != recipe_form::pandas) {
        none.why_none = BINARY_FIELDS;
        return none;
    }
    // pandas alone can be told that only LF ends a line, and only with its
    // C parser, which cannot skip lines at the end.
    if (plan->layout->returns_inside && (form != recipe_form::pandas || plan->trailer_lines > 0)) {
        none.why_none = "lone CRs stand inside its fields, and its reader would end lines there";
        return none;
    }
    switch (form) {
    case recipe_form::duckdb:
        return duckdb_recipe(*plan);
    case recipe_form::pandas:
        return pandas_recipe(*plan);
    case recipe_form::frictionless:
        break;
    }
    return frictionless_recipe(*plan);
}
