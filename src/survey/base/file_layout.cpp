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
    case text_encoding::binary:
        break;
    }
    return "binary";
}
