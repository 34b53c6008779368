#include "east_asian_text.h"

#include "../base/text_decode.h"
#include "../base/text_lines.h"

#include <array>
#include <cstring>

namespace
{

// A well-formed text has hardly a high byte outside a character: one in
// this many at most (a damaged byte, a stray Latin letter).
constexpr std::uint64_t MOST_STRAY_ONE_IN = 100;
// Fewer characters than this show no encoding: Latin-1 accents pair up by
// chance now and then.
constexpr std::uint64_t FEWEST_CHARACTERS = 4;
// Words of these languages are runs of characters; Latin letters with
// accents that happen to pair with the next byte stand alone among ASCII.
// At least this many percent of the characters are two high bytes or
// stand next to another.
constexpr std::uint64_t IN_RUNS_PERCENT = 50;
// Japanese writes kana in a good share of its characters (particles,
// endings); Chinese hardly ever. This many percent at least in EUC-JP.
constexpr std::uint64_t KANA_PERCENT = 10;
// EUC-JP's single shifts, SS2 (0x8E) before a half-width katakana and SS3
// (0x8F) before a JIS X 0212 pair, are its own: GB2312 uses neither lead,
// and GBK's rare characters on them seldom make the shape. This many
// percent of the characters show EUC-JP without kana (tables of JIS X
// 0212, half-width forms).
constexpr std::uint64_t SINGLE_SHIFT_PERCENT = 5;
// Korean is nearly all Hangul syllables (KS X 1001 rows 0xB0-0xC8); its
// Hanja rows (from 0xCA) are rare, while Chinese uses them throughout.
constexpr std::uint64_t HANGUL_PERCENT = 70;
constexpr std::uint64_t MOST_HANJA_PERCENT = 5;
// Big5 puts its punctuation and about two fifths of its characters on
// trail bytes below 0x80; GBK text, mostly within GB2312, hardly any.
constexpr std::uint64_t BIG5_LOW_TRAIL_PERCENT = 10;
// Shift_JIS text is mostly double-byte characters (leads 0x81-0x9F and
// 0xE0-0xEF); a run of half-width katakana is another encoding read
// wrongly. GB18030 text is mostly in GB2312's rows (both bytes 0xA1-0xFE).
constexpr std::uint64_t TYPICAL_PERCENT = 50;
// Text of either script has a line end in this many units at least, and
// not one unit in this many is a NUL, a stray control or a lone surrogate.
constexpr std::uint64_t MOST_UNITS_PER_LINE = 4096;
constexpr std::uint64_t FAULT_ONE_IN = 2000;
// How often the count of faults is looked at (a matter of speed alone).
constexpr std::size_t UNITS_BETWEEN_LOOKS = 4096;
// Text in a legacy double-byte encoding has a line end in this many bytes
// at least (two bytes a character: the UTF-16 bound above): high bytes
// that pair up for tens of kilobytes without one are samples or pixels of
// light colours, which pair up as well as characters do.
constexpr std::uint64_t MOST_BYTES_PER_LINE = 2 * MOST_UNITS_PER_LINE;

// GB18030's longest character.
constexpr std::size_t LONGEST_CHARACTER = 4;

struct census {
    std::uint64_t high = 0;       // bytes 0x80 and above
    std::uint64_t stray = 0;      // high bytes that start no character
    std::uint64_t characters = 0; // characters of more than one byte
    std::uint64_t singles = 0;    // single high bytes (half-width katakana)
    std::uint64_t in_runs = 0;    // characters next to another non-ASCII one
    std::uint64_t kana = 0;
    std::uint64_t single_shifts = 0; // EUC-JP's SS2 and SS3 characters
    std::uint64_t hangul = 0;
    std::uint64_t hanja = 0;
    std::uint64_t low_trail = 0;
    std::uint64_t typical = 0; // Shift_JIS's double bytes, GB2312's rows
};

bool between(unsigned byte, unsigned low, unsigned high)
{
    return byte >= low && byte <= high;
}

void note_character(census& counts, text_encoding encoding, byte_span bytes, std::size_t at,
                    std::size_t length)
{
    unsigned lead = bytes[at];
    unsigned trail = length > 1 ? bytes[at + 1] : 0;
    if (length == 1) {
        counts.singles++;
        return;
    }
    counts.characters++;
    counts.low_trail += trail < 0x80;
    switch (encoding) {
    case text_encoding::shift_jis:
        counts.kana += (lead == 0x82 && between(trail, 0x9F, 0xF1)) ||
                       (lead == 0x83 && between(trail, 0x40, 0x96));
        counts.typical += between(lead, 0x81, 0x9F) || between(lead, 0xE0, 0xEF);
        break;
    case text_encoding::euc_jp:
        counts.kana += lead == 0xA4 || lead == 0xA5;
        counts.single_shifts += lead == 0x8E || lead == 0x8F;
        break;
    case text_encoding::euc_kr:
        counts.hangul += between(lead, 0xB0, 0xC8) && trail >= 0xA1;
        counts.hanja += between(lead, 0xCA, 0xFD) && trail >= 0xA1;
        break;
    case text_encoding::gb18030:
        counts.typical += length == 4 || (lead >= 0xA1 && trail >= 0xA1);
        break;
    default:
        break;
    }
}

constexpr std::uint64_t HIGH_BITS = 0x8080808080808080u;

std::uint64_t load_word(const unsigned char* at)
{
    std::uint64_t word;
    std::memcpy(&word, at, sizeof word);
    return word;
}

census count_characters(text_encoding encoding, byte_span bytes)
{
    census counts;
    // Whether the byte before ends a non-ASCII character, whether that one
    // has more than one byte, and whether it is counted in a run already.
    bool after_character = false, before_multi = false, before_counted = false;
    for (std::size_t at = 0; at < bytes.size();) {
        if (bytes[at] < 0x80) {
            after_character = false;
            at++;
            // Mostly ASCII text is passed over eight bytes at a time.
            while (at + sizeof(std::uint64_t) <= bytes.size() &&
                   (load_word(bytes.data() + at) & HIGH_BITS) == 0)
                at += sizeof(std::uint64_t);
            continue;
        }
        std::size_t length = character_length(encoding, bytes, at);
        // A character cut by the end of the bytes is not a fault.
        if (length == 0 && at + LONGEST_CHARACTER >= bytes.size())
            break;
        if (length == 0) {
            counts.high++;
            counts.stray++;
            after_character = false;
            at++;
            continue;
        }
        for (std::size_t i = 0; i < length; i++)
            counts.high += bytes[at + i] >= 0x80;
        note_character(counts, encoding, bytes, at, length);
        // Two high bytes together are a character as they stand; one with an
        // ASCII trail byte must stand among others to count.
        bool high_trail = length > 1 && bytes[at + 1] >= 0x80;
        if (length > 1 && after_character)
            counts.in_runs += before_multi && !before_counted ? 2 : 1;
        else if (high_trail)
            counts.in_runs++;
        before_counted = length > 1 && (after_character || high_trail);
        before_multi = length > 1;
        after_character = true;
        at += length;
    }
    return counts;
}

bool well_formed(const census& counts)
{
    return counts.characters >= FEWEST_CHARACTERS &&
           counts.stray * MOST_STRAY_ONE_IN <= counts.high &&
           counts.in_runs * 100 >= counts.characters * IN_RUNS_PERCENT;
}

bool at_least(std::uint64_t part, std::uint64_t whole, std::uint64_t percent)
{
    return whole > 0 && part * 100 >= whole * percent;
}

bool is_typical(text_encoding encoding, const census& counts)
{
    switch (encoding) {
    case text_encoding::euc_jp:
        return at_least(counts.kana, counts.characters, KANA_PERCENT) ||
               at_least(counts.single_shifts, counts.characters, SINGLE_SHIFT_PERCENT);
    case text_encoding::euc_kr:
        return at_least(counts.hangul, counts.characters, HANGUL_PERCENT) &&
               !at_least(counts.hanja, counts.characters, MOST_HANJA_PERCENT + 1);
    case text_encoding::big5:
        return at_least(counts.low_trail, counts.characters, BIG5_LOW_TRAIL_PERCENT);
    case text_encoding::shift_jis:
        return at_least(counts.typical, counts.characters + counts.singles, TYPICAL_PERCENT);
    case text_encoding::gb18030:
        return at_least(counts.typical, counts.characters, TYPICAL_PERCENT);
    default:
        return false;
    }
}

// The share of the characters that tell the encoding from the others.
double typical_share(text_encoding encoding, const census& counts)
{
    double characters = static_cast<double>(counts.characters);
    switch (encoding) {
    case text_encoding::shift_jis:
        return counts.typical / static_cast<double>(counts.characters + counts.singles);
    case text_encoding::euc_jp:
        return is_typical(encoding, counts) ? 1 : (counts.kana + counts.single_shifts) / characters;
    case text_encoding::euc_kr:
        return at_least(counts.hanja, counts.characters, MOST_HANJA_PERCENT + 1)
                   ? 0
                   : counts.hangul / characters;
    case text_encoding::big5:
        return at_least(counts.low_trail, counts.characters, BIG5_LOW_TRAIL_PERCENT)
                   ? 1
                   : counts.low_trail / characters;
    case text_encoding::gb18030:
        return counts.typical / characters;
    default:
        return 0;
    }
}

// UTF-16 units: zero high byte with a text byte low, NUL, stray control,
// line end; lone surrogates are faults.
struct unit_census {
    std::uint64_t ascii = 0;
    std::uint64_t line_ends = 0;
    std::uint64_t faults = 0;
};

// One unit read one way round: its low and high byte.
void count_unit(unit_census& counts, bool& expect_low_surrogate, unsigned low, unsigned high)
{
    bool low_surrogate = between(high, 0xDC, 0xDF);
    counts.faults += expect_low_surrogate != low_surrogate;
    expect_low_surrogate = between(high, 0xD8, 0xDB);
    if (high != 0)
        return;
    bool line_end = low == '\n' || low == '\r';
    bool text = line_end || low == '\t' || between(low, 0x20, 0x7E) || low >= 0xA0;
    counts.ascii += text;
    counts.line_ends += line_end;
    counts.faults += !text;
}

// The units read little-endian and big-endian, in one pass; it stops once
// both readings hold more faults than UTF-16 text may, as binary data
// does within its first few units, and nothing read further would save.
std::array<unit_census, 2> count_units(byte_span bytes)
{
    std::array<unit_census, 2> counts{};
    bool expect_low[2] = {false, false};
    std::uint64_t most_faults = bytes.size() / 2 / FAULT_ONE_IN;
    std::size_t at = 0;
    while (at + 1 < bytes.size()) {
        std::size_t stop = std::min(bytes.size() - 1, at + 2 * UNITS_BETWEEN_LOOKS);
        for (; at < stop; at += 2) {
            count_unit(counts[0], expect_low[0], bytes[at], bytes[at + 1]);
            count_unit(counts[1], expect_low[1], bytes[at + 1], bytes[at]);
        }
        if (counts[0].faults > most_faults && counts[1].faults > most_faults)
            break;
    }
    return counts;
}

bool reads_as_utf16(const unit_census& counts, std::uint64_t units)
{
    return counts.line_ends > 0 && units / counts.line_ends <= MOST_UNITS_PER_LINE &&
           counts.faults * FAULT_ONE_IN <= units;
}

} // namespace

