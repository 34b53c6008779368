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
    case text_encoding::binary:
        break;
    }
    return "binary";
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
