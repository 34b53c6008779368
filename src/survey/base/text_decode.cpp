#include "text_decode.h"

#include <array>

namespace
{

// Code page 037 to ISO 8859-1, as IBM's conversion tables give it; its line
// ends become LF (from both LF 0x25 and NEL 0x15).
constexpr std::array<unsigned char, 256> EBCDIC_037 = {
    0x00, 0x01, 0x02, 0x03, 0x9C, 0x09, 0x86, 0x7F, 0x97, 0x8D, 0x8E, 0x0B, 0x0C, 0x0D, 0x0E, 0x0F,
    0x10, 0x11, 0x12, 0x13, 0x9D, 0x0A, 0x08, 0x87, 0x18, 0x19, 0x92, 0x8F, 0x1C, 0x1D, 0x1E, 0x1F,
    0x80, 0x81, 0x82, 0x83, 0x84, 0x0A, 0x17, 0x1B, 0x88, 0x89, 0x8A, 0x8B, 0x8C, 0x05, 0x06, 0x07,
    0x90, 0x91, 0x16, 0x93, 0x94, 0x95, 0x96, 0x04, 0x98, 0x99, 0x9A, 0x9B, 0x14, 0x15, 0x9E, 0x1A,
    0x20, 0xA0, 0xE2, 0xE4, 0xE0, 0xE1, 0xE3, 0xE5, 0xE7, 0xF1, 0xA2, 0x2E, 0x3C, 0x28, 0x2B, 0x7C,
    0x26, 0xE9, 0xEA, 0xEB, 0xE8, 0xED, 0xEE, 0xEF, 0xEC, 0xDF, 0x21, 0x24, 0x2A, 0x29, 0x3B, 0xAC,
    0x2D, 0x2F, 0xC2, 0xC4, 0xC0, 0xC1, 0xC3, 0xC5, 0xC7, 0xD1, 0xA6, 0x2C, 0x25, 0x5F, 0x3E, 0x3F,
    0xF8, 0xC9, 0xCA, 0xCB, 0xC8, 0xCD, 0xCE, 0xCF, 0xCC, 0x60, 0x3A, 0x23, 0x40, 0x27, 0x3D, 0x22,
    0xD8, 0x61, 0x62, 0x63, 0x64, 0x65, 0x66, 0x67, 0x68, 0x69, 0xAB, 0xBB, 0xF0, 0xFD, 0xFE, 0xB1,
    0xB0, 0x6A, 0x6B, 0x6C, 0x6D, 0x6E, 0x6F, 0x70, 0x71, 0x72, 0xAA, 0xBA, 0xE6, 0xB8, 0xC6, 0xA4,
    0xB5, 0x7E, 0x73, 0x74, 0x75, 0x76, 0x77, 0x78, 0x79, 0x7A, 0xA1, 0xBF, 0xD0, 0xDD, 0xDE, 0xAE,
    0x5E, 0xA3, 0xA5, 0xB7, 0xA9, 0xA7, 0xB6, 0xBC, 0xBD, 0xBE, 0x5B, 0x5D, 0xAF, 0xA8, 0xB4, 0xD7,
    0x7B, 0x41, 0x42, 0x43, 0x44, 0x45, 0x46, 0x47, 0x48, 0x49, 0xAD, 0xF4, 0xF6, 0xF2, 0xF3, 0xF5,
    0x7D, 0x4A, 0x4B, 0x4C, 0x4D, 0x4E, 0x4F, 0x50, 0x51, 0x52, 0xB9, 0xFB, 0xFC, 0xF9, 0xFA, 0xFF,
    0x5C, 0xF7, 0x53, 0x54, 0x55, 0x56, 0x57, 0x58, 0x59, 0x5A, 0xB2, 0xD4, 0xD6, 0xD2, 0xD3, 0xD5,
    0x30, 0x31, 0x32, 0x33, 0x34, 0x35, 0x36, 0x37, 0x38, 0x39, 0xB3, 0xDB, 0xDC, 0xD9, 0xDA, 0x9F,
};

// ISO-2022-JP's designations: ESC, then $ or (, then the set's letter.
constexpr std::size_t ESCAPE_LENGTH = 3;

bool between(unsigned byte, unsigned low, unsigned high)
{
    return byte >= low && byte <= high;
}

// Lead bytes 0x81-0x9F and 0xE0-0xFC, trail bytes 0x40-0x7E and 0x80-0xFC;
// 0xA1-0xDF alone are half-width katakana (JIS X 0201).
std::size_t shift_jis_length(byte_span bytes, std::size_t at)
{
    unsigned lead = bytes[at];
    if (between(lead, 0xA1, 0xDF))
        return 1;
    if (!between(lead, 0x81, 0x9F) && !between(lead, 0xE0, 0xFC))
        return 0;
    if (at + 1 >= bytes.size())
        return 0;
    unsigned trail = bytes[at + 1];
    return between(trail, 0x40, 0x7E) || between(trail, 0x80, 0xFC) ? 2 : 0;
}

// JIS X 0208 as two bytes 0xA1-0xFE, half-width katakana after SS2 (0x8E),
// JIS X 0212 as three bytes after SS3 (0x8F).
std::size_t euc_jp_length(byte_span bytes, std::size_t at)
{
    unsigned lead = bytes[at];
    std::size_t length = lead == 0x8F ? 3 : 2;
    if (!between(lead, 0xA1, 0xFE) && lead != 0x8E && lead != 0x8F)
        return 0;
    if (at + length > bytes.size())
        return 0;
    for (std::size_t i = 1; i < length; i++) {
        unsigned trail = bytes[at + i];
        if (lead == 0x8E ? !between(trail, 0xA1, 0xDF) : !between(trail, 0xA1, 0xFE))
            return 0;
    }
    return length;
}

// KS X 1001 as two bytes 0xA1-0xFE; the Unified Hangul Code (code page
// 949) adds leads 0x81-0xC6 with letters and 0x81-0xA0 as trail too.
std::size_t euc_kr_length(byte_span bytes, std::size_t at)
{
    unsigned lead = bytes[at];
    if (!between(lead, 0x81, 0xFE) || at + 1 >= bytes.size())
        return 0;
    unsigned trail = bytes[at + 1];
    if (between(trail, 0xA1, 0xFE))
        return 2;
    bool extended =
        between(trail, 0x41, 0x5A) || between(trail, 0x61, 0x7A) || between(trail, 0x81, 0xA0);
    return extended && lead <= 0xC6 ? 2 : 0;
}

// GBK's two bytes (lead 0x81-0xFE, trail 0x40-0x7E or 0x80-0xFE), and
// GB18030's four: lead, digit, lead, digit.
std::size_t gb18030_length(byte_span bytes, std::size_t at)
{
    unsigned lead = bytes[at];
    if (!between(lead, 0x81, 0xFE) || at + 1 >= bytes.size())
        return 0;
    unsigned second = bytes[at + 1];
    if (between(second, 0x40, 0x7E) || between(second, 0x80, 0xFE))
        return 2;
    if (!between(second, 0x30, 0x39) || at + 3 >= bytes.size())
        return 0;
    return between(bytes[at + 2], 0x81, 0xFE) && between(bytes[at + 3], 0x30, 0x39) ? 4 : 0;
}

// Lead 0xA1-0xF9, trail 0x40-0x7E or 0xA1-0xFE.
std::size_t big5_length(byte_span bytes, std::size_t at)
{
    unsigned lead = bytes[at];
    if (!between(lead, 0xA1, 0xF9) || at + 1 >= bytes.size())
        return 0;
    unsigned trail = bytes[at + 1];
    return between(trail, 0x40, 0x7E) || between(trail, 0xA1, 0xFE) ? 2 : 0;
}

// Trail bytes below 0x80 become 0xFF, so that no split falls inside a
// character; a byte that starts none is left as it is.
void shield_trail_bytes(std::string& text, text_encoding encoding)
{
    byte_span bytes(reinterpret_cast<const unsigned char*>(text.data()), text.size());
    for (std::size_t at = 0; at < text.size();) {
        std::size_t length = character_length(encoding, bytes, at);
        if (length == 0) {
            at++;
            continue;
        }
        for (std::size_t i = 1; i < length; i++) {
            if (static_cast<unsigned char>(text[at + i]) < 0x80)
                text[at + i] = static_cast<char>(0xFF);
        }
        at += length;
    }
}

// ISO-2022-JP's escape sequences and the JIS X 0208 pairs they shift into
// become 0xFF: their printable bytes are no delimiter, quote or digit.
void shield_shifted_pairs(std::string& text)
{
    bool shifted = false;
    for (std::size_t at = 0; at < text.size(); at++) {
        bool escape = text[at] == '\x1B' && at + ESCAPE_LENGTH <= text.size() &&
                      (text[at + 1] == '$' || text[at + 1] == '(');
        if (escape) {
            shifted = text[at + 1] == '$';
            text.replace(at, ESCAPE_LENGTH, ESCAPE_LENGTH, static_cast<char>(0xFF));
            at += ESCAPE_LENGTH - 1;
            continue;
        }
        // A line ends in ASCII whatever the shift (RFC 1468).
        if (text[at] == '\n' || text[at] == '\r')
            shifted = false;
        else if (shifted)
            text[at] = static_cast<char>(0xFF);
    }
}

} // namespace

