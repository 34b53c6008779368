#include "code_page_text.h"

#include "../base/code_pages.h"
#include "../base/text_lines.h"

#include <array>
#include <cmath>
#include <optional>

namespace
{

// Fewer letters beyond ASCII than this tell no script.
constexpr std::uint64_t FEWEST_LETTERS = 20;
// A page that fits a text reads its high bytes as letters, but for the odd
// sign (a guillemet, a numero sign): this share of them at least.
constexpr double LEAST_LETTER_SHARE = 0.98;
// Cyrillic and Greek words are written wholly in high bytes, so most of
// their letters stand beside another; Latin accents stand alone among
// ASCII letters (Polish, rich in them, keeps under two in five together).
constexpr double LEAST_PAIRED_SHARE = 0.6;
// Words keep one case along their letters, but for a capital at the
// start: a page that splits a word's letters between cases reads the
// wrong letters. Pairs of letters that agree, this share at least.
constexpr double LEAST_CASE_AGREEMENT = 0.9;
// Per letter, the winning page's letters are this much more likely (as a
// natural logarithm) under the script's frequencies than the next page's:
// readings in the wrong page of the same script come out 0.2 or more
// behind.
constexpr double LEAST_LEAD = 0.1;
// The winner's letters follow the script's frequencies better than an
// even spread of its alphabet by this much (per letter, as a natural
// logarithm): texts of the script score 0.12 and more, Hebrew read as
// KOI8-R's capitals about nothing. A page that alone reads every high
// byte as a letter needs no such fit (a table of Greek capitals with their
// accents, which the other pages read as signs and box drawing): the
// others leave this share of the high bytes letters at most.
constexpr double LEAST_FIT = 0.05;
constexpr double MOST_OTHER_LETTER_SHARE = 0.99;
// Text has a line end in this many bytes at least, on average, as the
// double-byte encodings' test asks: high bytes that go on for pages
// without one are pixels or samples.
constexpr std::uint64_t MOST_BYTES_PER_LINE = 8192;
// High bytes of text in any code page stand next to a letter (inside a
// word), or alone between blanks (a character a keymap or a table names):
// this share of them at least.
constexpr double LEAST_IN_WORD_SHARE = 0.9;
// Words and fields are set apart by blanks, tabs and line ends: this share
// of the bytes at least (prose has one in six or seven), which light
// pixels, all high, never reach.
constexpr double LEAST_GAP_SHARE = 0.03;

// Central European text writes its own letters where the Western pages
// have signs (ą ł ś ź ż at 0xA1-0xBF in ISO 8859-2, where Latin-1 has
// ± ³ ¶ ¼ ¿): a Western sign between two letters is another page's
// letter. A sign after a word (a registered mark) does not count. This
// many of them at least, and this share of the high bytes.
constexpr std::uint64_t FEWEST_SIGNS_IN_WORDS = 8;
constexpr double LEAST_SIGNS_IN_WORDS_SHARE = 0.05;
// Windows-1252's letters in 0x80-0x9F; its other bytes there are signs.
constexpr unsigned char WINDOWS1252_LETTERS[] = {0x83, 0x8A, 0x8C, 0x8E, 0x9A, 0x9C, 0x9E, 0x9F};

// Letter frequencies in ten-thousandths, in alphabetical order. Cyrillic:
// Russian text as the Russian National Corpus counts it, but for the hard
// sign, which Bulgarian uses a hundred times as often (one letter in
// fifty): the figure between keeps both languages' readings plausible.
constexpr std::array<std::uint16_t, 32> CYRILLIC_FREQUENCY = {
    801, 159, 454, 170, 298, 845, 94, 165, 735, 121, 349, 440, 321, 670, 1097, 281,
    473, 547, 626, 262, 26,  97,  48, 144, 73,  36,  100, 190, 174, 32,  64,   201};
// Modern Greek, rounded from published counts of its letters; final sigma
// is counted with sigma (its own slot is empty).
constexpr std::array<std::uint16_t, 25> GREEK_FREQUENCY = {
    1200, 70,  180, 180, 820, 40,  470, 130, 800, 400, 280, 340, 660,
    40,   980, 410, 460, 0,   760, 800, 420, 80,  110, 20,  190};
// A letter of the script the table leaves out (Serbian's and Ukrainian's
// own letters): as rare as the rarest listed.
constexpr double RARE_LETTER = 20;

enum class script { none, cyrillic, greek };

struct letter {
    script family = script::none;
    unsigned index = 0; // in the alphabet, accents and case folded away
    bool upper = false;
};

// Greek letters with tonos or dialytika, and the base letter each folds to.
struct accented {
    char32_t value;
    char32_t base;
};
constexpr accented GREEK_ACCENTED[] = {
    {0x0386, 0x0391}, {0x0388, 0x0395}, {0x0389, 0x0397}, {0x038A, 0x0399}, {0x038C, 0x039F},
    {0x038E, 0x03A5}, {0x038F, 0x03A9}, {0x03AA, 0x0399}, {0x03AB, 0x03A5}, {0x0390, 0x03B9},
    {0x03AC, 0x03B1}, {0x03AD, 0x03B5}, {0x03AE, 0x03B7}, {0x03AF, 0x03B9}, {0x03B0, 0x03C5},
    {0x03CA, 0x03B9}, {0x03CB, 0x03C5}, {0x03CC, 0x03BF}, {0x03CD, 0x03C5}, {0x03CE, 0x03C9}};
// Cyrillic letters beyond Russian's alphabet that stand for one in it
// (yo and the Ukrainian and Belarusian vowels), as offsets from U+0400.
struct folded {
    unsigned offset;
    unsigned index;
};
constexpr folded CYRILLIC_FOLDED[] = {{0x01, 5}, {0x04, 5}, {0x06, 8}, {0x07, 8}, {0x0E, 19}};

std::optional<letter> greek_letter(char32_t value)
{
    for (const accented& each : GREEK_ACCENTED) {
        if (each.value == value)
            value = each.base;
    }
    if (value >= 0x0391 && value <= 0x03A9 && value != 0x03A2)
        return letter{script::greek, static_cast<unsigned>(value - 0x0391), true};
    if (value >= 0x03B1 && value <= 0x03C9)
        return letter{script::greek,
                      static_cast<unsigned>(value == 0x03C2 ? 0x03C3 - 0x03B1 : value - 0x03B1),
                      false};
    return std::nullopt;
}

std::optional<letter> cyrillic_letter(char32_t value)
{
    if (value >= 0x0410 && value <= 0x044F)
        return letter{script::cyrillic, static_cast<unsigned>((value - 0x0410) % 32),
                      value < 0x0430};
    if (value < 0x0400 || value > 0x045F)
        return std::nullopt;
    unsigned offset = static_cast<unsigned>(value - 0x0400) % 0x50;
    bool upper = value < 0x0450;
    for (const folded& each : CYRILLIC_FOLDED) {
        if (each.offset == offset)
            return letter{script::cyrillic, each.index, upper};
    }
    // Outside the table: an index past the alphabet.
    return letter{script::cyrillic, static_cast<unsigned>(CYRILLIC_FREQUENCY.size()), upper};
}

std::optional<letter> letter_of(text_encoding page, unsigned char byte)
{
    if (byte < 0x80) {
        bool upper = byte >= 'A' && byte <= 'Z';
        if (upper || (byte >= 'a' && byte <= 'z'))
            return letter{script::none, 0, upper};
        return std::nullopt;
    }
    char32_t value = code_page_character(page, byte);
    std::optional<letter> found = greek_letter(value);
    return found ? found : cyrillic_letter(value);
}

// log(frequency / even share) of a letter of the script.
double letter_weight(const letter& each)
{
    auto weight = [](auto& table, unsigned index) {
        double total = 0;
        for (std::uint16_t frequency : table)
            total += frequency;
        double even = total / static_cast<double>(table.size());
        double frequency = index < table.size() && table[index] > 0 ? table[index] : RARE_LETTER;
        return std::log(frequency / even);
    };
    return each.family == script::greek ? weight(GREEK_FREQUENCY, each.index)
                                        : weight(CYRILLIC_FREQUENCY, each.index);
}

struct page_reading {
    std::uint64_t high = 0;
    std::uint64_t letters = 0;                   // high bytes that are letters of the page
    std::uint64_t paired = 0;                    // of those, next to another high letter
    std::uint64_t agreeing = 0, disagreeing = 0; // pairs of letters by case
    double weight = 0;                           // sum of letter_weight
};

// Each byte's letter in a page, and its weight, looked up once.
struct page_table {
    std::array<std::optional<letter>, 256> letters;
    std::array<double, 256> weights{};
};

page_table table_of(text_encoding page)
{
    page_table table;
    for (unsigned byte = 0; byte < 256; byte++) {
        table.letters[byte] = letter_of(page, static_cast<unsigned char>(byte));
        if (byte >= 0x80 && table.letters[byte])
            table.weights[byte] = letter_weight(*table.letters[byte]);
    }
    return table;
}

// Whether the case of next agrees with the letter before it: lower case
// after upper case only at a word's second letter.
bool cases_agree(const letter& before, bool before_starts_word, const letter& next)
{
    if (before.upper == next.upper)
        return true;
    return before.upper && before_starts_word;
}

page_reading read_as(text_encoding page, byte_span bytes)
{
    page_table table = table_of(page);
    auto high_letter = [&](std::size_t at) {
        return at < bytes.size() && bytes[at] >= 0x80 && table.letters[bytes[at]];
    };
    page_reading reading;
    const letter* before = nullptr;
    bool before_starts_word = false, before_high = false;
    for (std::size_t at = 0; at < bytes.size(); at++) {
        unsigned char byte = bytes[at];
        bool high = byte >= 0x80;
        const std::optional<letter>& here = table.letters[byte];
        reading.high += high;
        if (!here) {
            before = nullptr;
            continue;
        }
        if (high) {
            reading.letters++;
            reading.weight += table.weights[byte];
            reading.paired += (before != nullptr && before_high) || high_letter(at + 1);
        }
        if (before != nullptr && (high || before_high)) {
            bool agree = cases_agree(*before, before_starts_word, *here);
            reading.agreeing += agree;
            reading.disagreeing += !agree;
        }
        before_starts_word = before == nullptr;
        before = &*here;
        before_high = high;
    }
    return reading;
}

double share(std::uint64_t part, std::uint64_t whole)
{
    return whole == 0 ? 0 : static_cast<double>(part) / static_cast<double>(whole);
}

bool reads_as_its_script(const page_reading& reading)
{
    return reading.letters >= FEWEST_LETTERS &&
           share(reading.letters, reading.high) >= LEAST_LETTER_SHARE &&
           share(reading.paired, reading.letters) >= LEAST_PAIRED_SHARE &&
           share(reading.agreeing, reading.agreeing + reading.disagreeing) >= LEAST_CASE_AGREEMENT;
}

// ASCII's letters, Latin-1's, and Latin Extended-A's.
bool is_latin_letter(char32_t value)
{
    bool latin1 = value >= 0xC0 && value <= 0xFF && value != 0xD7 && value != 0xF7;
    return (value >= 'A' && value <= 'Z') || (value >= 'a' && value <= 'z') || latin1 ||
           (value >= 0x100 && value <= 0x17F) || value == 0xAA || value == 0xB5 || value == 0xBA;
}

bool is_western_sign(unsigned char byte)
{
    if (byte < 0x80 || is_latin_letter(byte))
        return false;
    for (unsigned char letter : WINDOWS1252_LETTERS) {
        if (letter == byte)
            return false;
    }
    return true;
}

struct latin_reading {
    std::uint64_t high = 0;
    std::uint64_t letters = 0;        // high bytes that are letters of the page
    std::uint64_t signs_in_words = 0; // of those, Western signs between letters
};

latin_reading read_as_latin(text_encoding page, byte_span bytes)
{
    std::array<bool, 256> letters{};
    for (unsigned byte = 0; byte < 256; byte++) {
        char32_t value =
            byte < 0x80 ? byte : code_page_character(page, static_cast<unsigned char>(byte));
        letters[byte] = is_latin_letter(value);
    }
    latin_reading reading;
    for (std::size_t at = 0; at < bytes.size(); at++) {
        unsigned char byte = bytes[at];
        if (byte < 0x80)
            continue;
        reading.high++;
        if (!letters[byte])
            continue;
        reading.letters++;
        reading.signs_in_words += is_western_sign(byte) && at > 0 && at + 1 < bytes.size() &&
                                  letters[bytes[at - 1]] && letters[bytes[at + 1]];
    }
    return reading;
}

// ISO 8859-2 or Windows-1250, whichever reads more of the high bytes as
// letters (ISO's on a tie), where Western signs stand inside words; binary
// where they do not.
text_encoding weigh_central_european(byte_span bytes, bool lines, code_page_choice& result)
{
    latin_reading iso = read_as_latin(text_encoding::iso8859_2, bytes);
    latin_reading windows = read_as_latin(text_encoding::windows1250, bytes);
    bool iso_wins = iso.letters >= windows.letters;
    const latin_reading& best = iso_wins ? iso : windows;
    bool fits = lines && best.signs_in_words >= FEWEST_SIGNS_IN_WORDS &&
                share(best.signs_in_words, best.high) >= LEAST_SIGNS_IN_WORDS_SHARE &&
                share(best.letters, best.high) >= LEAST_LETTER_SHARE;
    result.candidates.push_back(
        {text_encoding::iso8859_2, fits && iso_wins ? share(iso.letters, iso.high) : 0});
    result.candidates.push_back(
        {text_encoding::windows1250, fits && !iso_wins ? share(windows.letters, windows.high) : 0});
    if (!fits)
        return text_encoding::binary;
    return iso_wins ? text_encoding::iso8859_2 : text_encoding::windows1250;
}

constexpr text_encoding PAGES[] = {text_encoding::koi8_r, text_encoding::windows1251,
                                   text_encoding::iso8859_5, text_encoding::iso8859_7,
                                   text_encoding::windows1253};
// Windows-1253 moves ISO 8859-7's capital alpha with tonos and adds signs
// in 0x80-0x9F, its letters otherwise the same.
constexpr std::size_t ISO_GREEK = 3, WINDOWS_GREEK = 4;
using page_readings = std::array<page_reading, std::size(PAGES)>;

bool siblings(std::size_t one, std::size_t other)
{
    auto greek = [](std::size_t at) { return at == ISO_GREEK || at == WINDOWS_GREEK; };
    return one == other || (greek(one) && greek(other));
}

// Whether the page at chosen reads every high byte as a letter while every
// other page whose reading passes for text of its script, its sibling
// aside, reads some as signs.
bool alone_reads_all(const page_readings& readings, const std::array<bool, std::size(PAGES)>& fits,
                     std::size_t chosen)
{
    if (readings[chosen].letters != readings[chosen].high)
        return false;
    for (std::size_t at = 0; at < readings.size(); at++) {
        if (fits[at] && !siblings(at, chosen) &&
            share(readings[at].letters, readings[at].high) > MOST_OTHER_LETTER_SHARE)
            return false;
    }
    return true;
}

double mean_weight(const page_reading& reading)
{
    return reading.weight / static_cast<double>(reading.letters);
}

} // namespace

