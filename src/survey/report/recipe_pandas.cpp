// The pandas recipe: Python that leaves the records in a DataFrame named
// df. read_csv or read_fwf read every value the way the column's type
// needs; dates, times, booleans and numbers with marks other than the
// point are read as text and converted after, column by column.
#include "recipe_parts.h"

namespace
{

std::string python_list(const std::vector<std::string>& items)
{
    std::string list = "[";
    for (const std::string& item : items)
        list += (list.size() > 1 ? ", " : "") + item;
    return list + "]";
}

std::string codec(const file_layout& layout)
{
    switch (layout.encoding) {
    case text_encoding::utf8:
        return layout.byte_order_mark ? "utf-8-sig" : "utf-8";
    case text_encoding::latin1:
        return "latin-1";
    case text_encoding::utf16le:
    case text_encoding::utf16be:
        return layout.byte_order_mark                      ? "utf-16"
               : layout.encoding == text_encoding::utf16le ? "utf-16-le"
                                                           : "utf-16-be";
    case text_encoding::ebcdic:
        return "cp037";
    case text_encoding::shift_jis:
        return "shift_jis";
    case text_encoding::euc_jp:
        return "euc_jp";
    case text_encoding::euc_kr:
        return "euc_kr";
    case text_encoding::gb18030:
        return "gb18030";
    case text_encoding::big5:
        return "big5";
    case text_encoding::windows1252:
        return "cp1252";
    case text_encoding::koi8_r:
        return "koi8_r";
    case text_encoding::windows1251:
        return "cp1251";
    case text_encoding::iso8859_5:
        return "iso8859_5";
    case text_encoding::iso8859_7:
        return "iso8859_7";
    case text_encoding::windows1253:
        return "cp1253";
    case text_encoding::iso8859_2:
        return "iso8859_2";
    case text_encoding::windows1250:
        return "cp1250";
    case text_encoding::iso2022jp:
        return "iso2022_jp";
    default:
        break;
    }
    return "ascii";
}

bool is_number(const column_description& column)
{
    return column.type == value_type::integer || column.type == value_type::decimal ||
           column.type == value_type::floating;
}

// The dtype read_csv reads the column as; "str" for those converted after.
std::string read_dtype(const column_description& column)
{
    if (is_number(column) && plain_number(column))
        return column.type == value_type::integer ? "Int64" : "float64";
    return "str";
}

// The statement that converts a column read as text, empty for none.
std::string conversion(const column_description& column)
{
    std::string value = "df[" + python_string(column.name) + "]";
    if (is_number(column) && !plain_number(column)) {
        std::string digits = value + ".str";
        if (column.grouping_mark)
            digits += ".replace(" + python_string(std::string(1, *column.grouping_mark)) +
                      ", '', regex=False).str";
        digits += ".replace(" + python_string(std::string(1, column.decimal_mark)) +
                  ", '.', regex=False)";
        std::string number = "pd.to_numeric(" + digits + ")";
        if (column.type == value_type::integer)
            number += ".astype('Int64')";
        return value + " = " + number;
    }
    switch (column.type) {
    case value_type::date:
    case value_type::datetime:
        return value + " = pd.to_datetime(" + value + ", format=" + python_string(column.format) +
               ")";
    case value_type::time:
        return value + " = pd.to_datetime(" + value + ", format=" + python_string(column.format) +
               ").dt.time";
    case value_type::boolean:
        return value + " = " + value +
               ".str.lower().map({'true': True, 'false': False}).astype('boolean')";
    default:
        break;
    }
    return "";
}

std::string common_options(const load_plan& plan)
{
    const file_layout& layout = *plan.layout;
    std::vector<std::string> names, dtypes, markers;
    for (const column_description& column : layout.described_columns) {
        names.push_back(python_string(column.name));
        dtypes.push_back(python_string(column.name) + ": '" + read_dtype(column) + "'");
    }
    for (const std::string& marker : plan.null_markers)
        markers.push_back(python_string(marker));
    std::string options = ",\n    header=None, names=" + python_list(names) + ",\n    dtype={" +
                          python_list(dtypes).substr(1);
    options.back() = '}';
    options += ",\n    skiprows=" + std::to_string(plan.skip_lines) + ", encoding='" +
               codec(layout) + "',\n    keep_default_na=False, na_values=" + python_list(markers);
    if (plan.trailer_lines > 0)
        options += ",\n    skipfooter=" + std::to_string(plan.trailer_lines) + ", engine='python'";
    // A lone CR inside a field is no line end.
    if (layout.returns_inside)
        options += ",\n    lineterminator='\\n'";
    return options;
}

// EBCDIC's new line decodes to U+0085, which pandas ends no line at: the
// text is decoded first and given with line feeds in its place.
std::string source_of(const load_plan& plan)
{
    const file_layout& layout = *plan.layout;
    std::string path = python_string(plan.report->name);
    if (layout.terminator != line_terminator::nel)
        return path;
    return "io.StringIO(open(" + path + ", encoding='" + codec(layout) +
           "', newline='').read().replace('\\x85', '\\n'))";
}

std::string read_call(const load_plan& plan)
{
    const file_layout& layout = *plan.layout;
    std::string path = source_of(plan);
    if (plan.fixed_width) {
        std::uint32_t unit =
            layout.encoding == text_encoding::utf16le || layout.encoding == text_encoding::utf16be
                ? 2
                : 1;
        std::vector<std::string> spans;
        // Appended piece by piece: GCC 12's -Wrestrict misfires on a chain of
        // operator+ that starts with a literal in optimised builds.
        for (const column_description& column : layout.described_columns) {
            std::string span = "(";
            span += std::to_string(column.span->start / unit);
            span += ", ";
            span += std::to_string(column.span->end / unit);
            span += ")";
            spans.push_back(std::move(span));
        }
        return "df = pd.read_fwf(" + path + ", colspecs=" + python_list(spans) +
               common_options(plan) + ")\n";
    }
    std::string delimiter(1, static_cast<char>(*layout.delimiter));
    std::string separator = delimiter == " " ? "r'\\s+'" : python_string(delimiter);
    std::string quoting =
        layout.quote
            ? "quotechar=" + python_string(std::string(1, static_cast<char>(*layout.quote)))
            : std::string("quoting=3");
    return "df = pd.read_csv(" + path + ", sep=" + separator + ", " + quoting +
           common_options(plan) + ")\n";
}

// The records' bytes, cut from the file's by their length.
std::string records_by_length(const load_plan& plan)
{
    const file_layout& layout = *plan.layout;
    std::uint64_t length = *layout.record_length;
    return "with open(" + python_string(plan.report->name) +
           ", 'rb') as file:\n    data = file.read()\n"
           "start = " +
           std::to_string(layout.header_length) + " + " +
           std::to_string(layout.header_row ? length : 0) + "\nrecords = [data[at:at + " +
           std::to_string(length) + "] for at in range(start, len(data) - " +
           std::to_string(layout.trailer_length) + " - " + std::to_string(length - 1) + ", " +
           std::to_string(length) + ")]\n";
}

// Records without line ends whose fields are text.
std::string read_by_length(const load_plan& plan)
{
    const file_layout& layout = *plan.layout;
    std::string code = records_by_length(plan);
    std::vector<std::string> markers;
    for (const std::string& marker : plan.null_markers)
        markers.push_back(python_string(marker));
    code += "missing = {" + python_list(markers).substr(1);
    code.back() = '}';
    code += "\ndef field(record, start, end):\n"
            "    value = record[start:end].decode('" +
            codec(layout) +
            "').strip()\n"
            "    return None if value in missing else value\n"
            "df = pd.DataFrame({\n";
    for (const column_description& column : layout.described_columns)
        code += "    " + python_string(column.name) + ": [field(r, " +
                std::to_string(column.span->start) + ", " + std::to_string(column.span->end) +
                ") for r in records],\n";
    code += "})\n";
    for (const column_description& column : layout.described_columns) {
        std::string value = "df[" + python_string(column.name) + "]";
        if (is_number(column) && plain_number(column))
            code += value + " = pd.to_numeric(" + value + ")" +
                    (column.type == value_type::integer ? ".astype('Int64')" : "") + "\n";
    }
    return code;
}

// Zoned digits keep theirs in the low nibbles, the last byte's zone the
// sign; packed ones two a byte, the last nibble the sign. D is minus.
// Where the point lies the records do not say.
const char DECIMAL_DECODERS[] =
    "def zoned(field):\n"
    "    digits = ''.join(str(byte & 0xF) for byte in field)\n"
    "    return -int(digits) if field[-1] >> 4 == 0xD else int(digits)\n"
    "def packed(field):\n"
    "    digits = field.hex()\n"
    "    return -int(digits[:-1]) if digits[-1] == 'd' else int(digits[:-1])\n";

// The expression that decodes one field of the record r.
std::string binary_value(const column_description& column)
{
    const binary_field& field = *column.binary;
    std::string bytes =
        "r[" + std::to_string(column.span->start) + ":" + std::to_string(column.span->end) + "]";
    switch (field.form) {
    case binary_form::text:
        return bytes + ".decode('" +
               (field.code == text_encoding::ebcdic ? std::string("cp037") : "ascii") +
               "').strip()";
    case binary_form::zoned_decimal:
        return "zoned(" + bytes + ")";
    case binary_form::packed_decimal:
        return "packed(" + bytes + ")";
    case binary_form::integer:
        return "int.from_bytes(" + bytes + ", '" + (field.big_endian ? "big" : "little") +
               "', signed=" + (field.is_signed ? "True" : "False") + ")";
    default:
        break;
    }
    return bytes;
}

// Binary records: each field decoded from its bytes, the filler's and
// the undecided ones' kept as bytes.
std::string read_binary_fields(const load_plan& plan)
{
    std::string code = records_by_length(plan);
    bool decimals = false;
    for (const column_description& column : plan.layout->described_columns)
        decimals = decimals || column.binary->form == binary_form::zoned_decimal ||
                   column.binary->form == binary_form::packed_decimal;
    if (decimals)
        code += DECIMAL_DECODERS;
    code += "df = pd.DataFrame({\n";
    for (const column_description& column : plan.layout->described_columns)
        code += "    " + python_string(column.name) + ": [" + binary_value(column) +
                " for r in records],\n";
    return code + "})\n";
}

} // namespace

recipe pandas_recipe(const load_plan& plan)
{
    recipe made;
    if (plan.binary_fields) {
        made.text = "import pandas as pd\n" + read_binary_fields(plan);
        return made;
    }
    std::string code = plan.by_length ? read_by_length(plan) : read_call(plan);
    for (const column_description& column : plan.layout->described_columns) {
        std::string statement = conversion(column);
        if (!statement.empty())
            code += statement + "\n";
    }
    // A name that is not UTF-8 is given by its bytes, through os.
    made.text = std::string(code.find("io.StringIO(") != std::string::npos ? "import io\n" : "") +
                (code.find("os.fsdecode(") != std::string::npos ? "import os\n" : "") +
                "import pandas as pd\n" + code;
    return made;
}
