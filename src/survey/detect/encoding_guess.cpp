#include "encoding_guess.h"

#include "../base/byte_kernels.h"
#include "code_page_text.h"
#include "east_asian_text.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <optional>

namespace
{

// Text may hold the odd stray control byte; more than this share of them,
// or any NUL beyond the share, makes it binary.
constexpr double MOST_CONTROL_SHARE = 0.01;
constexpr double MOST_NUL_SHARE = 0.0005;
// The start of a file tells its encoding; more of it seldom changes the
// verdict.
constexpr std::size_t JUDGED_BYTES = std::size_t{1} << 18;
// UTF-16 of a Latin script has a zero high byte in most units and hardly
// any zero low byte: these many percent of the units at least, and at
// most.
constexpr std::uint64_t UTF16_ZERO_HIGH_PERCENT = 70;
constexpr std::uint64_t UTF16_ZERO_LOW_PERCENT = 5;
// Those units are characters: a control other than a line's or a tab's in
// more than one of this many is a small number of 16 bits (a voxel, a
// sample), not text.
constexpr std::uint64_t UTF16_CONTROL_ONE_IN = 100;
// EBCDIC text: blanks between its words, letters and digits for most of
// the rest, and hardly a byte its text does not use.
constexpr std::uint64_t EBCDIC_BLANK_PERCENT = 5;
constexpr std::uint64_t EBCDIC_ALPHANUMERIC_PERCENT = 25;
constexpr std::uint64_t EBCDIC_TEXT_PERCENT = 97;
// Cards of codes and numbers have few blanks: letters and digits for this
// share of the bytes are EBCDIC text without them.
constexpr std::uint64_t EBCDIC_DENSE_ALPHANUMERIC_PERCENT = 75;
// Latin-1 text uses the printable upper half (0xA0 to 0xFF) for nearly
// all of its high bytes, and writes mostly ASCII: more high bytes than
// this are not a Western language's accents.
constexpr std::uint64_t LATIN1_PRINTABLE_PERCENT = 90;
constexpr std::uint64_t LATIN1_MOST_HIGH_PERCENT = 25;
// EBCDIC lines ended by NEL (0x15) need no blanks to be text: delimited
// records have few. NEL must end a line this often on average.
constexpr std::uint64_t LONGEST_NEL_LINE = 256;
// A control byte that stands between printable bytes is text's: ASCII's
// own separators (SOH as FIX puts it between tag=value pairs; FS, GS, RS
// and US of ASCII-delimited text), another control a writer chose to part
// the items of a field (EM between a SAM record's fields inside a pairs
// file's), and the backspace of letters struck over with an accent
// (nroff's bold, a typewriter's "e BS '"): this share of their stand-ins
// at least, and this many of them, lest a binary file's odd 0x01 pass.
// NUL never is; the controls text holds anyway are counted apart.
constexpr unsigned char SEPARATOR_CONTROLS[] = {0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08,
                                                0x0E, 0x0F, 0x10, 0x11, 0x12, 0x13, 0x14, 0x15,
                                                0x16, 0x17, 0x18, 0x19, 0x1C, 0x1D, 0x1E, 0x1F};
// ASCII's own separators and the backspace part text with or without line
// ends (a FIX stream); any other control only inside lines of text, a line
// end every this many bytes at least on average, and at most one byte in
// this many: a binary array of 16-bit numbers puts its high byte, a
// control, between printable low bytes at every second byte and ends no
// lines.
constexpr std::string_view ASCII_SEPARATORS = "\x01\x08\x1C\x1D\x1E\x1F";
constexpr std::uint64_t LONGEST_SEPARATED_LINE = 4096;
constexpr std::uint64_t SEPARATOR_ONE_IN = 4;
constexpr std::uint64_t SEPARATOR_BETWEEN_TEXT_PERCENT = 95;
constexpr std::uint64_t FEWEST_SEPARATORS = 8;
// ISO-2022-JP shifts with ESC $ @ or ESC $ B into JIS X 0208 and back with
// ESC ( B or ESC ( J: text with a shift in, and these designations behind
// nearly every ESC it holds (a stray colour sequence of a terminal aside).
constexpr std::uint64_t ISO2022_DESIGNATION_PERCENT = 95;
// Bytes that Windows-1252 leaves undefined in 0x80-0x9F.
constexpr unsigned char WINDOWS1252_UNDEFINED[] = {0x81, 0x8D, 0x8F, 0x90, 0x9D};

using byte_counts = std::array<std::uint64_t, 256>;

std::uint64_t count_in(const byte_counts& counts, unsigned low, unsigned high)
{
    std::uint64_t total = 0;
    for (unsigned byte = low; byte <= high; byte++)
        total += counts[byte];
    return total;
}

// Control bytes that ordinary text holds: tab, line ends, form feed, and
// the old end-of-file byte.
bool is_text_control(unsigned byte)
{
    return byte == '\t' || byte == '\n' || byte == '\r' || byte == '\f' || byte == 0x1A ||
           byte == 0x0B || byte == 0x1B;
}

bool printable_or_line_end(unsigned char byte)
{
    return (byte >= 0x20 && byte != 0x7F) || byte == '\n' || byte == '\r' || byte == '\t';
}

// The separator control that stands between text nearly everywhere it
// occurs: a field or record separator rather than binary data, whose
// 0x01 sits beside zeros and other controls.
std::optional<unsigned char> separator_between_text(byte_span bytes, const byte_counts& counts)
{
    std::optional<unsigned char> found;
    for (unsigned char separator : SEPARATOR_CONTROLS) {
        std::uint64_t occurrences = counts[separator];
        if (occurrences < FEWEST_SEPARATORS || (found && counts[*found] >= occurrences))
            continue;
        std::uint64_t line_ends = counts['\n'] + counts['\r'];
        if (ASCII_SEPARATORS.find(static_cast<char>(separator)) == std::string_view::npos &&
            (line_ends == 0 || bytes.size() / line_ends > LONGEST_SEPARATED_LINE ||
             occurrences * SEPARATOR_ONE_IN > bytes.size()))
            continue;
        // Binary data gives itself away within its first few 0x01 bytes:
        // stop once the ones beside other controls are too many.
        std::uint64_t most_misses = occurrences * (100 - SEPARATOR_BETWEEN_TEXT_PERCENT);
        std::uint64_t misses = 0;
        const unsigned char* begin = bytes.data();
        const unsigned char* end = begin + bytes.size();
        for (const unsigned char* at = begin; misses * 100 <= most_misses;) {
            at = static_cast<const unsigned char*>(
                std::memchr(at, separator, static_cast<std::size_t>(end - at)));
            if (at == nullptr)
                break;
            bool before = at == begin || printable_or_line_end(at[-1]);
            bool after = at + 1 == end || printable_or_line_end(at[1]);
            misses += !(before && after);
            at++;
        }
        if (misses * 100 <= most_misses)
            found = separator;
    }
    return found;
}

std::uint64_t count_stray_controls(const byte_counts& counts,
                                   std::optional<unsigned char> separator = std::nullopt)
{
    std::uint64_t total = counts[0x7F];
    for (unsigned byte = 1; byte < 0x20; byte++) {
        if (!is_text_control(byte) && !(separator && byte == *separator))
            total += counts[byte];
    }
    return total;
}

// Length of the UTF-8 sequence that starts with lead, 0 when lead cannot
// start one.
int sequence_length(unsigned char lead)
{
    if (lead < 0x80)
        return 1;
    if (lead >= 0xC2 && lead <= 0xDF)
        return 2;
    if (lead >= 0xE0 && lead <= 0xEF)
        return 3;
    if (lead >= 0xF0 && lead <= 0xF4)
        return 4;
    return 0;
}

// The second byte's range rules out overlong forms and surrogates.
bool second_byte_fits(unsigned char lead, unsigned char second)
{
    if (lead == 0xE0)
        return second >= 0xA0 && second <= 0xBF;
    if (lead == 0xED)
        return second >= 0x80 && second <= 0x9F;
    if (lead == 0xF0)
        return second >= 0x90 && second <= 0xBF;
    if (lead == 0xF4)
        return second >= 0x80 && second <= 0x8F;
    return second >= 0x80 && second <= 0xBF;
}

struct utf8_census {
    bool valid = true;
    std::uint64_t multibyte = 0;
};

utf8_census check_utf8(byte_span bytes)
{
    utf8_census census;
    std::size_t at = 0;
    while (at < bytes.size()) {
        int length = sequence_length(bytes[at]);
        if (length == 1) {
            at++;
            continue;
        }
        if (length == 0) {
            census.valid = false;
            return census;
        }
        for (int i = 1; i < length; i++) {
            // A character cut by the end of the sample is not a fault.
            if (at + i >= bytes.size())
                return census;
            unsigned char next = bytes[at + i];
            bool fits = i == 1 ? second_byte_fits(bytes[at], next) : (next & 0xC0) == 0x80;
            if (!fits) {
                census.valid = false;
                return census;
            }
        }
        census.multibyte++;
        at += static_cast<std::size_t>(length);
    }
    return census;
}

// Units with a zero in one byte and not in the other, each way round.
struct zero_halves {
    std::size_t zero_high_le = 0, zero_high_be = 0;
    // Of those, units whose other byte is a control.
    std::size_t controls_le = 0, controls_be = 0;
};

bool is_control(unsigned char byte)
{
    return (byte < 0x20 && byte != '\t' && byte != '\n' && byte != '\r' && byte != '\f') ||
           (byte >= 0x7F && byte < 0xA0);
}

// Each unit marked in marks (the bit of its first byte of block) counted,
// and its byte other (0 or 1) as a control.
void count_marked_units(std::uint64_t marks, const unsigned char* block, unsigned other,
                        std::size_t& units, std::size_t& controls)
{
    for (; marks != 0; marks &= marks - 1) {
        units++;
        controls += is_control(block[std::countr_zero(marks) + other]);
    }
}

zero_halves count_zero_halves(byte_span bytes)
{
    // Thirty-two units a block, a bit for each zero byte by the wide
    // kernel: most blocks hold no unit of one zero byte, and are passed
    // over on their bits alone.
    constexpr std::size_t BLOCK = 64;
    constexpr std::uint64_t FIRST_BYTES = 0x5555555555555555u;
    static const either_marks_kernel zero_marks = usable_byte_kernels().back().either_marks;
    zero_halves halves;
    std::size_t unit = 0;
    for (; unit + BLOCK <= bytes.size(); unit += BLOCK) {
        std::uint64_t zero = zero_marks(bytes.data() + unit, BLOCK, 0, 0);
        std::uint64_t first_zero = zero & FIRST_BYTES, second_zero = zero >> 1 & FIRST_BYTES;
        std::uint64_t high_le = second_zero & ~first_zero, high_be = first_zero & ~second_zero;
        if ((high_le | high_be) == 0)
            continue;
        count_marked_units(high_le, bytes.data() + unit, 0, halves.zero_high_le,
                           halves.controls_le);
        count_marked_units(high_be, bytes.data() + unit, 1, halves.zero_high_be,
                           halves.controls_be);
    }
    for (; unit + 1 < bytes.size(); unit += 2) {
        bool zero_high_le = bytes[unit + 1] == 0 && bytes[unit] != 0;
        bool zero_high_be = bytes[unit] == 0 && bytes[unit + 1] != 0;
        halves.zero_high_le += zero_high_le;
        halves.zero_high_be += zero_high_be;
        halves.controls_le += zero_high_le && is_control(bytes[unit]);
        halves.controls_be += zero_high_be && is_control(bytes[unit + 1]);
    }
    return halves;
}

// What the tests of every encoding read of the bytes judged, each read
// once however many tests ask: the bytes are the same for the choice and
// for the record of what was weighed.
struct judged_bytes {
    byte_span bytes;
    byte_counts counts;
    std::uint64_t high = 0;
    // Plain rather than optional, here and below: GCC's sanitizer and
    // debug builds take an optional's payload for unset where it is read.
    zero_halves halves;
    bool halves_counted = false;
    std::optional<bool> utf8_valid;
    east_asian_choice east_asian;
    bool east_asian_weighed = false;
    code_page_choice code_pages;
    bool code_pages_weighed = false;
    bool separator_sought = false;
    std::optional<unsigned char> separator;