code_page_choice weigh_code_pages(byte_span bytes)
{
    code_page_choice result;
    bool lines = ends_lines_often(bytes.data(), bytes.size(), MOST_BYTES_PER_LINE);
    page_readings readings;
    std::array<bool, std::size(PAGES)> fits{};
    for (std::size_t at = 0; at < std::size(PAGES); at++) {
        readings[at] = read_as(PAGES[at], bytes);
        fits[at] = lines && reads_as_its_script(readings[at]);
        result.candidates.push_back(
            {PAGES[at], fits[at] ? share(readings[at].letters, readings[at].high) : 0});
    }
    // The one of the two Greek pages that reads more bytes as letters
    // stands for Greek, ISO's on a tie.
    if (fits[ISO_GREEK] && fits[WINDOWS_GREEK])
        fits[readings[WINDOWS_GREEK].letters > readings[ISO_GREEK].letters ? ISO_GREEK
                                                                           : WINDOWS_GREEK] = false;
    text_encoding central_european = weigh_central_european(bytes, lines, result);
    std::optional<std::size_t> best, second;
    for (std::size_t at = 0; at < std::size(PAGES); at++) {
        if (!fits[at])
            continue;
        if (!best || mean_weight(readings[at]) > mean_weight(readings[*best])) {
            second = best;
            best = at;
        } else if (!second || mean_weight(readings[at]) > mean_weight(readings[*second])) {
            second = at;
        }
    }
    bool clear =
        best &&
        (!second || mean_weight(readings[*best]) - mean_weight(readings[*second]) >= LEAST_LEAD);
    if (clear &&
        (mean_weight(readings[*best]) >= LEAST_FIT || alone_reads_all(readings, fits, *best)))
        result.choice = PAGES[*best];
    else
        result.choice = central_european;
    return result;
}