bool is_east_asian(text_encoding encoding)
{
    return encoding == text_encoding::shift_jis || encoding == text_encoding::euc_jp ||
           encoding == text_encoding::euc_kr || encoding == text_encoding::gb18030 ||
           encoding == text_encoding::big5;
}

std::size_t character_length(text_encoding encoding, byte_span bytes, std::size_t at)
{
    if (at >= bytes.size())
        return 0;
    if (bytes[at] < 0x80)
        return 1;
    switch (encoding) {
    case text_encoding::shift_jis:
        return shift_jis_length(bytes, at);
    case text_encoding::euc_jp:
        return euc_jp_length(bytes, at);
    case text_encoding::euc_kr:
        return euc_kr_length(bytes, at);
    case text_encoding::gb18030:
        return gb18030_length(bytes, at);
    case text_encoding::big5:
        return big5_length(bytes, at);
    default:
        return 1;
    }
}

bool may_trail_a_lead(text_encoding encoding, unsigned char byte)
{
    // Code page 949's trail letters are no delimiter, quote or line end.
    bool low_trails = encoding == text_encoding::shift_jis || encoding == text_encoding::big5 ||
                      encoding == text_encoding::gb18030;
    // ISO-2022-JP's shifted pairs are two bytes of 0x21-0x7E each.
    if (encoding == text_encoding::iso2022jp)
        return byte >= 0x21 && byte <= 0x7E;
    return low_trails && byte >= 0x40 && byte <= 0x7E;
}

