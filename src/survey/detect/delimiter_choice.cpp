#include "delimiter_choice.h"

#include "../base/byte_kernels.h"
#include "../base/text_lines.h"
#include "column_types.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cctype>
#include <map>
#include <span>

namespace
{

constexpr std::size_t MOST_RECORDS_WEIGHED = 2000;
// A delimiter must split records this consistently to be one, and split
// at least this share of them into its usual number of fields.
constexpr double LEAST_CONSISTENCY = 0.6;
constexpr double LEAST_USUAL_SHARE = 0.3;
// Field counts this close to the usual one are an optional field or two.
constexpr std::uint32_t NEAR_FIELDS = 2;
// Of two delimiters this close, the more usual one wins; any other byte
// must split the records better than the usual ones by a clear margin.
constexpr double CLOSE_SCORES = 0.02;
// Unless the usual one parts the records in two and the other in more than
// this many times as many fields.
constexpr std::uint32_t PAIR_OF_FIELDS = 2;
// Records this share of which hold a byte once in every field another
// byte parts hold labelled values, fields of that other.
constexpr double PAIRED_FIELDS_SHARE = 0.95;
constexpr std::size_t LONGEST_LABEL_WORD = 32;
constexpr std::uint32_t MORE_COLUMNS_TIMES = 2;
constexpr double OTHER_MARGIN = 0.15;
// A byte that stands between two digits this often is a decimal or
// thousands separator, or the colon of a time, inside fields: it gives way
// (its score halved) to another that splits at least this share as well.
constexpr double DIGIT_FLANKED = 0.9;
constexpr std::string_view NUMBER_MARKS = ",.:'";
constexpr double NEARLY_AS_WELL = 0.9;
constexpr double FLANKED_PENALTY = 0.5;
// A byte outside the usual delimiters that stands between letters or
// digits this often joins the words of names (an identifier's '_'): it
// gives way, as the marks inside numbers do, to a usual delimiter that
// splits the records consistently, however many optional fields end them;
// where none does, it delimits nothing.
constexpr double WORD_FLANKED = 0.9;
// A byte that stands inside brackets this often separates the items of a
// nested value (a Newick tree's children, a JSON object's members), not
// the fields of records.
constexpr double BRACKETED_SHARE = 0.95;
// Prose, whose lines end sentences (a letter, then '.', '!' or '?') this
// often, punctuates its clauses with the marks a table would split on.
constexpr double SENTENCE_LINE_SHARE = 0.5;
constexpr std::string_view CLAUSE_MARKS = ",;:";
// A byte whose every occurrence, in this many records at most, falls in
// one field of another delimiter's split splits a value (a list in the last
// column), not the records.
constexpr std::size_t MOST_RECORDS_NESTED = 500;
// Blanks that split the records less alike than another byte by this much
// hold none of its bytes inside their fields.
constexpr double OUTER_MARGIN = 0.1;
// A byte that splits one field into this many parts makes a list there.
constexpr std::uint32_t FEWEST_LIST_FIELDS = 3;
// A byte that parts records in two and that more than this share of them
// lack, this many at least, punctuates some lines (a colon after a label,
// a semicolon in prose) rather than delimiting the records. A table of
// more columns keeps its delimiter over lines of other kinds among its
// rows (section lines, footnotes, a log's tracebacks).
constexpr double MOST_WITHOUT_SHARE = 0.25;
constexpr std::uint64_t FEWEST_RECORDS_WITHOUT = 5;
// Records a field or two off the usual count count this much of a record.
constexpr double NEAR_CREDIT = 0.5;
// A byte that ends this share of two-field records with nothing after it
// ends statements rather than separating fields.
constexpr double ENDING_SHARE = 0.5;
constexpr unsigned char STATEMENT_END = ';';
// Unless another byte parts every one of them into this many fields or
// more: records that a ';' closes, not statements.
constexpr std::uint32_t FEWEST_CLOSED_FIELDS = 4;
// Text this share of whose lines stand inside brackets opened on an
// earlier line, closed again before its end and never closed more than
// opened, is nested (an s-expression, a scene graph, a program's blocks):
// its records span lines and no byte splits them into fields. So that a
// bracket left open in a table's value and closed rows later does not make
// it nested, the blocks must open and close often: at least this share of
// the lines, and this many, change the depth (one in thirty at most in the
// corpus's tables, in seven lines at most), unless every block opens and
// closes at the end of its line, as a program's or a configuration's
// blocks do and a value in a table does not (`charset_map koi8-r
// windows-1251 {`, a C array's `= {` and `0x00};`), and the blocks hold
// this share of the lines, this share of them indented: nearly the whole
// text, set in as a block's lines are, not a stretch of a table between a
// value's '(' and a later one's ')'.
constexpr double NESTED_LINE_SHARE = 0.3;
constexpr double WHOLE_BLOCK_SHARE = 0.8;
constexpr std::string_view OPENINGS = "([{", CLOSINGS = ")]}";
constexpr double DEPTH_CHANGE_SHARE = 0.05;
constexpr std::uint64_t FEWEST_DEPTH_CHANGES = 8;
// A quote opens and closes at least this many fields to be one, or one
// field in a text where it leaves every line whole (a small file) if it is
// a double quote; single
// quotes, which stand inside words as apostrophes, must do this many
// times as well as double quotes to win over them.
constexpr std::uint64_t FEWEST_QUOTED_FIELDS = 2;
constexpr std::uint64_t APOSTROPHE_HANDICAP = 2;
// Another quote (or none) takes the choice from the one that opens and
// closes most fields only when its pair splits the records clearly more
// consistently: a stray quote that joins lines which are not one record.
constexpr double PAIR_MARGIN = 0.1;
// Tabs inside nearly every record (this share), this many at least in
// each, part fields however their count varies.
constexpr double RAGGED_SHARE = 0.95;
constexpr std::uint32_t FEWEST_RAGGED_TABS = 2;
// So do bars, one at least in each, which text seldom holds (a thesaurus's
// word|count line, then its meanings' synonyms one bar apart).
constexpr unsigned char RAGGED_BAR = '|';
constexpr std::uint32_t FEWEST_RAGGED_BARS = 1;
// Quoted records of many lines (notes of a paragraph or two) run this many
// lines at most on average.
constexpr std::size_t MOST_LINES_PER_RECORD = 20;
// A byte that opens this share of the records it splits into the usual
// number of fields is a mark that leads each record (a tag's colon, the
// start code of a hex record), not a separator between fields.
constexpr double LEADING_MARK_SHARE = 0.9;
constexpr std::string_view LEAD_SEPARATORS = "\t";
// Nor does a byte that closes a short tag it opens (`:20:`, a SWIFT
// message's field tags) in this share of the records, whose other lines
// continue a field: the tags' marks, not a delimiter.
constexpr double TAGGED_LINE_SHARE = 0.5;
constexpr std::size_t LONGEST_TAG = 5;
// Blanks that separate words of text separate no fields. In prose a word
// ends a clause (a letter then ',' '.' ';' '!' '?') before the next word in
// most lines; values in a table seldom do (under a tenth of lines in the
// corpus, against nearly all of a lorem ipsum).
constexpr double CLAUSE_LINE_SHARE = 0.5;
// Lines padded to one length (this share of at least this many) hold
// columns only where some position inside them is a blank in this share
// of the lines; centred messages in a padded field have no such gutter.
constexpr double ONE_LENGTH_SHARE = 0.9;
constexpr std::size_t FEWEST_PADDED_LINES = 8;
// A line needs a position between its first and last to have a gutter.
constexpr std::size_t SHORTEST_PADDED_LINE = 3;
constexpr double GUTTER_SHARE = 0.9;
// A blank that cuts lines of varying length into a varying count of this
// many words or a few more, or a colon that parts a key from the rest,
// no column of them holding values of one type (numbers, dates), parts the
// words of commands and settings (`ECHO off`, `char name="DKB"`,
// `KEY:value`), not the fields of records: a table's columns line up, and
// a block of lines of one length is records whatever parts them. A
// command's first word is a verb or a type that recurs; where no word
// recurs it is a key, as a table's first column often is (a sequence's
// name, a keymap's key).
// A key and its value parted alike in every line are settings still where
// a few keys name them over and over, one in this many lines at most, in
// stanzas that blank lines part, a key once in each but one in this many
// at most (a stanza's fields: `Task:`, `Section:`); a table's first column
// names as many things as it has rows, or the same few without stanzas.
constexpr std::size_t FEW_KEYS_ONE_IN = 5;
constexpr std::uint32_t MOST_WORDS_OF_COMMANDS = 3;
constexpr std::uint32_t MOST_PARTS_OF_SETTINGS = 2;
constexpr double ONE_LENGTH_STATEMENTS = 0.5;
// Blanks around an assignment's sign, in this share of the lines, part a
// setting's name from its value: settings, not a table.
constexpr double ASSIGNED_SHARE = 0.9;
// Lines of markup elements, this share of the lines that hold anything.
constexpr double MARKUP_SHARE = 0.9;
// Records whose tabs stand on both sides of another delimiter, alone, in
// this share of the records that hold a tab, are that delimiter's.
constexpr double PADDED_SHARE = 0.9;
// Lines of a message catalogue's entries, this share of the lines that
// hold anything.
constexpr double MESSAGES_SHARE = 0.9;
// Records this share of which set a name to a value, the '=' between
// blanks, are settings, whatever byte parts their remarks.
constexpr double SETTINGS_SHARE = 0.5;
// Where no byte splits the whole text consistently, a run of at least
// this many records that one usual delimiter splits alike into this many
// fields or more, a good part of the text (one record in this many), is a
// table between a preamble of settings and closing lines (an instrument's
// export, a colour measurement file's BEGIN_DATA block).
constexpr std::size_t FEWEST_TABLE_RECORDS = 3;
constexpr std::uint32_t FEWEST_TABLE_FIELDS = 3;
constexpr std::size_t TABLE_ONE_IN = 3;
// The lines after such a table close it (END_DATA): a few at most; more
// are further records, in groups the table is one of.
constexpr std::size_t MOST_CLOSING_RECORDS = 3;
// Blanks that split the records less consistently than fields need are
// padding between aligned values unless a table of them, half the records
// at least (one in this many), stands apart.
constexpr std::size_t LOOSE_TABLE_ONE_IN = 2;
// A column of words whose values lead with a digit this often holds numbers.
constexpr double NUMBER_COLUMN_SHARE = 0.5;
// A colon inside a time (`14:36:53`, `9:05`) in this share of the records
// parts hours from minutes, not fields: a log's lines, stamped with the
// time, put colons after it and in its messages as well.
constexpr double TIMED_RECORD_SHARE = 0.5;
constexpr unsigned char TIME_MARK = ':';
// Keys that are names, nearly every one (this share), before values of no
// one kind (under this share of one: numbers, names and paths mixed, as
// `PASS_MAX_DAYS 99999`, `MAIL_DIR /var/mail`) in lines of varying
// length, this many at least, are a configuration's settings: a table's
// column after its keys holds values of one kind (a sequence, a code, a
// count, some of them missing as `NA`). A table of counts with one in
// four missing, or of words in another script, still has its column.
constexpr double NAMED_KEY_SHARE = 0.9;
constexpr double ONE_KIND_SHARE = 0.7;
constexpr std::size_t FEWEST_SETTINGS = 4;
// A line holds a list of numbers when at least this many stand in it.
constexpr std::size_t FEWEST_ONE_LINE_NUMBERS = 4;

bool is_field_edge(char byte)
{
    return byte == ',' || byte == ';' || byte == '\t' || byte == '|' || byte == ':' ||
           byte == ' ' || byte == '=';
}

struct candidate_score {
    unsigned char delimiter;
    std::uint32_t fields;
    double score;
    double usual_share;
    bool usual;
    // Whether the first record (the header row, if any) has the usual
    // number of fields.
    bool first_fits;
};

// Every record, the first included, splits into fields of which none is
// empty: a byte that does this is a delimiter, not a mark inside values.
bool splits_every_record(const std::vector<std::string_view>& records, unsigned char delimiter)
{
    for (std::string_view record : records) {
        unsigned char before = delimiter;
        for (char byte : record) {
            unsigned char value = static_cast<unsigned char>(byte);
            if (value == delimiter && before == delimiter)
                return false;
            before = value;
        }
        if (before == delimiter)
            return false;
    }
    return true;
}

// The share of a byte's places that have what before and after asks on
// either side: after(record, at) looks at the bytes from at on.
template <typename kind, typename following>
double flanked_share(const std::vector<std::string_view>& records, unsigned char delimiter,
                     kind before, following after)
{
    constexpr std::size_t BLOCK = 64;
    static const either_marks_kernel mark = usable_byte_kernels().back().either_marks;
    std::uint64_t seen = 0, flanked = 0;
    for (std::string_view record : records) {
        // Marked a block at a time: a search for each place calls the
        // library at every field where the byte delimits them.
        const unsigned char* bytes = reinterpret_cast<const unsigned char*>(record.data());
        for (std::size_t block = 0; block < record.size(); block += BLOCK) {
            std::uint64_t marks =
                mark(bytes + block, std::min(BLOCK, record.size() - block), delimiter, delimiter);
            for (; marks != 0; marks &= marks - 1) {
                std::size_t at = block + static_cast<std::size_t>(std::countr_zero(marks));
                if (at == 0 || at + 1 >= record.size())
                    continue;
                seen++;
                flanked += before(bytes[at - 1]) && after(record, at + 1);
            }
        }
    }
    return seen == 0 ? 0 : static_cast<double>(flanked) / static_cast<double>(seen);
}

bool is_digit(unsigned char byte)
{
    return std::isdigit(byte) != 0;
}

// A digit after, or a number's sign before its digit ("4:-0.32").
double digit_flanked_share(const std::vector<std::string_view>& records, unsigned char delimiter)
{
    return flanked_share(records, delimiter, is_digit, [](std::string_view record, std::size_t at) {
        auto byte = static_cast<unsigned char>(record[at]);
        bool sign = (byte == '-' || byte == '+') && at + 1 < record.size();
        return is_digit(sign ? static_cast<unsigned char>(record[at + 1]) : byte);
    });
}

double word_flanked_share(const std::vector<std::string_view>& records, unsigned char delimiter)
{
    auto word = [](unsigned char byte) { return std::isalnum(byte) != 0; };
    return flanked_share(records, delimiter, word, [word](std::string_view record, std::size_t at) {
        return word(static_cast<unsigned char>(record[at]));
    });
}

// Each byte that may delimit fields has a slot in a record's tally; all
// other bytes share the last, which nothing reads. A record's tally is
// then a few dozen counts, not one for each of the 256 bytes.
struct delimiter_slots {
    std::array<std::uint8_t, 256> slot_of{};
    std::size_t slots = 0;

