#include "byte_class.h"

namespace
{

std::uint8_t ascii_class(unsigned byte)
{
    if (byte == 0)
        return BYTE_NUL;
    if (byte == ' ' || byte == '\t')
        return BYTE_BLANK;
    if (byte < 0x20 || byte == 0x7F)
        return BYTE_CONTROL;
    if (byte >= '0' && byte <= '9')
        return BYTE_DIGIT;
    if (byte >= 'A' && byte <= 'Z')
        return BYTE_UPPER;
    if (byte >= 'a' && byte <= 'z')
        return BYTE_LOWER;
    if (byte < 0x80)
        return BYTE_PUNCTUATION;
    return BYTE_OTHER;
}

bool in_ranges(unsigned byte, std::initializer_list<std::pair<unsigned, unsigned>> ranges)
{
    for (auto [low, high] : ranges) {
        if (byte >= low && byte <= high)
            return true;
    }
    return false;
}

// Code page 037 and the other Latin EBCDIC pages agree on these.
std::uint8_t ebcdic_class(unsigned byte)
{
    if (byte == 0)
        return BYTE_NUL;
    if (byte == 0x40 || byte == 0x05)
        return BYTE_BLANK;
    if (byte < 0x40 || byte == 0xFF)
        return BYTE_CONTROL;
    if (byte >= 0xF0 && byte <= 0xF9)
        return BYTE_DIGIT;
    if (in_ranges(byte, {{0xC1, 0xC9}, {0xD1, 0xD9}, {0xE2, 0xE9}}))
        return BYTE_UPPER;
    if (in_ranges(byte, {{0x81, 0x89}, {0x91, 0x99}, {0xA2, 0xA9}}))
        return BYTE_LOWER;
    if (in_ranges(byte, {{0x4A, 0x50}, {0x5A, 0x61}, {0x6A, 0x6F}, {0x79, 0x7F}}))
        return BYTE_PUNCTUATION;
    return BYTE_OTHER;
}

byte_class_table make_table(std::uint8_t (*class_of)(unsigned))
{
    byte_class_table table{};
    for (unsigned byte = 0; byte < 256; byte++)
        table[byte] = class_of(byte);
    return table;
}

} // namespace

const byte_class_table& byte_classes_of(text_encoding encoding)
{
    static const byte_class_table ascii = make_table(ascii_class);
    static const byte_class_table ebcdic = make_table(ebcdic_class);
    return encoding == text_encoding::ebcdic ? ebcdic : ascii;
}
