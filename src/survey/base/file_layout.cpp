#include "file_layout.h"

const char* encoding_name(text_encoding encoding)
{
    switch (encoding) {
    case text_encoding::ascii:
        return "ascii";
    case text_encoding::utf8:
        return "utf-8";
    case text_encoding::utf16le:
        return "utf-16le";
    case text_encoding::utf16be:
        return "utf-16be";
    case text_encoding::latin1:
        return "latin-1";
    case text_encoding::ebcdic:
        return "ebcdic";
    case text_encoding::shift_jis:
        return "shift_jis";
    case text_encoding::euc_jp:
        return "euc-jp";
    case text_encoding::euc_kr:
        return "euc-kr";
    case text_encoding::gb18030:
        return "gb18030";
    case text_encoding::big5:
        return "big5";
    case text_encoding::windows1252:
        return "windows-1252";
    case text_encoding::koi8_r:
        return "koi8-r";
    case text_encoding::windows1251:
        return "windows-1251";
    case text_encoding::iso8859_5:
        return "iso-8859-5";
    case text_encoding::iso8859_7:
        return "iso-8859-7";
    case text_encoding::windows1253:
        return "windows-1253";
    case text_encoding::iso8859_2:
        return "iso-8859-2";
    case text_encoding::windows1250:
        return "windows-1250";
    case text_encoding::iso2022jp:
        return "iso-2022-jp";
    case text_encoding::binary:
        break;
    }
    return "binary";
}

const char* anomaly_kind_name(anomaly_kind kind)
{
    switch (kind) {
    case anomaly_kind::line_end:
        return "line_end";
    case anomaly_kind::length:
        return "length";
    case anomaly_kind::cut_short:
        return "cut_short";
    case anomaly_kind::field_count:
        return "field_count";
    case anomaly_kind::quote:
        return "quote";
    default:
        return "byte_class";
    }
}

const char* value_type_name(value_type type)
{
    switch (type) {
    case value_type::integer:
        return "integer";
    case value_type::decimal:
        return "decimal";
    case value_type::floating:
        return "float";
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
    return "text";
}

const char* binary_form_name(binary_form form)
{
    switch (form) {
    case binary_form::text:
        return "text";
    case binary_form::zoned_decimal:
        return "zoned_decimal";
    case binary_form::packed_decimal:
        return "packed_decimal";
    case binary_form::integer:
        return "integer";
    case binary_form::filler:
        return "filler";
    case binary_form::bytes:
        break;
    }
    return "bytes";
}

const char* column_type_name(const column_description& column)
{
    return column.binary ? binary_form_name(column.binary->form) : value_type_name(column.type);
}