    constexpr delimiter_slots()
    {
        for (unsigned char delimiter : USUAL_DELIMITERS)
            slot_of[delimiter] = static_cast<std::uint8_t>(++slots);
        for (unsigned char delimiter : OTHER_DELIMITERS)
            slot_of[delimiter] = static_cast<std::uint8_t>(++slots);
        // Slot 0 is the shared one; the delimiters' are 1 to slots.
        slots++;
    }
};
constexpr delimiter_slots SLOTS;

// ISO 2022 text (ISO-2022-JP, -KR) switches character sets with escape
// sequences (ESC, intermediate bytes 0x20-0x2F, a final byte 0x30-0x7E);
// the sequence and, after one that designates a set of double-byte
// characters (an intermediate '$'), the bytes of those characters are text
// and split nothing.
constexpr unsigned char ESCAPE = 0x1B;

struct escape_state {
    bool in_sequence = false;
    bool double_bytes = false;
    bool shifted = false;

    // Whether byte belongs to an escape sequence or a double-byte
    // character.
    bool holds(unsigned char byte)
    {
        if (byte == ESCAPE) {
            in_sequence = true;
            double_bytes = false;
            return true;
        }
        if (in_sequence) {
            if (byte >= 0x20 && byte <= 0x2F) {
                double_bytes |= byte == '$';
                return true;
            }
            in_sequence = false;
            shifted = double_bytes;
            return true;
        }
        return shifted && byte > 0x20 && byte < 0x7F;
    }
};

// Fields of each record for every byte as delimiter but the blank: one
// pass over a record counts every byte that stands outside quotes.
struct byte_tallies {
    // counts[record * SLOTS.slots + slot]: how often the slot's byte stands
    // outside quotes.
    std::vector<std::uint16_t> counts;
    // The values blanks separate in each record, outside quotes.
    std::vector<std::uint32_t> values;
    // Every byte the records hold, quoted or not.
    std::array<bool, 256> seen{};