    explicit judged_bytes(byte_span all)
        : bytes(all.first(std::min(all.size(), JUDGED_BYTES))),
          counts(count_byte_values(bytes.data(), bytes.size()))
    {
        for (unsigned byte = 0x80; byte <= 0xFF; byte++)
            high += counts[byte];
    }

    // Without a zero byte no unit has a zero half.
    const zero_halves& zero_units()
    {
        if (!halves_counted) {
            halves = counts[0] == 0 ? zero_halves{} : count_zero_halves(bytes);
            halves_counted = true;
        }
        return halves;
    }
    std::uint64_t stray_controls()
    {
        if (!separator_sought) {
            separator = separator_between_text(bytes, counts);
            separator_sought = true;
        }
        return count_stray_controls(counts, separator);
    }
    // ASCII is valid UTF-8.
    bool valid_utf8()
    {
        if (!utf8_valid)
            utf8_valid = high == 0 || check_utf8(bytes).valid;
        return *utf8_valid;
    }
    // ASCII bytes count toward no East Asian character.
    const east_asian_choice& east_asian_weights()
    {
        if (!east_asian_weighed) {
            east_asian = weigh_east_asian(high == 0 ? bytes.first(0) : bytes);
            east_asian_weighed = true;
        }
        return east_asian;
    }
    // ASCII bytes are letters of no page's script.
    const code_page_choice& code_page_weights()
    {
        if (!code_pages_weighed) {
            code_pages = weigh_code_pages(high == 0 ? bytes.first(0) : bytes);
            code_pages_weighed = true;
        }
        return code_pages;
    }
};

// Seven-bit text that shifts into JIS X 0208 with ISO-2022-JP's escape
// sequences (RFC 1468).
bool looks_like_iso2022jp(byte_span bytes, const byte_counts& counts)
{
    if (counts[0x1B] == 0)
        return false;
    std::uint64_t designations = 0, shifts_in = 0;
    for (std::size_t at = 0; at + 2 < bytes.size(); at++) {
        if (bytes[at] != 0x1B)
            continue;
        unsigned char set = bytes[at + 1], final_byte = bytes[at + 2];
        bool double_byte = set == '$' && (final_byte == '@' || final_byte == 'B');
        bool single_byte = set == '(' && (final_byte == 'B' || final_byte == 'J');
        designations += double_byte || single_byte;
        shifts_in += double_byte;
    }
    return shifts_in > 0 && designations * 100 >= counts[0x1B] * ISO2022_DESIGNATION_PERCENT;
}

// Single-byte text in no page this survey tells by its letters: Latin-1,
// or Windows-1252 where its signs in 0x80-0x9F are used and all defined.
text_encoding western_page(const byte_counts& counts)
{
    for (unsigned char undefined : WINDOWS1252_UNDEFINED) {
        if (counts[undefined] > 0)
            return text_encoding::latin1;
    }
    return count_in(counts, 0x80, 0x9F) > 0 ? text_encoding::windows1252 : text_encoding::latin1;
}

// UTF-16 text of a Latin script has a zero in nearly every other byte, on
// the side of the high half of each unit.
text_encoding guess_utf16(judged_bytes& judged)
{
    std::size_t units = judged.bytes.size() / 2;
    if (units < 2)
        return text_encoding::binary;
    std::size_t zero_high_le = judged.zero_units().zero_high_le;
    std::size_t zero_high_be = judged.zero_units().zero_high_be;
    std::size_t least = units * UTF16_ZERO_HIGH_PERCENT / 100;
    std::size_t most_other = units * UTF16_ZERO_LOW_PERCENT / 100;
    const zero_halves& halves = judged.zero_units();
    if (zero_high_le >= least && zero_high_be <= most_other &&
        halves.controls_le * UTF16_CONTROL_ONE_IN <= zero_high_le)
        return text_encoding::utf16le;
    if (zero_high_be >= least && zero_high_le <= most_other &&
        halves.controls_be * UTF16_CONTROL_ONE_IN <= zero_high_be)
        return text_encoding::utf16be;
    return text_encoding::binary;
}

// EBCDIC text is mostly blanks (0x40), letters and digits in the upper
// half (or letters and digits nearly alone), and few bytes below 0x40
// other than its line ends.
bool looks_like_ebcdic(const byte_counts& counts, std::uint64_t total)
{
    std::uint64_t blanks = counts[0x40];
    std::uint64_t letters = count_in(counts, 0x81, 0x89) + count_in(counts, 0x91, 0x99) +
                            count_in(counts, 0xA2, 0xA9) + count_in(counts, 0xC1, 0xC9) +
                            count_in(counts, 0xD1, 0xD9) + count_in(counts, 0xE2, 0xE9);
    std::uint64_t digits = count_in(counts, 0xF0, 0xF9);
    std::uint64_t punctuation = count_in(counts, 0x4A, 0x50) + count_in(counts, 0x5A, 0x61) +
                                count_in(counts, 0x6A, 0x6F) + count_in(counts, 0x79, 0x7F);
    std::uint64_t line_ends = counts[0x15] + counts[0x25] + counts[0x0D];
    std::uint64_t text = blanks + letters + digits + punctuation + line_ends;
    bool alphanumeric = (letters + digits) * 100 >= total * EBCDIC_ALPHANUMERIC_PERCENT;
    bool words = blanks * 100 >= total * EBCDIC_BLANK_PERCENT && alphanumeric;
    bool dense = (letters + digits) * 100 >= total * EBCDIC_DENSE_ALPHANUMERIC_PERCENT;
    bool nel_lines = counts[0x15] * LONGEST_NEL_LINE >= total && alphanumeric;
    return (words || dense || nel_lines) && text * 100 >= total * EBCDIC_TEXT_PERCENT;
}

bool looks_like_latin1(const byte_counts& counts, std::uint64_t high, std::uint64_t total)
{
    return count_in(counts, 0xA0, 0xFF) * 100 >= high * LATIN1_PRINTABLE_PERCENT &&
           high * 100 <= total * LATIN1_MOST_HIGH_PERCENT;
}

// Windows-1252 is Latin-1 with quotes, dashes and the euro in 0x80-0x9F;
// like Latin-1 it writes mostly ASCII.
bool looks_like_windows1252(const byte_counts& counts, std::uint64_t high, std::uint64_t total)
{
    for (unsigned char undefined : WINDOWS1252_UNDEFINED) {
        if (counts[undefined] > 0)
            return false;
    }
    return high * 100 <= total * LATIN1_MOST_HIGH_PERCENT;
}

text_encoding guess_without_mark(judged_bytes& judged)
{
    byte_span bytes = judged.bytes;
    if (bytes.empty())
        return text_encoding::ascii;
    text_encoding utf16 = guess_utf16(judged);
    if (utf16 != text_encoding::binary)
        return utf16;
    // UTF-16 by its units needs units with a zero high byte.
    utf16 = judged.counts[0] == 0 ? text_encoding::binary : guess_utf16_by_units(bytes);
    if (utf16 != text_encoding::binary)
        return utf16;
    const byte_counts& counts = judged.counts;
    std::uint64_t total = bytes.size();
    if (looks_like_ebcdic(counts, total))
        return text_encoding::ebcdic;
    if (counts[0] > total * MOST_NUL_SHARE || judged.stray_controls() > total * MOST_CONTROL_SHARE)
        return text_encoding::binary;
    std::uint64_t high = judged.high;
    if (high == 0)
        return looks_like_iso2022jp(bytes, counts) ? text_encoding::iso2022jp
                                                   : text_encoding::ascii;
    if (judged.valid_utf8())
        return text_encoding::utf8;
    text_encoding east_asian = judged.east_asian_weights().choice;
    if (east_asian != text_encoding::binary)
        return east_asian;
    text_encoding page = judged.code_page_weights().choice;
    if (page != text_encoding::binary)
        return page;
    if (looks_like_latin1(counts, high, total))
        return text_encoding::latin1;
    if (looks_like_windows1252(counts, high, total))
        return text_encoding::windows1252;
    if (reads_as_eight_bit_text(bytes))
        return western_page(counts);
    return text_encoding::binary;
}

// Each encoding's share of the bytes it reads as text, for the record of
// what was weighed; the choice above tests them in their order.
void weigh_encodings(judged_bytes& judged, encoding_guess& guess)
{
    byte_span bytes = judged.bytes;
    if (bytes.empty())
        return;
    const byte_counts& counts = judged.counts;
    double total = static_cast<double>(bytes.size());
    double stray = static_cast<double>(counts[0] + judged.stray_controls());
    double high = static_cast<double>(judged.high);
    double units = static_cast<double>(bytes.size() / 2);
    double zero_high_le = static_cast<double>(judged.zero_units().zero_high_le);
    double zero_high_be = static_cast<double>(judged.zero_units().zero_high_be);
    guess.text_share = 1 - stray / total;
    double latin1_other = high - static_cast<double>(count_in(counts, 0xA0, 0xFF));
    guess.candidates = {
        {text_encoding::utf16le, units > 0 ? zero_high_le / units : 0},
        {text_encoding::utf16be, units > 0 ? zero_high_be / units : 0},
        {text_encoding::ebcdic, looks_like_ebcdic(counts, bytes.size()) ? 1.0 : 0.0},
        {text_encoding::ascii, 1 - (stray + high) / total},
        {text_encoding::utf8, judged.valid_utf8() ? guess.text_share : 0},
        {text_encoding::latin1, 1 - (stray + latin1_other) / total},
    };
    // The East Asian encodings and the code pages are weighed only where
    // the choice came to them: bytes already told apart as UTF-16, EBCDIC,
    // binary or UTF-8 would pay for reading every page's letters again
    // (a quarter of the survey of a binary file) and learn nothing.
    if (judged.east_asian_weighed) {
        for (const scored<text_encoding>& each : judged.east_asian.candidates)
            guess.candidates.push_back(each);
    }
    if (judged.code_pages_weighed) {
        for (const scored<text_encoding>& each : judged.code_pages.candidates)
            guess.candidates.push_back(each);
    }
}

bool starts_with(byte_span bytes, std::initializer_list<unsigned char> mark)
{
    if (bytes.size() < mark.size())
        return false;
    std::size_t at = 0;
    for (unsigned char byte : mark) {
        if (bytes[at++] != byte)
            return false;
    }
    return true;
}

} // namespace

encoding_guess guess_encoding(byte_span bytes)
{
    encoding_guess guess;
    std::size_t mark = 0;
    if (starts_with(bytes, {0xEF, 0xBB, 0xBF}))
        mark = 3;
    else if (starts_with(bytes, {0xFF, 0xFE}) && !starts_with(bytes, {0xFF, 0xFE, 0x00, 0x00}))
        mark = 2;
    else if (starts_with(bytes, {0xFE, 0xFF}))
        mark = 2;
    judged_bytes judged(bytes.subspan(mark));
    if (mark == 3)
        guess = {text_encoding::utf8, 3, 1, {}};
    else if (mark == 2)
        guess = {bytes[0] == 0xFF ? text_encoding::utf16le : text_encoding::utf16be, 2, 1, {}};
    else
        guess = {guess_without_mark(judged), 0, 1, {}};
    weigh_encodings(judged, guess);
    return guess;
}