east_asian_choice weigh_east_asian(byte_span bytes)
{
    east_asian_choice result;
    bool lines = ends_lines_often(bytes.data(), bytes.size(), MOST_BYTES_PER_LINE);
    // In the order that wins ties: the EUC forms first, whose bytes the
    // others also read, then by how strictly each one's bytes are bound.
    for (text_encoding encoding :
         {text_encoding::euc_kr, text_encoding::euc_jp, text_encoding::big5,
          text_encoding::shift_jis, text_encoding::gb18030}) {
        census counts = count_characters(encoding, bytes);
        bool fits = lines && well_formed(counts);
        double formed = counts.high == 0 ? 0
                                         : 1 - static_cast<double>(counts.stray) /
                                                   static_cast<double>(counts.high);
        result.candidates.push_back(
            {encoding, fits ? formed * typical_share(encoding, counts) : 0});
        if (result.choice == text_encoding::binary && fits && is_typical(encoding, counts))
            result.choice = encoding;
    }
    return result;
}

text_encoding guess_utf16_by_units(byte_span bytes)
{
    std::array<unit_census, 2> counts = count_units(bytes);
    bool little = reads_as_utf16(counts[0], bytes.size() / 2);
    bool big = reads_as_utf16(counts[1], bytes.size() / 2);
    if (little == big)
        return text_encoding::binary;
    return little ? text_encoding::utf16le : text_encoding::utf16be;
}