    std::uint16_t of(std::size_t record, unsigned char delimiter) const
    {
        return counts[record * SLOTS.slots + SLOTS.slot_of[delimiter]];
    }
};

// One record's tallies, a record with a quote or an escape byte in it:
// either can hold a byte back.
std::uint32_t tally_record(std::string_view record, std::optional<unsigned char> quote,
                           std::uint16_t* tally, std::array<bool, 256>& seen)
{
    bool quoted = false, in_value = false;
    escape_state escape;
    std::uint32_t values = 0;
    for (char byte : record) {
        unsigned char value = static_cast<unsigned char>(byte);
        seen[value] = true;
        if (escape.holds(value))
            continue;
        bool blank = !quoted && (value == ' ' || value == '\t');
        values += !blank && !in_value;
        in_value = !blank;
        std::uint8_t slot = SLOTS.slot_of[value];
        if (quote && value == *quote)
            quoted = !quoted;
        else if (!quoted && slot != 0 && tally[slot] < 0xFFFF)
            tally[slot]++;
    }
    return values;
}

constexpr std::size_t BLOCK = 64;

// The values blanks separate in a record with no quote and no escape
// byte, the most of them: each starts at a byte other than a blank after
// a blank or the record's start, found from the blanks' marks a block at
// a time.
std::uint32_t count_plain_values(std::string_view record)
{
    static const either_marks_kernel mark = usable_byte_kernels().back().either_marks;
    const unsigned char* bytes = reinterpret_cast<const unsigned char*>(record.data());
    std::uint32_t values = 0;
    std::uint64_t in_value = 0;
    for (std::size_t block = 0; block < record.size(); block += BLOCK) {
        std::size_t count = std::min(BLOCK, record.size() - block);
        std::uint64_t filled = ~mark(bytes + block, count, ' ', '\t');
        if (count < BLOCK)
            filled &= (std::uint64_t{1} << count) - 1;
        values += static_cast<std::uint32_t>(std::popcount(filled & ~(filled << 1 | in_value)));
        in_value = filled >> (count - 1) & 1;
    }
    return values;
}

// The shared slot is left alone: most bytes fall in it, and one count in
// memory added to at nearly every byte waits on its own last store.
std::uint32_t tally_plain_record(std::string_view record, std::uint16_t* tally,
                                 std::array<bool, 256>& seen, bool blanks)
{
    for (char byte : record) {
        unsigned char value = static_cast<unsigned char>(byte);
        seen[value] = true;
        std::uint8_t slot = SLOTS.slot_of[value];
        if (slot != 0 && tally[slot] < 0xFFFF)
            tally[slot]++;
    }
    // Without a blank the record is one value, or none.
    if (!blanks)
        return record.empty() ? 0 : 1;
    return count_plain_values(record);
}

byte_tallies tally_bytes(const std::vector<std::string_view>& records,
                         std::optional<unsigned char> quote)
{
    static const held_bytes_kernel holds = usable_byte_kernels().back().held_bytes;
    byte_tallies result;
    result.counts.assign(records.size() * SLOTS.slots, 0);
    result.values.resize(records.size());
    for (std::size_t record = 0; record < records.size(); record++) {
        std::string_view text = records[record];
        std::uint16_t* tally = result.counts.data() + record * SLOTS.slots;
        // Whether it holds a quote or an escape byte, which can hold a
        // byte back, and any blank at all, asked in one pass.
        const unsigned char asked[4] = {ESCAPE, quote.value_or(ESCAPE), ' ', '\t'};
        unsigned held =
            holds(reinterpret_cast<const unsigned char*>(text.data()), text.size(), asked);
        bool plain = (held & 3u) == 0;
        result.values[record] =
            plain ? tally_plain_record(text, tally, result.seen, (held & 12u) != 0)
                  : tally_record(text, quote, tally, result.seen);
    }
    return result;
}

double empty_last_field_share(const std::vector<std::string_view>& records, unsigned char delimiter)
{
    std::uint64_t ending = 0;
    for (std::string_view record : records) {
        // Written out, as a search for either blank calls the library at
        // every byte.
        std::size_t end = record.size();
        while (end > 0 && (record[end - 1] == ' ' || record[end - 1] == '\t'))
            end--;
        ending += end > 0 && static_cast<unsigned char>(record[end - 1]) == delimiter;
    }
    return records.empty() ? 0 : static_cast<double>(ending) / static_cast<double>(records.size());
}

candidate_score weigh(const std::vector<std::string_view>& records, const byte_tallies& tallies,
                      unsigned char delimiter, bool usual)
{
    auto fields_of = [&](std::size_t record) {
        return delimiter == ' ' ? tallies.values[record] : tallies.of(record, delimiter) + 1u;
    };
    // Records by their count of fields, a slot for each count: a few
    // dozen slots in all but odd cases.
    std::uint32_t most_fields = 0;
    for (std::size_t record = 0; record < records.size(); record++)
        most_fields = std::max(most_fields, fields_of(record));
    std::vector<std::uint64_t> counts(std::size_t{most_fields} + 1, 0);
    for (std::size_t record = 0; record < records.size(); record++)
        counts[fields_of(record)]++;
    std::uint32_t usual_fields = 0;
    std::uint64_t with_usual = 0;
    for (std::uint32_t fields = 0; fields <= most_fields; fields++) {
        std::uint64_t seen = counts[fields];
        if (seen == 0)
            continue;
        if (seen > with_usual || (seen == with_usual && fields > usual_fields)) {
            usual_fields = fields;
            with_usual = seen;
        }
    }
    double total = static_cast<double>(records.size());
    // Records with a field or two more or fewer still count half: a last
    // field that some records leave out is common. Words of prose split at
    // their blanks into any number of fields, and get no such credit.
    std::uint64_t near = 0;
    for (std::uint32_t fields = 0; fields <= most_fields; fields++) {
        if (fields >= 2 && fields != usual_fields && fields + NEAR_FIELDS >= usual_fields &&
            fields <= usual_fields + NEAR_FIELDS)
            near += counts[fields];
    }
    double share = with_usual / total;
    // A byte that ends nearly every record with nothing after it, as a
    // semicolon ends a statement, is a terminator rather than a delimiter.
    if (usual_fields == 2 && delimiter != ' ' &&
        empty_last_field_share(records, delimiter) >= ENDING_SHARE)
        share = 0;
    std::uint64_t without = delimiter == ' ' || most_fields < 1 ? 0 : counts[1];
    bool often_lacking = usual_fields == PAIR_OF_FIELDS && without >= FEWEST_RECORDS_WITHOUT &&
                         static_cast<double>(without) > MOST_WITHOUT_SHARE * total;
    double score = usual_fields < 2 || share < LEAST_USUAL_SHARE || often_lacking
                       ? 0
                       : (with_usual + NEAR_CREDIT * near) / total;
    bool first_fits =
        !records.empty() &&
        (delimiter == ' ' ? tallies.values[0] : tallies.of(0, delimiter) + 1u) == usual_fields;
    return {delimiter, usual_fields, score, share, usual, first_fits};
}

bool present(const std::array<bool, 256>& seen, unsigned char byte)
{
    return seen[byte];
}

// Fields that quote opens at a field's start and closes at its end.
std::uint64_t quoted_fields(const std::vector<std::string_view>& lines, unsigned char quote)
{
    std::uint64_t opens = 0, closes = 0;
    std::size_t weighed = 0;
    for (std::string_view line : lines) {
        if (is_blank_line(line) || is_comment_line(line))
            continue;
        if (weighed++ == MOST_RECORDS_WEIGHED)
            break;
        // Found by the library's search: most lines hold no quote at all.
        for (std::size_t at = line.find(static_cast<char>(quote)); at != std::string_view::npos;
             at = line.find(static_cast<char>(quote), at + 1)) {
            // A quote alone between delimiters is a whole field's value (a
            // ditto mark, an inch sign), neither opening nor closing one; a
            // blank beside it may be inside the quoted text.
            bool after_edge = at == 0 || is_field_edge(line[at - 1]);
            bool before_edge = at + 1 == line.size() || is_field_edge(line[at + 1]);
            bool alone = (at == 0 || line[at - 1] != ' ') &&
                         (at + 1 == line.size() || line[at + 1] != ' ') && after_edge &&
                         before_edge;
            opens += after_edge && !alone;
            closes += before_edge && !alone;
        }
    }
    return std::min(opens, closes);
}

// Lines whose quoted stretch is still open at their end joined with the
// lines that close it; blank and comment records left out. lines are
// views of one text, in order.
std::vector<std::string_view> join_records(const std::vector<std::string_view>& lines,
                                           std::optional<unsigned char> quote)
{
    // Sized for a record a line and cut down after: a push at each line
    // calls out of line.
    std::vector<std::string_view> records(lines.size());
    std::size_t count = 0;
    bool open = false;
    for (std::string_view line : lines) {
        if (open) {
            std::string_view& last = records[count - 1];
            last = std::string_view(
                last.data(), static_cast<std::size_t>(line.data() - last.data()) + line.size());
        } else {
            records[count++] = line;
        }
        if (ends_inside_quotes(line, quote))
            open = !open;
    }
    records.resize(count);
    std::erase_if(records, [](std::string_view record) {
        return is_blank_line(record) || is_comment_line(record);
    });
    return records;
}

// The share of the records of the usual number of fields that the
// delimiter opens.
double leading_share(const std::vector<std::string_view>& records, const byte_tallies& tallies,
                     const candidate_score& each)
{
    std::uint64_t usual = 0, leading = 0;
    for (std::size_t record = 0; record < records.size(); record++) {
        if (tallies.of(record, each.delimiter) + 1u != each.fields)
            continue;
        usual++;
        // An indented list's mark leads its line after the indent (SQL's
        // ",next_id INTEGER").
        std::string_view record_text = records[record];
        std::size_t first = 0;
        while (
            first < record_text.size() &&
            (record_text[first] == ' ' || (record_text[first] == '\t' && each.delimiter != '\t')))
            first++;
        leading += first < record_text.size() &&
                   static_cast<unsigned char>(record_text[first]) == each.delimiter;
    }
    return usual == 0 ? 0 : static_cast<double>(leading) / static_cast<double>(usual);
}

// Whether every record, the first included, splits at the delimiter into
// at least two fields of which none is empty.
bool splits_each_record(const std::vector<std::string_view>& records, const byte_tallies& tallies,
                        unsigned char delimiter)
{
    for (std::size_t record = 0; record < records.size(); record++) {
        if (tallies.of(record, delimiter) == 0)
            return false;
    }
    return splits_every_record(records, delimiter);
}

// The usual delimiter that every other field of a tab's split is, alone
// ("a\t;\tb\t;\tc"), in this share of the records: the tabs pad it.
std::optional<unsigned char> padded_by_tabs(const std::vector<std::string_view>& records)
{
    std::optional<unsigned char> padded;
    std::size_t filled = 0, alike = 0;
    for (std::string_view record : records) {
        if (record.find('\t') == std::string_view::npos)
            continue;
        filled++;
        std::vector<std::string_view> fields = split_fields(record, {'\t', std::nullopt});
        bool each = fields.size() >= 3;
        for (std::size_t at = 1; each && at < fields.size(); at += 2) {
            auto byte = static_cast<unsigned char>(fields[at].empty() ? 0 : fields[at][0]);
            each = fields[at].size() == 1 && byte != ' ' &&
                   std::ranges::find(USUAL_DELIMITERS, byte) != std::end(USUAL_DELIMITERS) &&
                   (!padded || *padded == byte);
            if (each)
                padded = byte;
        }
        alike += each;
        // Tab-separated values fail at once: no need to split them all.
        if (static_cast<double>(filled - alike) >
            (1 - PADDED_SHARE) * static_cast<double>(records.size()))
            return std::nullopt;
    }
    if (filled == 0 || static_cast<double>(alike) < PADDED_SHARE * static_cast<double>(filled))
        return std::nullopt;
    return padded;
}

// Tabs around another delimiter on each side pad it: they give way to it.
void tabs_give_way(const std::vector<std::string_view>& records,
                   std::vector<candidate_score>& scores)
{
    auto tabs = std::ranges::find(scores, '\t', &candidate_score::delimiter);
    if (tabs == scores.end() || tabs->score == 0)
        return;
    std::optional<unsigned char> padded = padded_by_tabs(records);
    if (!padded)
        return;
    auto other = std::ranges::find(scores, *padded, &candidate_score::delimiter);
    if (other != scores.end() && other->score > 0)
        tabs->score = 0;
}

// Blanks stand inside values as well as between them. They give way to
// a usual delimiter that splits the records consistently into as many
// fields as they do (tabs, which blanks count too, under a title line of
// blanks), and to one that splits every record, the first included, into
// non-empty fields where blanks leave the first record (the names) whole.
// A rare byte that splits as blanks do splits so by chance.
void blanks_give_way(const std::vector<std::string_view>& records, const byte_tallies& tallies,
                     std::vector<candidate_score>& scores)
{
    auto blank = std::find_if(scores.begin(), scores.end(),
                              [](const candidate_score& each) { return each.delimiter == ' '; });
    if (blank == scores.end() || blank->score == 0)
        return;
    for (const candidate_score& other : scores) {
        if (other.delimiter == ' ' || other.score < LEAST_CONSISTENCY)
            continue;
        bool same_split = other.usual && other.fields == blank->fields;
        bool names_whole = tallies.values[0] == 1 && other.usual &&
                           splits_each_record(records, tallies, other.delimiter);
        if (same_split || names_whole) {
            blank->score = 0;
            return;
        }
    }
}

bool holds_byte(std::string_view field, unsigned char byte)
{
    if (byte != ' ')
        return field.find(static_cast<char>(byte)) != std::string_view::npos;
    // Blanks inside a value, not those that pad it.
    std::size_t first = field.find_first_not_of(" \t");
    std::size_t last = field.find_last_not_of(" \t");
    return first != std::string_view::npos &&
           field.substr(first, last - first + 1).find_first_of(" \t") != std::string_view::npos;
}

// The one field of the records that outer splits into its usual number of
// fields in which every occurrence of inner stands, if there is one.
std::optional<std::size_t> nested_in_one_field(const std::vector<std::string_view>& records,
                                               std::optional<unsigned char> quote,
                                               const candidate_score& inner,
                                               const candidate_score& outer)
{
    field_rule rule{outer.delimiter, quote};
    std::optional<std::size_t> only;
    for (std::size_t record = 0; record < records.size() && record < MOST_RECORDS_NESTED;
         record++) {
        std::vector<std::string_view> fields = split_fields(records[record], rule);
        if (fields.size() != outer.fields)
            continue;
        for (std::size_t field = 0; field < fields.size(); field++) {
            // A byte that only closes a field of blank-separated values
            // stands before the blanks ("0, 0xc8"), not inside a value.
            std::string_view value = fields[field];
            if (outer.delimiter == ' ' && !value.empty() &&
                static_cast<unsigned char>(value.back()) == inner.delimiter)
                value.remove_suffix(1);
            if (!holds_byte(value, inner.delimiter))
                continue;
            if (only && *only != field)
                return std::nullopt;
            only = field;
        }
    }
    return only;
}

// Whether every record's first blank comes before its first delimiter:
// the blanks stand inside the first field, as between a name's words.
bool blanks_first_in_names(const std::vector<std::string_view>& records, unsigned char delimiter)
{
    for (std::size_t record = 0; record < records.size() && record < MOST_RECORDS_NESTED;
         record++) {
        std::size_t blank = records[record].find(' ');
        if (blank == std::string_view::npos ||
            blank > records[record].find(static_cast<char>(delimiter)))
            return false;
    }
    return !records.empty();
}

// Of two bytes that both split the records consistently, the second a
// usual delimiter (any byte may stand inside one field of a rare one that
// splits a few records at runs of itself), one that stands
// only inside one field of the other's split (the ';' between a GTF line's
// attributes, in its last tab-separated field) separates parts of a value;
// where each stands inside one field of the other ("1,2,Hello world"),
// a list confined to the other's last field does (the commas of a lineage
// after a line's tab-separated fields), else the counts decide.
// The field's label, the mark once, then its value: a word of letters,
// digits, '_', '-' or '.' before the mark, a letter among them; empty
// when the field is no such thing.
std::string_view label_of(std::string_view field, unsigned char mark)
{
    std::size_t at = field.find(static_cast<char>(mark));
    if (at == std::string_view::npos || at == 0 || at > LONGEST_LABEL_WORD ||
        field.find(static_cast<char>(mark), at + 1) != std::string_view::npos)
        return {};
    std::string_view label = field.substr(0, at);
    bool word =
        std::ranges::any_of(label,
                            [](char c) { return std::isalpha(static_cast<unsigned char>(c)); }) &&
        std::ranges::all_of(label, [](char c) {
            return std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '-' || c == '.';
        });
    return word ? label : std::string_view{};
}

// Whether every field the delimiter parts is a label, the mark and its
// value, in PAIRED_FIELDS_SHARE of the records, and each field's label
// recurs there (`date:1955-01-01<TAB>name:...`, `a=1;b=2`): the mark
// stands inside the fields. A name or code before it that changes from
// record to record (`u1;Smith,Anna;Berlin` read at its commas) labels
// nothing. Blanks, which count tabs among them, part no such fields here.
bool once_in_every_field(const std::vector<std::string_view>& records, unsigned char label,
                         unsigned char delimiter)
{
    if (delimiter == ' ' || label == ' ' || label == '\t' || records.empty())
        return false;
    std::size_t paired = 0, fields = 0, recurring = 0;
    std::vector<std::map<std::string_view, std::size_t>> labels;
    for (std::string_view record : records) {
        std::string_view text = record.substr(0, record.find_last_not_of('\r') + 1);
        std::vector<std::string_view> found;
        for (std::size_t start = 0; start <= text.size();) {
            std::size_t end = std::min(text.find(static_cast<char>(delimiter), start), text.size());
            found.push_back(label_of(text.substr(start, end - start), label));
            if (found.back().empty())
                break;
            start = end + 1;
        }
        if (found.back().empty())
            continue;
        paired++;
        labels.resize(std::max(labels.size(), found.size()));
        for (std::size_t field = 0; field < found.size(); field++)
            labels[field][found[field]]++;
        fields += found.size();
    }
    for (const auto& at : labels) {
        for (const auto& [text, count] : at)
            recurring += count > 1 ? count : 0;
    }
    return static_cast<double>(paired) >=
               PAIRED_FIELDS_SHARE * static_cast<double>(records.size()) &&
           static_cast<double>(recurring) >= PAIRED_FIELDS_SHARE * static_cast<double>(fields);
}

// Whether the byte stands in runs inside values in most records: colons
// twice in a row part the items of a code whose parts may be empty (a
// WordNet sense key's `%1:15:00::`), and bars this many in a row draw a
// line (an alignment's `||||*||`). An export's empty values (`,,`, `||`)
// are no such thing: its columns may leave any field empty.
constexpr std::size_t DRAWN_LINE_RUN = 8;

bool runs_inside_values(const std::vector<std::string_view>& records, unsigned char delimiter)
{
    std::size_t run = delimiter == ':' ? 2 : delimiter == '|' ? DRAWN_LINE_RUN : 0;
    if (run == 0)
        return false;
    std::string marks(run, static_cast<char>(delimiter));
    std::size_t seen = 0, holding = 0;
    for (std::size_t record = 0; record < records.size() && record < MOST_RECORDS_NESTED;
         record++, seen++)
        holding += records[record].find(marks) != std::string_view::npos;
    return seen > 0 && 2 * holding > seen;
}

void drop_nested(const std::vector<std::string_view>& records, std::optional<unsigned char> quote,
                 std::vector<candidate_score>& scores)
{
    std::vector<bool> nested(scores.size(), false);
    for (std::size_t inner = 0; inner < scores.size(); inner++) {
        for (std::size_t outer = 0; outer < scores.size(); outer++) {
            // Labelled values: the label's mark, once in each of the
            // inner byte's fields, stands inside them.
            if (inner != outer && scores[inner].usual && scores[inner].score >= LEAST_CONSISTENCY &&
                scores[inner].fields >= 2 && scores[outer].score >= LEAST_CONSISTENCY &&
                once_in_every_field(records, scores[outer].delimiter, scores[inner].delimiter)) {
                nested[outer] = true;
                continue;
            }
            // Nor do blanks that split the records clearly less alike hold
            // the other's bytes in their fields: they stand inside a CSV's
            // text.
            if (inner == outer || !scores[outer].usual || scores[inner].score < LEAST_CONSISTENCY ||
                scores[outer].score < LEAST_CONSISTENCY ||
                (scores[outer].delimiter == ' ' &&
                 scores[outer].score + OUTER_MARGIN < scores[inner].score))
                continue;
            std::optional<std::size_t> in_outer =
                nested_in_one_field(records, quote, scores[inner], scores[outer]);
            if (!in_outer)
                continue;
            std::optional<std::size_t> in_inner =
                nested_in_one_field(records, quote, scores[outer], scores[inner]);
            // Each in one field of the other, both splitting the records
            // alike, the outer standing in runs inside values: the outer
            // parts a code or draws a line.
            if (in_inner && scores[inner].score + CLOSE_SCORES >= scores[outer].score &&
                runs_inside_values(records, scores[outer].delimiter) &&
                !runs_inside_values(records, scores[inner].delimiter)) {
                nested[outer] = true;
                continue;
            }
            // Each in one field of the other: the one that makes a list
            // (stands twice or more) confined to the other's last field
            // is a list in the last column.
            bool last_list =
                *in_outer + 1 == scores[outer].fields && scores[inner].fields >= FEWEST_LIST_FIELDS;
            // A first record that splits into the usual fields of the
            // one alone and holds none of the other is a row of names
            // over the columns it splits: the other's list is in values.
            bool names_row = scores[inner].first_fits && !scores[outer].first_fits &&
                             !records.empty() && !holds_byte(records[0], scores[outer].delimiter);
            // Blanks that part records in two, each record's first blank
            // inside the other's first field, part the words of a name
            // ("tau Phe;0.0179;-"), not a list's column from the rest.
            bool named = scores[outer].delimiter == ' ' && scores[outer].fields == 2 &&
                         blanks_first_in_names(records, scores[inner].delimiter);
            if (names_row || named)
                continue;
            if (!in_inner || (last_list && *in_inner + 1 != scores[inner].fields))
                nested[inner] = true;
        }
    }
    for (std::size_t each = 0; each < scores.size(); each++) {
        if (nested[each])
            scores[each].score = 0;
    }
}

// Bytes that lead the records separate no fields.
// Whether the record opens with a tag between two of the marks: the mark,
// one to LONGEST_TAG letters or digits, the mark again (`:20:`, `:86:`).
bool opens_with_tag(std::string_view record, unsigned char mark)
{
    std::size_t at = record.find_first_not_of(" \t");
    if (at == std::string_view::npos || static_cast<unsigned char>(record[at]) != mark)
        return false;
    std::size_t end = at + 1;
    while (end < record.size() && end - at <= LONGEST_TAG &&
           std::isalnum(static_cast<unsigned char>(record[end])))
        end++;
    return end > at + 1 && end - at <= LONGEST_TAG && end < record.size() &&
           static_cast<unsigned char>(record[end]) == mark;
}

double tagged_share(const std::vector<std::string_view>& records, unsigned char mark)
{
    std::size_t tagged = static_cast<std::size_t>(std::ranges::count_if(
        records, [mark](std::string_view record) { return opens_with_tag(record, mark); }));
    return records.empty() ? 0 : static_cast<double>(tagged) / static_cast<double>(records.size());
}

// A field separator that leads each record and parts it again after that
// leaves the first field empty (a point's unnamed line), where the field
// after it holds something: runs of it at the start are indentation (a
// tree's levels). No mark of a tag or start code is such a separator.
bool parts_after_its_lead(const std::vector<std::string_view>& records, const byte_tallies& tallies,
                          const candidate_score& each)
{
    if (each.fields <= 2 ||
        std::string_view(LEAD_SEPARATORS).find(static_cast<char>(each.delimiter)) ==
            std::string_view::npos)
        return false;
    for (std::size_t record = 0; record < records.size(); record++) {
        std::string_view text = records[record];
        if (tallies.of(record, each.delimiter) + 1u == each.fields && text.size() > 1 &&
            static_cast<unsigned char>(text[0]) == each.delimiter && text[1] == text[0])
            return false;
    }
    return true;
}

void drop_leading_marks(const std::vector<std::string_view>& records, const byte_tallies& tallies,
                        std::vector<candidate_score>& scores)
{
    for (candidate_score& each : scores) {
        if (each.score == 0 || each.delimiter == ' ' ||
            parts_after_its_lead(records, tallies, each))
            continue;
        // Tags lead most of the records the byte parts usually, too: only
        // then are the lines walked for them.
        double leading = leading_share(records, tallies, each);
        if (leading >= LEADING_MARK_SHARE ||
            (leading >= TAGGED_LINE_SHARE &&
             tagged_share(records, each.delimiter) >= TAGGED_LINE_SHARE))
            each.score = 0;
    }
}

// A letter of any script: bytes above ASCII belong to the letters of
// legacy and Unicode encodings alike.
bool is_letter(char byte)
{
    unsigned char value = static_cast<unsigned char>(byte);
    return std::isalpha(value) || value >= 0x80;
}

[[gnu::always_inline]] inline bool is_clause_mark(char byte)
{
    return byte == ',' || byte == '.' || byte == ';' || byte == '!' || byte == '?';
}

bool ends_clause(std::string_view word)
{
    if (word.size() < 2)
        return false;
    return is_clause_mark(word.back()) && is_letter(word[word.size() - 2]);
}

// Whether a clause's mark stands straight before a blank anywhere in the
// record: only then are its words read one by one. The blanks are marked
// a block at a time, and of a run of them (a column's padding) only the
// first follows a word.
bool marks_before_blanks(std::string_view record)
{
    static const either_marks_kernel mark = usable_byte_kernels().back().either_marks;
    const unsigned char* bytes = reinterpret_cast<const unsigned char*>(record.data());
    std::uint64_t before = 0; // the block before's marks, its last byte's at the top
    for (std::size_t block = 0; block < record.size(); block += BLOCK) {
        std::uint64_t blanks =
            mark(bytes + block, std::min(BLOCK, record.size() - block), ' ', ' ');
        std::uint64_t firsts = blanks & ~(blanks << 1 | before >> 63);
        before = blanks;
        for (; firsts != 0; firsts &= firsts - 1) {
            std::size_t at = block + static_cast<std::size_t>(std::countr_zero(firsts));
            if (at > 0 && is_clause_mark(record[at - 1]))
                return true;
        }
    }
    return false;
}

// Words between quotes are one field's text ("(KHTML, like Gecko)" in a
// web server's log), not the record's.
bool holds_clause_end(std::string_view record, std::optional<unsigned char> quote)
{
    if (!marks_before_blanks(record))
        return false;
    bool quoted = false;
    std::size_t at = 0;
    while (at < record.size()) {
        std::size_t end = record.find(' ', at);
        if (end == std::string_view::npos)
            return false;
        std::size_t next = record.find_first_not_of(' ', end);
        if (next == std::string_view::npos)
            return false;
        std::string_view word = record.substr(at, end - at);
        bool inside = quoted;
        if (quote && std::count(word.begin(), word.end(), static_cast<char>(*quote)) % 2 != 0)
            quoted = !quoted;
        if (!inside && !quoted && ends_clause(word) && is_letter(record[next]))
            return true;
        at = next;
    }
    return false;
}

// Prose is words: a record whose words are mostly numbers is a row of
// values, whatever remark ends it ("1 3 0 2 Linked Mk Avail; Tr orig").
bool mostly_words(std::string_view record)
{
    std::size_t words = 0, numbers = 0;
    for (std::size_t at = record.find_first_not_of(" \t"); at != std::string_view::npos;
         at = record.find_first_not_of(" \t", record.find_first_of(" \t", at))) {
        unsigned char lead = static_cast<unsigned char>(record[at]);
        words += is_letter(record[at]);
        numbers += is_digit(lead) || lead == '-' || lead == '+' || lead == '.';
    }
    return words > numbers;
}

bool reads_as_prose(const std::vector<std::string_view>& records,
                    std::optional<unsigned char> quote)
{
    std::size_t clauses = static_cast<std::size_t>(
        std::count_if(records.begin(), records.end(), [quote](std::string_view record) {
            return holds_clause_end(record, quote) && mostly_words(record);
        }));
    return !records.empty() &&
           static_cast<double>(clauses) >= CLAUSE_LINE_SHARE * static_cast<double>(records.size());
}

std::string_view without_cr(std::string_view record)
{
    return !record.empty() && record.back() == '\r' ? record.substr(0, record.size() - 1) : record;
}

// Lines of one length whose blanks never line up at a position inside
// them: padded text, not columns.
bool padded_without_gutter(const std::vector<std::string_view>& records)
{
    std::map<std::size_t, std::size_t> lengths;
    for (std::string_view record : records)
        lengths[without_cr(record).size()]++;
    auto usual = std::max_element(lengths.begin(), lengths.end(),
                                  [](auto a, auto b) { return a.second < b.second; });
    if (records.size() < FEWEST_PADDED_LINES || usual->first < SHORTEST_PADDED_LINE ||
        static_cast<double>(usual->second) < ONE_LENGTH_SHARE * static_cast<double>(records.size()))
        return false;
    // Tallied a block of the record at a time in counters of a byte each,
    // added up before they could wrap.
    static const either_tally_kernel tally = usable_byte_kernels().back().tally_either;
    constexpr std::size_t MOST_TALLIED = 255;
    std::vector<std::size_t> blanks(usual->first, 0);
    std::vector<unsigned char> tallies(usual->first, 0);
    std::size_t tallied = 0;
    auto add_up = [&] {
        for (std::size_t at = 0; at < blanks.size(); at++)
            blanks[at] += tallies[at];
        std::fill(tallies.begin(), tallies.end(), 0);
        tallied = 0;
    };
    for (std::string_view record : records) {
        record = without_cr(record);
        if (record.size() != usual->first)
            continue;
        tally(reinterpret_cast<const unsigned char*>(record.data()), record.size(), ' ', '\t',
              tallies.data());
        if (++tallied == MOST_TALLIED)
            add_up();
    }
    add_up();
    for (std::size_t at = 1; at + 1 < blanks.size(); at++) {
        if (static_cast<double>(blanks[at]) >= GUTTER_SHARE * static_cast<double>(usual->second))
            return false;
    }
    return true;
}

double best_usual_score(const std::vector<candidate_score>& scores)
{
    double best = 0;
    for (const candidate_score& each : scores)
        best = each.usual ? std::max(best, each.score) : best;
    return best;
}

void give_way_inside_words(const std::vector<std::string_view>& records,
                           std::vector<candidate_score>& scores)
{
    // Where no usual delimiter splits the records, the byte that joins
    // words is a mark inside them (a glyph's coordinates, a menu's
    // accelerator), and no byte delimits them.
    // A control byte (ASCII's separators, the SOH of a Hive table) joins
    // no words: it stands between values only.
    bool usual_splits = best_usual_score(scores) >= LEAST_CONSISTENCY;
    for (candidate_score& each : scores) {
        if (!each.usual && each.score > 0 && std::isprint(each.delimiter) &&
            word_flanked_share(records, each.delimiter) >= WORD_FLANKED)
            each.score = usual_splits ? each.score * FLANKED_PENALTY : 0;
    }
}

// For every byte, how often it stands outside quotes, and how often
// inside brackets too: one walk over the records for every candidate.
struct bracket_counts {
    std::array<std::uint64_t, 256> seen{};
    std::array<std::uint64_t, 256> bracketed{};
};

bracket_counts count_bracketed(const std::vector<std::string_view>& records,
                               std::optional<unsigned char> quote)
{
    bracket_counts counts;
    for (std::string_view record : records) {
        std::int64_t depth = 0;
        bool quoted = false;
        for (char each : record) {
            auto value = static_cast<unsigned char>(each);
            if (quote && value == *quote)
                quoted = !quoted;
            if (quoted)
                continue;
            counts.seen[value]++;
            counts.bracketed[value] += depth > 0;
            depth += value == '(' || value == '[' || value == '{';
            depth -= depth > 0 && (value == ')' || value == ']' || value == '}');
        }
    }
    return counts;
}

void drop_bracketed(const std::vector<std::string_view>& records,
                    std::optional<unsigned char> quote, const byte_tallies& tallies,
                    std::vector<candidate_score>& scores)
{
    // Without an opening bracket nothing is inside one.
    if (!tallies.seen['('] && !tallies.seen['['] && !tallies.seen['{'])
        return;
    bracket_counts counts = count_bracketed(records, quote);
    for (candidate_score& each : scores) {
        std::uint64_t seen = counts.seen[each.delimiter];
        if (each.score > 0 && seen > 0 &&
            static_cast<double>(counts.bracketed[each.delimiter]) / static_cast<double>(seen) >=
                BRACKETED_SHARE)
            each.score = 0;
    }
}

// A record without the blanks and CR at its end. Written out, as are
// the searches below: a search for any of a set of bytes calls the
// library at every byte, and every record is asked.
std::string_view without_trailing_blanks(std::string_view record)
{
    std::size_t end = record.size();
    while (end > 0 &&
           (record[end - 1] == ' ' || record[end - 1] == '\t' || record[end - 1] == '\r'))
        end--;
    return record.substr(0, end);
}

// Where the first byte other than a blank stands, npos if none does.
std::size_t first_not_blank(std::string_view text)
{
    for (std::size_t at = 0; at < text.size(); at++) {
        if (text[at] != ' ' && text[at] != '\t')
            return at;
    }
    return std::string_view::npos;
}

bool ends_sentence(std::string_view record)
{
    record = without_trailing_blanks(record);
    if (record.size() < 2)
        return false;
    char last = record.back();
    return (last == '.' || last == '!' || last == '?') && is_letter(record[record.size() - 2]);
}

// A line of prose wrapped before its sentence ends: it ends in a word or a
// clause mark, and the next line goes on with a word in lower case.
bool wraps_into(std::string_view record, std::string_view next)
{
    record = without_trailing_blanks(record);
    std::size_t first = first_not_blank(next);
    if (record.empty() || first == std::string_view::npos)
        return false;
    char last = record.back();
    unsigned char lead = static_cast<unsigned char>(next[first]);
    return (is_letter(last) || last == ',') && (std::islower(lead) || lead >= 0x80);
}

void drop_clause_marks(const std::vector<std::string_view>& records,
                       std::optional<unsigned char> quote, std::vector<candidate_score>& scores)
{
    // Wrapped lines count as sentences' ends do: the sentence runs on.
    std::size_t sentences = 0;
    for (std::size_t record = 0; record < records.size(); record++)
        sentences +=
            ends_sentence(records[record]) ||
            (record + 1 < records.size() && wraps_into(records[record], records[record + 1]));
    if (records.empty() ||
        static_cast<double>(sentences) <
            SENTENCE_LINE_SHARE * static_cast<double>(records.size()) ||
        !reads_as_prose(records, quote))
        return;
    for (candidate_score& each : scores) {
        if (CLAUSE_MARKS.find(static_cast<char>(each.delimiter)) != std::string_view::npos)
            each.score = 0;
    }
}

// Hours of one or two digits, the colon, then minutes up to 59, and
// seconds as well or not, that end there: codes of hex digits between
// colons are no time, nor are numbers that colons part as fields
// ("SD:04:07:NA", zones between names), with a colon on either side.
bool holds_time(std::string_view record)
{
    auto digit = [&](std::size_t place) {
        return place < record.size() && is_digit(static_cast<unsigned char>(record[place]));
    };
    auto edge = [&](std::size_t place) {
        return place >= record.size() ||
               (std::isalnum(static_cast<unsigned char>(record[place])) == 0 &&
                record[place] != static_cast<char>(TIME_MARK));
    };
    auto sixtieths = [&](std::size_t colon) {
        return colon < record.size() && record[colon] == static_cast<char>(TIME_MARK) &&
               digit(colon + 1) && digit(colon + 2) && record[colon + 1] <= '5';
    };
    for (std::size_t at = record.find(static_cast<char>(TIME_MARK)); at != std::string_view::npos;
         at = record.find(static_cast<char>(TIME_MARK), at + 1)) {
        if (at == 0 || !digit(at - 1))
            continue;
        std::size_t hours = at >= 2 && digit(at - 2) ? at - 2 : at - 1;
        if ((hours != 0 && !edge(hours - 1)) || !sixtieths(at))
            continue;
        // A stamp may end in a colon before the message ("14:36:53: run").
        std::size_t end = sixtieths(at + 3) ? at + 6 : at + 3;
        if (edge(end) || (record[end] == static_cast<char>(TIME_MARK) &&
                          (end + 1 == record.size() || record[end + 1] == ' ')))
            return true;
    }
    return false;
}

void drop_time_marks(const std::vector<std::string_view>& records,
                     std::vector<candidate_score>& scores)
{
    auto colon = std::find_if(scores.begin(), scores.end(), [](const candidate_score& each) {
        return each.delimiter == TIME_MARK;
    });
    if (colon == scores.end() || colon->score == 0)
        return;
    std::size_t timed =
        static_cast<std::size_t>(std::count_if(records.begin(), records.end(), holds_time));
    if (static_cast<double>(timed) >= TIMED_RECORD_SHARE * static_cast<double>(records.size()))
        colon->score = 0;
}

// Statements that a ';' ends (a script's calls, a message list) hold
// arguments, not fields: no byte inside them delimits records.
void drop_inside_statements(const std::vector<std::string_view>& records,
                            std::vector<candidate_score>& scores)
{
    if (empty_last_field_share(records, STATEMENT_END) < ENDING_SHARE)
        return;
    // A ';' inside a record as well separates its parts (a GFF line's
    // attributes, a list with a closing mark), unless the statements are
    // a program's, indented in blocks, where it parts a loop's clauses.
    std::size_t indented = 0;
    bool inside = false;
    for (std::string_view record : records) {
        std::size_t first = record.find(static_cast<char>(STATEMENT_END));
        inside |= first != std::string_view::npos &&
                  record.find_first_not_of(" \t\r", first + 1) != std::string_view::npos;
        indented += !record.empty() && (record[0] == ' ' || record[0] == '\t');
    }
    if (inside && indented * INDENTED_ONE_IN < records.size())
        return;
    // A byte other than a blank that parts every record into the same
    // many fields parts records that a ';' closes ("...:5.0:K0:;").
    for (candidate_score& each : scores) {
        if (each.delimiter == ' ' || each.usual_share < 1 || each.fields < FEWEST_CLOSED_FIELDS)
            each.score = 0;
    }
}

void drop_blanks_between_words(const std::vector<std::string_view>& records,
                               std::optional<unsigned char> quote,
                               std::vector<candidate_score>& scores)
{
    auto blank = std::find_if(scores.begin(), scores.end(),
                              [](const candidate_score& each) { return each.delimiter == ' '; });
    // Nor do blanks between the words of statements that a ';' ends (a
    // message list, SQL): each is as long as it needs.
    if (blank != scores.end() && blank->score > 0 &&
        (reads_as_prose(records, quote) || padded_without_gutter(records) ||
         empty_last_field_share(records, STATEMENT_END) >= ENDING_SHARE))
        blank->score = 0;
}

// Of two usual delimiters that split the records alike, one that parts
// each in two gives way to one that parts it in more than twice as many:
// the two are the values and a remark after a mark ("... 2 Linked Mk
// Avail; Tr orig"), the many are the columns.
bool parts_more_columns(const candidate_score& each, const candidate_score& chosen)
{
    return each.usual && chosen.usual && chosen.fields == PAIR_OF_FIELDS &&
           each.fields > MORE_COLUMNS_TIMES * chosen.fields &&
           (each.first_fits || !chosen.first_fits);
}

// The delimiter that splits the records best for one quote: a usual one
// unless another byte does clearly better.
const candidate_score* best_delimiter(const std::vector<candidate_score>& scores)
{
    double best_usual = best_usual_score(scores);
    const candidate_score* chosen = nullptr;
    for (const candidate_score& each : scores) {
        if (each.score < LEAST_CONSISTENCY || (!each.usual && best_usual >= LEAST_CONSISTENCY &&
                                               each.score < best_usual + OTHER_MARGIN))
            continue;
        if (chosen == nullptr || each.score > chosen->score + CLOSE_SCORES ||
            (each.score > chosen->score - CLOSE_SCORES &&
             ((each.usual && !chosen->usual) || parts_more_columns(each, *chosen))))
            chosen = &each;
    }
    return chosen;
}

// The share of records that have the commonest length.
double usual_length_share(const std::vector<std::string_view>& records)
{
    std::map<std::size_t, std::size_t> lengths;
    for (std::string_view record : records)
        lengths[without_cr(record).size()]++;
    std::size_t most = 0;
    for (auto [length, count] : lengths)
        most = std::max(most, count);
    return static_cast<double>(most) / static_cast<double>(records.size());
}

// Whether a value leads with a digit, after a sign: a number's start.
bool opens_with_digit(std::string_view value)
{
    std::size_t at = !value.empty() && (value[0] == '-' || value[0] == '+') ? 1 : 0;
    return at < value.size() && std::isdigit(static_cast<unsigned char>(value[at]));
}

bool holds_numbers(const std::vector<std::string_view>& values)
{
    std::size_t numbers =
        static_cast<std::size_t>(std::count_if(values.begin(), values.end(), opens_with_digit));
    return static_cast<double>(numbers) >= NUMBER_COLUMN_SHARE * static_cast<double>(values.size());
}

// Whether the byte cuts the records of two fields or more into a varying
// count of a few words whose columns hold no one type of value.
// The fields the byte splits each record into, as the tallies counted them.
std::uint32_t fields_in(const byte_tallies& tallies, std::size_t record, unsigned char delimiter)
{
    return delimiter == ' ' ? tallies.values[record] : tallies.of(record, delimiter) + 1u;
}

// Whether a blank line stands between two records of one text, which the
// records left out.
bool blank_line_between(std::string_view before, std::string_view after)
{
    const char* from = before.data() + before.size();
    if (after.data() <= from)
        return false;
    std::string_view gap(from, static_cast<std::size_t>(after.data() - from));
    for (std::size_t at = gap.find('\n'); at != std::string_view::npos;
         at = gap.find('\n', at + 1)) {
        std::size_t next = gap.find_first_not_of(" \t\r", at + 1);
        if (next != std::string_view::npos && gap[next] == '\n')
            return true;
    }
    return false;
}

// Whether blank lines part the records into stanzas, two at least, in
// nearly every one of which no key stands twice: the fields of a stanza
// (`Task:`, `Section:`), not a table's rows (`fruit:apple` over and over)
// nor a log's (`ERROR: disk full`). Lines set in continue a field.
bool keyed_stanzas(const std::vector<std::string_view>& records, const field_rule& rule)
{
    std::size_t stanzas = 0, repeating = 0;
    std::vector<std::string_view> keys;
    bool repeated = false;
    auto close = [&] {
        if (!keys.empty()) {
            stanzas++;
            repeating += repeated;
        }
        keys.clear();
        repeated = false;
    };
    for (std::size_t record = 0; record < records.size(); record++) {
        std::string_view text = without_cr(records[record]);
        if (record > 0 && blank_line_between(records[record - 1], records[record]))
            close();
        if (text.empty() || text[0] == ' ' || text[0] == '\t')
            continue;
        std::vector<std::string_view> fields = split_fields(text, rule);
        if (fields.size() < 2)
            continue;
        repeated |= std::ranges::find(keys, fields[0]) != keys.end();
        keys.push_back(fields[0]);
    }
    close();
    return stanzas >= 2 && repeating * FEW_KEYS_ONE_IN <= stanzas;
}

bool parts_words_of_statements(const std::vector<std::string_view>& records,
                               const byte_tallies& tallies, const field_rule& rule)
{
    // The counts and lengths first, which most tables fail, then the words.
    std::vector<std::string_view> parted;
    std::uint32_t fewest = UINT32_MAX, most = 0;
    for (std::size_t record = 0; record < records.size(); record++) {
        std::uint32_t fields = fields_in(tallies, record, rule.delimiter);
        if (fields < 2)
            continue;
        parted.push_back(without_cr(records[record]));
        fewest = std::min(fewest, fields);
        most = std::max(most, fields);
    }
    std::uint32_t most_words =
        rule.delimiter == ' ' ? MOST_WORDS_OF_COMMANDS : MOST_PARTS_OF_SETTINGS;
    bool one_count = fewest == most;
    if (parted.size() < 2 || (one_count && rule.delimiter == ' ') || fewest > most_words ||
        usual_length_share(parted) >= ONE_LENGTH_STATEMENTS)
        return false;
    std::vector<std::vector<std::string_view>> split;
    for (std::string_view record : parted)
        split.push_back(split_fields(record, rule));
    // A comment's mark leading many lines is no word that recurs.
    std::map<std::string_view, std::size_t> first_words;
    for (const auto& fields : split) {
        if (std::any_of(fields[0].begin(), fields[0].end(),
                        [](char c) { return std::isalnum(static_cast<unsigned char>(c)); }))
            first_words[fields[0]]++;
    }
    bool recurs = std::any_of(first_words.begin(), first_words.end(),
                              [](auto each) { return each.second > 1; });
    if ((rule.delimiter == ' ' && !recurs) ||
        (one_count &&
         (first_words.size() * FEW_KEYS_ONE_IN > parted.size() || !keyed_stanzas(records, rule))))
        return false;
    for (std::uint32_t column = 0; column < fewest; ++column) {
        std::vector<std::string_view> values;
        for (const auto& fields : split)
            values.push_back(fields[column]);
        if (holds_numbers(values) ||
            infer_column_type({values.begin() + 1, values.end()}).type != value_type::text)
            return false;
    }
    return true;
}

// A name: a letter, then letters, digits and joining marks; bytes above
// ASCII are letters of legacy and Unicode encodings alike.
bool is_name(std::string_view word)
{
    return !word.empty() && is_letter(word[0]) &&
           std::all_of(word.begin(), word.end(), [](char byte) {
               return is_letter(byte) || std::isdigit(static_cast<unsigned char>(byte)) ||
                      byte == '_' || byte == '-' || byte == '.';
           });
}

// A value's kind, as settings mix them: a number, a name, anything else.
int kind_of_value(std::string_view value)
{
    if (opens_with_digit(value))
        return 0;
    return is_name(value) ? 1 : 2;
}

// Whether blanks part records of two words, mostly, into a name and a
// value of no one kind: settings, one to a line.
bool parts_named_settings(const std::vector<std::string_view>& records, const byte_tallies& tallies,
                          const field_rule& rule)
{
    // The counts and lengths first, which tables of one line length fail,
    // then the words.
    std::vector<std::string_view> parted;
    std::size_t pairs = 0;
    for (std::size_t record = 0; record < records.size(); record++) {
        std::uint32_t fields = fields_in(tallies, record, rule.delimiter);
        if (fields < 2)
            continue;
        parted.push_back(without_cr(records[record]));
        pairs += fields == 2;
    }
    if (parted.size() < FEWEST_SETTINGS || 2 * pairs <= parted.size() ||
        usual_length_share(parted) >= ONE_LENGTH_STATEMENTS)
        return false;
    std::size_t named = 0;
    std::array<std::size_t, 3> kinds{};
    std::vector<std::string_view> values;
    for (std::string_view record : parted) {
        // The split's own count decides, a quoted blank included.
        std::vector<std::string_view> words = split_fields(record, rule);
        if (words.size() < 2)
            return false;
        named += is_name(words[0]);
        kinds[kind_of_value(words[1])]++;
        values.push_back(words[1]);
    }
    double count = static_cast<double>(parted.size());
    return static_cast<double>(named) >= NAMED_KEY_SHARE * count &&
           static_cast<double>(*std::max_element(kinds.begin(), kinds.end())) <
               ONE_KIND_SHARE * count &&
           infer_column_type(values).type == value_type::text;
}

// Whether blanks part assignments: a word of '=' signs alone (`KEY =
// value`, `x := 1`) stands in the same place of nearly every record.
bool parts_assignments(const std::vector<std::string_view>& records, const byte_tallies& tallies,
                       const field_rule& rule)
{
    // Each sign stands in a record of two fields or more that holds a '=':
    // too few such records hold too few signs.
    std::size_t holding = 0, split = 0;
    for (std::size_t record = 0; record < records.size(); record++) {
        bool parts = fields_in(tallies, record, rule.delimiter) >= 2;
        split += parts;
        holding += parts && records[record].find('=') != std::string_view::npos;
    }
    if (static_cast<double>(holding) < ASSIGNED_SHARE * static_cast<double>(split))
        return false;
    std::map<std::size_t, std::size_t> signs;
    std::size_t parted = 0;
    for (std::string_view record : records) {
        std::vector<std::string_view> fields = split_fields(without_cr(record), rule);
        if (fields.size() < 2)
            continue;
        parted++;
        for (std::size_t at = 0; at < fields.size(); at++) {
            if (fields[at].find('=') != std::string_view::npos &&
                std::all_of(fields[at].begin(), fields[at].end(), [](char byte) {
                    return std::ispunct(static_cast<unsigned char>(byte));
                }))
                signs[at]++;
        }
    }
    return std::any_of(signs.begin(), signs.end(), [parted](auto each) {
        return static_cast<double>(each.second) >= ASSIGNED_SHARE * static_cast<double>(parted);
    });
}

// Whether the byte at stands between blanks, as an assignment's '=' does.
bool between_blanks(std::string_view record, std::size_t at)
{
    return at > 0 && record[at - 1] == ' ' && at + 1 < record.size() && record[at + 1] == ' ';
}

// Whether at least this share of the records are settings (`seqfile =
// data.aa`, the '=' between blanks) before any of the byte: the byte marks
// remarks behind them (`* sequence file`) or stands inside their values.
bool settings_before(const std::vector<std::string_view>& records, unsigned char byte)
{
    std::size_t settings = 0;
    for (std::string_view record : records) {
        std::size_t at = record.find('=');
        settings += at != std::string_view::npos && between_blanks(record, at) &&
                    record.substr(0, at).find(static_cast<char>(byte)) == std::string_view::npos;
    }
    return !records.empty() &&
           static_cast<double>(settings) >= SETTINGS_SHARE * static_cast<double>(records.size());
}

// Where the byte that would be chosen parts words of statements, the text
// is commands or settings and no byte delimits it.
void drop_words_of_statements(const std::vector<std::string_view>& records,
                              const byte_tallies& tallies, std::optional<unsigned char> quote,
                              std::vector<candidate_score>& scores)
{
    const candidate_score* best = best_delimiter(scores);
    if (best == nullptr)
        return;
    field_rule rule{best->delimiter, quote};
    if ((best->delimiter == ' ' && (parts_assignments(records, tallies, rule) ||
                                    parts_named_settings(records, tallies, rule))) ||
        (best->delimiter != ' ' && settings_before(records, best->delimiter)) ||
        ((best->delimiter == ' ' || best->delimiter == ':') &&
         parts_words_of_statements(records, tallies, rule))) {
        for (candidate_score& each : scores)
            each.score = 0;
    }
}

// Whether this share of the records that hold anything open with '<' and
// close with '>', blanks aside: elements of markup (XML, HTML), whose
// brackets and signs part no fields.
bool reads_as_markup(const std::vector<std::string_view>& records)
{
    // Written out: a search for any of a set of bytes calls the library
    // at every byte, and the first and last bytes are nearly always it.
    auto blank = [](char byte) { return byte == ' ' || byte == '\t' || byte == '\r'; };
    std::size_t filled = 0, elements = 0;
    for (std::string_view record : records) {
        std::size_t first = 0, end = record.size();
        while (first < end && blank(record[first]))
            first++;
        if (first == end)
            continue;
        while (blank(record[end - 1]))
            end--;
        filled++;
        elements += record[first] == '<' && record[end - 1] == '>';
    }
    return filled > 0 &&
           static_cast<double>(elements) >= MARKUP_SHARE * static_cast<double>(filled);
}

// Whether this share of the records that hold anything are the lines of a
// gettext message catalogue's entries (a PO file, as the gettext manual
// describes it): keyword lines (msgid, msgstr, msgctxt and their plural
// forms) and the quoted strings that continue them. An entry spans lines
// and its strings hold any blanks, so no byte delimits it.
bool reads_as_messages(const std::vector<std::string_view>& records)
{
    std::size_t filled = 0, entries = 0, ids = 0;
    for (std::string_view record : records) {
        std::size_t first = record.find_first_not_of(" \t\r");
        if (first == std::string_view::npos)
            continue;
        std::string_view text = record.substr(first);
        filled++;
        bool id = text.front() == 'm' && text.starts_with("msgid");
        ids += id;
        entries +=
            id || text.front() == '"' ||
            (text.front() == 'm' && (text.starts_with("msgstr") || text.starts_with("msgctxt")));
        // Other text fails at once: no need to read it all.
        if (static_cast<double>(filled - entries) >
            (1 - MESSAGES_SHARE) * static_cast<double>(records.size()))
            return false;
    }
    return ids > 0 && static_cast<double>(entries) >= MESSAGES_SHARE * static_cast<double>(filled);
}

// Markup and a message catalogue's entries part no fields: every byte
// that seemed to split them gives way.
void drop_unsplit_text(const std::vector<std::string_view>& records,
                       std::vector<candidate_score>& scores)
{
    if (!reads_as_markup(records) && !reads_as_messages(records))
        return;
    for (candidate_score& each : scores)
        each.score = 0;
}

std::vector<candidate_score> weigh_delimiters(const std::vector<std::string_view>& records,
                                              std::optional<unsigned char> quote)
{
    std::vector<std::string_view> weighed(
        records.begin(), records.begin() + std::min(records.size(), MOST_RECORDS_WEIGHED));
    byte_tallies tallies = tally_bytes(weighed, quote);
    const std::array<bool, 256>& seen = tallies.seen;
    std::vector<candidate_score> scores;
    for (unsigned char delimiter : USUAL_DELIMITERS) {
        // Runs of blanks are runs of tabs too: columns lined up by tabs.
        if (present(seen, delimiter) || (delimiter == ' ' && present(seen, '\t')))
            scores.push_back(weigh(weighed, tallies, delimiter, true));
    }
    for (unsigned char delimiter : OTHER_DELIMITERS) {
        if (present(seen, delimiter) && (!quote || delimiter != *quote))
            scores.push_back(weigh(weighed, tallies, delimiter, false));
    }
    // Separators inside numbers and times give way to one that splits
    // nearly as well; but not to one that leaves the first record apart
    // (blanks or colons inside values) when the separator splits every
    // record, the header row included, alike ("date,temp" over
    // "2010/01/01 00:00,39.4"). Only the marks numbers and times are
    // written with can be inside them: a tab or a bar between digits
    // separates numbers.
    for (candidate_score& each : scores) {
        if (NUMBER_MARKS.find(static_cast<char>(each.delimiter)) != std::string_view::npos &&
            each.score > 0 && digit_flanked_share(weighed, each.delimiter) >= DIGIT_FLANKED) {
            bool splits_all = each.usual_share >= 1 && splits_every_record(weighed, each.delimiter);
            bool other_close = false;
            for (const candidate_score& other : scores)
                other_close |= &other != &each && other.score >= each.score * NEARLY_AS_WELL &&
                               other.score >= LEAST_CONSISTENCY &&
                               !(splits_all && !other.first_fits);
            if (other_close)
                each.score *= FLANKED_PENALTY;
        }
    }
    give_way_inside_words(weighed, scores);
    drop_leading_marks(weighed, tallies, scores);
    drop_blanks_between_words(weighed, quote, scores);
    drop_bracketed(weighed, quote, tallies, scores);
    drop_clause_marks(weighed, quote, scores);
    drop_inside_statements(weighed, scores);
    drop_time_marks(weighed, scores);
    drop_nested(weighed, quote, scores);
    blanks_give_way(weighed, tallies, scores);
    tabs_give_way(weighed, scores);
    drop_words_of_statements(weighed, tallies, quote, scores);
    drop_unsplit_text(weighed, scores);
    return scores;
}

bool is_blank_record(std::string_view record)
{
    return record.find_first_not_of(" \t\r") == std::string_view::npos;
}

// The longest run of records that one usual delimiter splits into the same
// number of fields, enough of them, that ends behind a few closing records
// at most; or none. Runs are walked back from their ends, so text with no
// such table costs a few records, not all of them.
std::span<const std::string_view> table_block(const std::vector<std::string_view>& records,
                                              std::optional<unsigned char> quote,
                                              std::optional<unsigned char> only)
{
    // Where a run may end: before each of the last few records with
    // anything in them.
    std::vector<std::size_t> ends;
    for (std::size_t end = records.size(), closing = 0; end > 0 && closing <= MOST_CLOSING_RECORDS;
         end--) {
        ends.push_back(end);
        closing += !is_blank_record(records[end - 1]);
    }
    std::size_t best_first = 0, best_count = 0;
    for (unsigned char delimiter : USUAL_DELIMITERS) {
        // Blanks split words alike by chance: they are weighed only where
        // they split the text best already.
        if ((quote && delimiter == *quote) || (only ? delimiter != *only : delimiter == ' '))
            continue;
        field_rule rule{delimiter, quote};
        auto fields_of = [&](std::size_t at) {
            std::string_view record = without_cr(records[at]);
            // A record without the byte is one field, whatever its quotes.
            return record.find(static_cast<char>(delimiter)) == std::string_view::npos
                       ? 1u
                       : count_fields(record, rule);
        };
        for (std::size_t end : ends) {
            std::uint32_t fields = fields_of(end - 1);
            if (fields < FEWEST_TABLE_FIELDS)
                continue;
            std::size_t first = end - 1;
            while (first > 0 && fields_of(first - 1) == fields)
                first--;
            if (end - first > best_count) {
                best_first = first;
                best_count = end - first;
            }
        }
    }
    if (best_count < FEWEST_TABLE_RECORDS ||
        best_count * (only ? LOOSE_TABLE_ONE_IN : TABLE_ONE_IN) < records.size())
        return {};
    return {records.data() + best_first, best_count};
}

// Tabs that part values in nearly every record, however many values each
// holds, part fields: a table whose rows are as long as they need to be (a
// count of taxa in each row, a triangle of distances) splits no two rows
// alike.
std::optional<candidate_score> ragged_split(const std::vector<std::string_view>& records,
                                            unsigned char delimiter, std::uint32_t fewest)
{
    std::map<std::uint32_t, std::size_t> counts;
    std::size_t parted = 0, weighed = 0;
    for (std::string_view record : records) {
        if (weighed++ == MOST_RECORDS_WEIGHED)
            break;
        std::string_view text = without_cr(record);
        std::size_t first = text.find_first_not_of(" \t");
        std::uint32_t marks = 0;
        for (std::size_t at = text.find(static_cast<char>(delimiter),
                                        first == std::string_view::npos ? text.size() : first);
             at != std::string_view::npos; at = text.find(static_cast<char>(delimiter), at + 1))
            marks++;
        parted += marks >= fewest;
        counts[marks + 1]++;
    }
    if (weighed == 0 || static_cast<double>(parted) < RAGGED_SHARE * static_cast<double>(weighed))
        return std::nullopt;
    auto usual = std::max_element(counts.begin(), counts.end(),
                                  [](const auto& a, const auto& b) { return a.second < b.second; });
    double share = static_cast<double>(parted) / static_cast<double>(weighed);
    return candidate_score{
        delimiter, usual->first,
        share,     static_cast<double>(usual->second) / static_cast<double>(weighed),
        true,      false};
}

std::optional<candidate_score> ragged_tabs(const std::vector<std::string_view>& records)
{
    std::optional<candidate_score> tabs = ragged_split(records, '\t', FEWEST_RAGGED_TABS);
    return tabs ? tabs : ragged_split(records, RAGGED_BAR, FEWEST_RAGGED_BARS);
}

bool joins_too_many(const std::vector<std::string_view>& lines,
                    const std::vector<std::string_view>& records)
{
    std::size_t filled = static_cast<std::size_t>(std::count_if(
        lines.begin(), lines.end(), [](std::string_view line) { return !is_blank_line(line); }));
    return filled > MOST_LINES_PER_RECORD * std::max<std::size_t>(records.size(), 1);
}

bool joins_lines(const std::vector<std::string_view>& lines, unsigned char quote)
{
    return std::any_of(lines.begin(), lines.end(),
                       [quote](std::string_view line) { return ends_inside_quotes(line, quote); });
}

// The quotes worth a pair, the one that opens and closes most fields
// first, then none.
std::vector<scored<std::optional<unsigned char>>>
quote_candidates(const std::vector<std::string_view>& lines)
{
    std::vector<scored<std::optional<unsigned char>>> quotes;
    std::uint64_t best = FEWEST_QUOTED_FIELDS - 1;
    for (unsigned char quote : {'"', '\''}) {
        std::uint64_t fields = quoted_fields(lines, quote);
        if (fields == 0 ||
            (fields < FEWEST_QUOTED_FIELDS && (quote == '\'' || joins_lines(lines, quote))))
            continue;
        bool first =
            fields > (quote == '\'' && !quotes.empty() ? APOSTROPHE_HANDICAP * best : best);
        auto at = first ? quotes.begin() : quotes.end();
        quotes.insert(at, {quote, static_cast<double>(fields)});
        best = first ? fields : best;
    }
    quotes.push_back({std::nullopt, 0});
    return quotes;
}

} // namespace