bool is_gap(unsigned char byte)
{
    return byte == ' ' || byte == '\t' || byte == '\n' || byte == '\r';
}

bool reads_as_eight_bit_text(byte_span bytes)
{
    auto is_letter = [](unsigned char byte) {
        return byte >= 0x80 || (byte >= 'A' && byte <= 'Z') || (byte >= 'a' && byte <= 'z');
    };
    std::uint64_t high = 0, in_word = 0, gaps = 0;
    for (std::size_t at = 0; at < bytes.size(); at++) {
        unsigned char byte = bytes[at];
        gaps += is_gap(byte);
        if (byte < 0x80)
            continue;
        high++;
        auto gap_at = [&](std::size_t place) {
            return place >= bytes.size() || is_gap(bytes[place]);
        };
        in_word += (at > 0 && is_letter(bytes[at - 1])) ||
                   (at + 1 < bytes.size() && is_letter(bytes[at + 1])) ||
                   ((at == 0 || gap_at(at - 1)) && gap_at(at + 1));
    }
    return high > 0 && ends_lines_often(bytes.data(), bytes.size(), MOST_BYTES_PER_LINE) &&
           share(in_word, high) >= LEAST_IN_WORD_SHARE &&
           share(gaps, bytes.size()) >= LEAST_GAP_SHARE;
}