decoded_text decode_text(byte_span bytes, std::uint64_t file_offset, text_encoding encoding)
{
    decoded_text decoded;
    decoded.file_offset = file_offset;
    bool wide = encoding == text_encoding::utf16le || encoding == text_encoding::utf16be;
    bool translated = wide || encoding == text_encoding::ebcdic || is_east_asian(encoding) ||
                      encoding == text_encoding::iso2022jp;
    // Most text is read as its bytes are: a copy of the sample would cost
    // a pass over it at every step that reads the text.
    if (!translated) {
        decoded.text = std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size());
        return decoded;
    }
    auto text = std::make_shared<std::string>();
    if (wide) {
        decoded.unit_width = 2;
        text->reserve(bytes.size() / 2);
        bool little = encoding == text_encoding::utf16le;
        for (std::size_t at = 0; at + 1 < bytes.size(); at += 2) {
            unsigned low = little ? bytes[at] : bytes[at + 1];
            unsigned high = little ? bytes[at + 1] : bytes[at];
            text->push_back(static_cast<char>(high == 0 ? low : 0xFF));
        }
    } else {
        text->assign(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    }
    if (encoding == text_encoding::ebcdic) {
        for (char& character : *text)
            character = static_cast<char>(EBCDIC_037[static_cast<unsigned char>(character)]);
    }
    if (is_east_asian(encoding))
        shield_trail_bytes(*text, encoding);
    if (encoding == text_encoding::iso2022jp)
        shield_shifted_pairs(*text);
    decoded.text = *text;
    decoded.translated = std::move(text);
    return decoded;
}

unsigned char line_feed_byte(text_encoding encoding)
{
    return encoding == text_encoding::ebcdic ? 0x25 : 0x0A;
}

unsigned char encoded_byte(unsigned char ascii, text_encoding encoding)
{
    if (encoding != text_encoding::ebcdic)
        return ascii;
    for (unsigned byte = 0; byte < 256; byte++) {
        if (EBCDIC_037[byte] == ascii && byte != 0x25)
            return static_cast<unsigned char>(byte);
    }
    return ascii;
}