// A number as a table holds it: a sign, digits with one decimal mark (a
// comma where the delimiter is not one), an exponent.
bool is_plain_number(std::string_view value, unsigned char delimiter)
{
    std::size_t at = value.find_first_not_of(" \t\r");
    std::size_t end = value.find_last_not_of(" \t\r");
    if (at == std::string_view::npos)
        return false;
    value = value.substr(at, end - at + 1);
    at = value[0] == '-' || value[0] == '+' ? 1 : 0;
    std::size_t digits = 0, marks = 0;
    for (; at < value.size(); at++) {
        char byte = value[at];
        if (is_digit(static_cast<unsigned char>(byte)))
            digits++;
        else if ((byte == '.' || (byte == ',' && delimiter != ',')) && marks++ == 0)
            continue;
        else
            break;
    }
    if (at < value.size() && (value[at] == 'e' || value[at] == 'E') && digits > 0) {
        at++;
        at += at < value.size() && (value[at] == '-' || value[at] == '+');
        std::size_t exponent = at;
        while (at < value.size() && is_digit(static_cast<unsigned char>(value[at])))
            at++;
        if (at == exponent)
            return false;
    }
    return digits > 0 && at == value.size();
}

// One line shows no consistency between records, but its values can agree
// with each other: a list of numbers in one line (a vector, a program's
// output without a line end) is parted by the usual delimiter between
// them, a trailing one allowed; blanks around the values are padding.
std::optional<candidate_score> numbers_in_one_line(std::string_view line)
{
    line = line.substr(0, line.find_last_not_of(" \t\r") + 1);
    for (unsigned char delimiter : USUAL_DELIMITERS) {
        std::vector<std::string_view> values;
        std::size_t start = 0;
        while (start <= line.size()) {
            std::size_t end = line.find(static_cast<char>(delimiter), start);
            std::string_view value = line.substr(
                start, end == std::string_view::npos ? std::string_view::npos : end - start);
            if (delimiter != ' ' || !value.empty())
                values.push_back(value);
            if (end == std::string_view::npos)
                break;
            start = end + 1;
        }
        if (delimiter != ' ' && values.size() > 1 && values.back().empty())
            values.pop_back();
        if (values.size() >= FEWEST_ONE_LINE_NUMBERS &&
            std::all_of(values.begin(), values.end(),
                        [delimiter](std::string_view v) { return is_plain_number(v, delimiter); }))
            return candidate_score{delimiter, static_cast<std::uint32_t>(values.size()), 1, 1, true,
                                   true};
    }
    return std::nullopt;
}

namespace
{

// Most tables hold no opening bracket at all: a library search for each
// rules them out without a walk byte by byte. The lines are views of one
// text in order, so one span holds them all.
bool holds_an_opening(const std::vector<std::string_view>& lines)
{
    if (lines.empty() || lines.back().data() < lines.front().data())
        return !lines.empty();
    std::string_view text(lines.front().data(),
                          static_cast<std::size_t>(lines.back().data() - lines.front().data()) +
                              lines.back().size());
    return std::ranges::any_of(std::string_view("([{"), [&](char opening) {
        return text.find(opening) != std::string_view::npos;
    });
}

// Whether the line ends in one of the brackets, a statement's or a list's
// mark after it aside (`= {`, `};`, `),`).
bool ends_in_bracket(std::string_view line, std::string_view brackets)
{
    std::size_t last = line.find_last_not_of(" \t\r;,");
    return last != std::string_view::npos && brackets.find(line[last]) != std::string_view::npos;
}

// Whether the lines nest in brackets, as NESTED_LINE_SHARE tells. The
// records' quote, which may run over lines, hides the brackets inside it;
// a quote mark where none quotes (an inch, "27\"") hides nothing.
bool nested_in_brackets(const std::vector<std::string_view>& lines,
                        std::optional<unsigned char> quote)
{
    if (!holds_an_opening(lines))
        return false;
    std::uint64_t depth = 0, inside = 0, indented = 0, counted = 0, closed = 0, changes = 0;
    bool quoted = false, at_ends = true;
    for (std::string_view line : lines) {
        if (!quoted && is_blank_or_comment_line(line))
            continue;
        counted++;
        inside += depth > 0;
        indented += depth > 0 && !line.empty() && (line.front() == ' ' || line.front() == '\t');
        std::uint64_t before = depth;
        for (char byte : line) {
            if (quote && static_cast<unsigned char>(byte) == *quote)
                quoted = !quoted;
            else if (quoted)
                continue;
            else if (byte == '(' || byte == '[' || byte == '{')
                depth++;
            else if (byte == ')' || byte == ']' || byte == '}') {
                if (depth == 0)
                    return false;
                closed += --depth == 0;
            }
        }
        changes += depth != before;
        if (depth != before)
            at_ends = at_ends && ends_in_bracket(line, depth > before ? OPENINGS : CLOSINGS);
    }
    // A sample that ends inside a block shows nesting where blocks it holds
    // close; a bracket left open in a table never closes.
    auto share = [&](std::uint64_t part) {
        return static_cast<double>(part) / static_cast<double>(counted);
    };
    bool often = changes >= FEWEST_DEPTH_CHANGES && share(changes) >= DEPTH_CHANGE_SHARE;
    bool whole_block =
        closed > 0 && at_ends && share(inside) >= WHOLE_BLOCK_SHARE &&
        static_cast<double>(indented) >= WHOLE_BLOCK_SHARE * static_cast<double>(inside);
    return counted > 0 && (depth == 0 || closed > 0) && share(inside) >= NESTED_LINE_SHARE &&
           (often || whole_block);
}

} // namespace

delimiter_choice choose_delimiter_and_quote(const std::vector<std::string_view>& lines)
{
    delimiter_choice result;
    result.quotes = quote_candidates(lines);
    bool weighed_any = false;
    for (const auto& quote : result.quotes) {
        bool first_quote = !weighed_any;
        // Where the quote that opens and closes most fields splits nothing
        // consistently, the text is not fields (prose, source code) and no
        // other quote makes it so.
        if (!first_quote && !result.choice)
            break;
        std::vector<std::string_view> records = join_records(lines, quote.value);
        // A quote whose records run over tens of lines each is no quote but
        // a mark inside values (a '"' escaped by a backslash): it is passed
        // over, as if it were never a candidate.
        if (quote.value && joins_too_many(lines, records))
            continue;
        weighed_any = true;
        // One record shows no consistency, unless of values alike.
        if (records.size() < 2) {
            std::optional<candidate_score> listed;
            if (first_quote && records.size() == 1 && (listed = numbers_in_one_line(records[0])))
                result.choice = {{listed->delimiter, quote.value, listed->fields, 1}, 1};
            continue;
        }
        std::vector<candidate_score> scores = weigh_delimiters(records, quote.value);
        for (const candidate_score& each : scores)
            result.candidates.push_back(
                {{each.delimiter, quote.value, each.fields, each.usual_share}, each.score});
        const candidate_score* best = best_delimiter(scores);
        std::string_view table;
        // Blanks that pad aligned values split few records alike when a
        // preamble stands before them.
        bool loose =
            best != nullptr && best->delimiter == ' ' && best->usual_share < CONSISTENT_BLANKS;
        if (best == nullptr || loose) {
            std::span<const std::string_view> block =
                table_block(records, quote.value,
                            loose ? std::optional<unsigned char>(best->delimiter) : std::nullopt);
            // Padded values in lines of one length are fixed-width columns.
            if (loose && !block.empty() && usual_length_share({block.begin(), block.end()}) == 1)
                block = {};
            if (!block.empty()) {
                scores = weigh_delimiters({block.begin(), block.end()}, quote.value);
                best = best_delimiter(scores);
                table = {block.front().data(),
                         static_cast<std::size_t>(block.back().data() + block.back().size() -
                                                  block.front().data())};
            }
        }
        std::optional<candidate_score> ragged;
        if (best == nullptr && (ragged = ragged_tabs(records)))
            best = &*ragged;
        if (best == nullptr)
            continue;
        if (first_quote || best->score > result.choice->score + PAIR_MARGIN) {
            result.choice = {{best->delimiter, quote.value, best->fields, best->usual_share},
                             best->score};
            result.table = table;
        }
    }
    if (result.choice && nested_in_brackets(lines, result.choice->value.quote)) {
        result.choice.reset();
        result.table = {};
    }
    return result;
}
