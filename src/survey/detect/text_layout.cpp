#include "text_layout.h"

#include "../base/byte_kernels.h"
#include "../base/later_lines.h"
#include "../base/text_decode.h"
#include "../base/text_lines.h"
#include "delimiter_choice.h"
#include "header_row.h"
#include "text_columns.h"

#include <algorithm>
#include <bit>
#include <cctype>
#include <cstring>
#include <map>
#include <optional>
#include <span>

namespace
{

// Lines of another length after fixed-width records that may still be a
// trailer (a blank line, a total).
constexpr std::size_t MOST_TRAILING_LINES = 2;
// A run of lines of one length after lines of other lengths is records
// when it has at least this many and is at least this share of the lines
// (one in this many): prose and source code have short runs by chance.
constexpr std::uint64_t FEWEST_FIXED_LINES = 3;
// Lines of the record length that must follow the first record: a lone
// line of that length in a preamble (a rule, a blank title) is not one.
constexpr std::size_t CONFIRMING_LINES = 2;
// Of the lines from the first record on, this share must have the record
// length: text whose lines are one length but for a few has no record
// length to load it by (a row of the table longer than the others, a
// table of 18 short rows in 342, a list of words).
constexpr double LEAST_RUN_SHARE = 0.99;
// Lines of another length among and after the records, not comments, are
// damage to report (records cut or run on, at lengths of their own) or a
// trailer, unless one other length recurs in this many of them: then the
// records are of several lengths (a table's rows a column wider, entries
// that leave a part out, the short last records of a hex image), which no
// one length loads.
constexpr std::size_t RECURRING_OTHER_LENGTH = 3;
constexpr std::uint64_t FIXED_RUN_ONE_IN = 4;
constexpr std::size_t MOST_ROWS_FOR_NAMES = 500;
constexpr std::size_t MOST_RECORDS_FOR_SHAPES = 2000;
// Values padded to line up: this many percent of the gaps between values
// wider than one blank, or values starting at one offset in this many
// percent of the lines, at this many offsets at least.
constexpr std::uint64_t WIDE_GAP_PERCENT = 30;
constexpr std::uint64_t LINED_UP_PERCENT = 80;
constexpr std::size_t FEWEST_LINED_UP_OFFSETS = 3;
// Lines this many percent of which have one length are of one length.
constexpr std::uint64_t ONE_LENGTH_PERCENT = 90;
// A field count that one record in this many has is one the records
// regularly have (a column some leave out); fewer than two fields are
// not a split. A count that one record alone has, where every other
// record's count is shared, is no regular count however few the records:
// a small file's title line is one in ten.
constexpr std::size_t REGULAR_COUNT_ONE_IN = 20;
constexpr std::uint32_t FEWEST_FIELDS = 2;
// Leading records of another shape are a preamble when they are half the
// records at most (one in this many): a file of two kinds of record is not
// taken for a preamble.
constexpr std::size_t MOST_TITLES_ONE_IN = 2;
// A leading record is a title only when its field count is rare among the
// records after the first of a regular count (one in this many at most):
// free text split at blanks has a long tail of counts that its first
// record may fall in.
constexpr std::size_t TITLE_COUNT_ONE_IN = 100;
// Leading records most of whose fields are empty (settings padded to the
// table's width by a spreadsheet, "Account:,1234,,,,") before a run of at
// least this many records with most fields filled, nearly all the records
// after it (this share), are a preamble, whatever their count of fields.
constexpr std::size_t FEWEST_FILLED_RUN = 3;
constexpr double FILLED_AFTER_SHARE = 0.9;
// A first line of another length is told for a note only among this many
// records at least: fewer show no usual length.
constexpr std::size_t FEWEST_RECORDS_FOR_NOTE = 4;
// Lines before a run of one length that are as many as this and all of
// the records' kinds of byte are records of other lengths (numbers that
// grow a digit), not a preamble.
constexpr std::size_t FEWEST_LIKE_LINES = 3;
// Fewer lines before the run are records too when each splits at blanks
// into as many words as a record, at least this many, each a number where
// the record's is one and a word where it is one: a row whose first value
// is a digit shorter, not a title, a count or a row of names.
constexpr std::size_t FEWEST_SHAPED_WORDS = 3;
// The names a first line gives the character set by, as the hyphenation
// library, MyThes and hunspell read them (a list of such names, one a
// line, is records: the second line must not be one too).
constexpr std::size_t LONGEST_CHARSET_NAME = 24;
constexpr std::string_view CHARSET_NAMES[] = {"UTF-8",  "UTF8",         "ISO8859-", "ISO-8859-",
                                              "KOI8-",  "MICROSOFT-CP", "CP125",    "WINDOWS-125",
                                              "TIS620", "TIS-620",      "ISCII-"};
// A block of lines of another length before the records, this share as
// many as they are, is records of another kind: a molecule's atoms are
// about as many as its bonds, a picture's colours three in four of its
// rows at most in the corpus.
constexpr double NEARLY_AS_MANY_RECORDS = 0.85;
// A record length is claimed on the evidence of this many records at
// least: one line of a length shows no layout.
constexpr std::uint64_t FEWEST_RECORDS_FOR_LENGTH = 2;
// Closing lines without a delimiter after delimited records (a sequence
// after a table) are a trailer when they are this share of the lines at
// most (one in this many).
constexpr std::size_t MOST_CLOSING_ONE_IN = 2;
constexpr std::size_t LARGE_FILE_TEXT = std::size_t{1} << 18;
// Bytes of a comment's opening mark that a commented row of names starts
// with ("#CHROM\tPOS"); the names are the fields after them.
constexpr std::string_view NAME_MARKS = "#%!;/";
// A first line of at most this many digits, at least this count, within
// this share of the lines that follow (counted in a whole file, estimated
// from the sample's mean line in a larger one) states their number.
constexpr std::size_t MOST_COUNT_DIGITS = 12;
constexpr std::uint64_t FEWEST_STATED_LINES = 16;
constexpr double STATED_LINES_SLACK = 0.01;
constexpr double ESTIMATED_LINES_SLACK = 0.1;
// A size line before delimited records states a few numbers, one of them
// their count (a matrix's rows, columns and entries).
constexpr std::size_t MOST_SIZE_NUMBERS = 4;
// A first line of words over at least this many lines of one word each,
// but for this share of them, is their title (a word list's name).
constexpr std::size_t FEWEST_TITLED_LINES = 16;
// Runs of blanks and tabs between values are runs of tabs when no more
// than one in this many holds a blank (a row or two typed by hand).
constexpr std::size_t BLANK_RUNS_ONE_IN = 20;
constexpr double WORDY_LINE_SHARE = 0.01;
// Bytes that draw a table's grid in text, at least this many times in a
// line of it (at the columns' edges, or along a rule; a number's signs
// are no strokes, however many a record holds). At most this many lines that open a run of records,
// and one in this many of the run, are its heading.
constexpr std::string_view TABLE_RULES = "|-=+";
constexpr std::size_t RULES_A_LINE = 3;
// A heading's bars mark its columns' edges when they make at least two
// cells and the records keep blanks under them, but for one in a hundred
// (a value that overflows its cell).
constexpr char CELL_BAR = '|';
constexpr std::size_t FEWEST_CELL_BARS = 3;
constexpr double CROSSED_BARS_SHARE = 0.01;
// A rule of dashes or equals signs under the names, broken by blanks into
// at least this many strokes (a report writer's or a database shell's
// heading), gives each column's width the same way: a name of two words
// or a right-aligned number leaves gaps inside a column that only the
// rule spans.
constexpr std::string_view RULE_STROKES = "-=";
constexpr std::string_view RULE_GAPS = " \t\r+";
constexpr std::size_t FEWEST_RULE_STROKES = 2;
// A rule's strokes span its columns: at least this share of the line.
// A row of '-' values (a missing value in each column) spans a stroke a
// column and is a record.
constexpr double RULE_COVER = 0.5;
// A rule closing the records stands last or before one last line (a
// database shell's count of rows).
constexpr std::size_t MOST_LINES_AFTER_CLOSING_RULE = 1;
// A heading of a rule, the names and a rule under them (a grid's) is the
// longest one a rule closes.
constexpr std::size_t MOST_HEADING_RULE_LINE = 3;
constexpr std::size_t MOST_RULED_LINES = 8;
// A comment that opens or closes free text recurs in its body when its
// form (a label ending in a colon within this many bytes, else the whole
// line, at least this long) opens at least this many lines there.
constexpr std::size_t LONGEST_LABEL = 16;
constexpr std::size_t SHORTEST_FORM = 8;
constexpr std::size_t FEWEST_RECURRENCES = 2;
// A line of a comment's mark alone (the '%' between fortunes) that stands
// this many times among the records, a record after it, separates them:
// closing lines that hold one end the last record, they are no trailer.
constexpr std::size_t FEWEST_SEPARATORS = 3;
// A comment's mark is a byte or two ('%', '#', "//", "--").
constexpr std::size_t LONGEST_MARK = 2;
constexpr std::size_t RULED_LINES_ONE_IN = 2;

struct text_view {
    decoded_text decoded;
    std::vector<text_line> lines;
    // Lines [first, last) are the records' lines: no preamble before,
    // no closing comments after.
    std::size_t first = 0;
    std::size_t last = 0;
    bool whole_file = false;

    std::uint64_t file_offset(std::size_t decoded_at) const
    {
        return decoded.file_offset + decoded_at * decoded.unit_width;
    }
};

bool is_remark(std::string_view line)
{
    return is_blank_or_comment_line(line);
}

// A line that is the name of a character set alone ("ISO8859-2", "UTF-8",
// "KOI8-R"), as hyphenation patterns, thesauri and affix files begin:
// it tells how to read the records and is none of them.
bool names_a_charset(std::string_view line)
{
    std::size_t end = line.find_last_not_of(" \t\r");
    if (end == std::string_view::npos || end + 1 > LONGEST_CHARSET_NAME)
        return false;
    std::string name;
    for (char byte : line.substr(0, end + 1)) {
        if (!std::isalnum(static_cast<unsigned char>(byte)) && byte != '-' && byte != '_')
            return false;
        name += static_cast<char>(std::toupper(static_cast<unsigned char>(byte)));
    }
    return std::any_of(std::begin(CHARSET_NAMES), std::end(CHARSET_NAMES),
                       [&](std::string_view known) { return name.starts_with(known); });
}

text_view view_start(const file_sample& sample, const encoding_guess& guess,
                     const file_layout& layout, const kept_lines* kept)
{
    text_encoding encoding = layout.encoding;
    text_view view;
    view.whole_file = sample_is_whole_file(sample);
    std::size_t mark = std::min(guess.byte_order_mark, sample.start.size());
    // A file the start holds whole is read to its last line, for an exact
    // count; of a larger one, the first quarter MiB tells its shape, and
    // its later pieces its record lengths.
    byte_span text = sample.start.subspan(mark);
    if (!view.whole_file)
        text = text.first(std::min(text.size(), LARGE_FILE_TEXT));
    view.decoded = decode_text(text, mark, encoding);
    bool feeds_only = layout.terminator == line_terminator::lf;
    std::optional<std::span<const text_line>> shared;
    if (kept != nullptr && (!feeds_only || !kept->returns))
        shared = kept_lines_of(*kept, view.decoded.text, view.whole_file);
    if (shared) {
        view.lines.assign(shared->begin(), shared->end());
        std::size_t moved = static_cast<std::size_t>(view.decoded.text.data() - kept->text.data());
        for (std::size_t line = 0; moved > 0 && line < view.lines.size(); line++) {
            view.lines[line].start -= moved;
            view.lines[line].end -= moved;
        }
    } else {
        view.lines = split_text_lines(view.decoded.text, view.whole_file, feeds_only);
    }
    view.first = front_matter_lines(view.lines);
    if (view.first + 1 < view.lines.size() && names_a_charset(view.lines[view.first].text) &&
        !names_a_charset(view.lines[view.first + 1].text))
        view.first++;
    while (view.first < view.lines.size() && is_remark(view.lines[view.first].text))
        view.first++;
    view.last = view.lines.size();
    if (view.whole_file) {
        while (view.last > view.first && is_remark(view.lines[view.last - 1].text))
            view.last--;
    }
    return view;
}

// Closing comment and blank lines of a large file, seen in the piece at
// its end. Blank lines that fill the whole piece may begin before it:
// reaches_back says so, for --verify to find where.
// A line of a comment's mark and nothing else.
bool is_bare_mark(std::string_view line)
{
    if (!line.empty() && line.back() == '\r')
        line.remove_suffix(1);
    return !line.empty() && line.size() <= LONGEST_MARK && is_comment_line(line) &&
           line.find_first_of(" \t") == std::string_view::npos;
}

// Whether a bare mark among the closing lines stands often among the
// records: it separates them.
bool separates_records(const text_view& view, const std::vector<text_line>& closing,
                       std::size_t from)
{
    for (std::size_t line = from; line < closing.size(); line++) {
        std::string_view mark = closing[line].text;
        if (!is_bare_mark(mark))
            continue;
        std::size_t seen = 0;
        // A record follows a separator; a comment's spacer line is
        // followed by more comment.
        for (std::size_t body = view.first; body + 1 < view.last && seen < FEWEST_SEPARATORS;
             body++)
            seen += view.lines[body].text == mark && !is_remark(view.lines[body + 1].text);
        if (seen >= FEWEST_SEPARATORS)
            return true;
    }
    return false;
}

std::uint64_t closing_remarks(const file_sample& sample, const text_view& view,
                              text_encoding encoding, bool& reaches_back)
{
    reaches_back = false;
    if (sample.later.empty() || !sample.file_size)
        return 0;
    const sample_piece& end = sample.later.back();
    if (end.offset + end.bytes.size() != *sample.file_size)
        return 0;
    decoded_text decoded = decode_text(end.bytes, end.offset, encoding);
    std::vector<text_line> lines = split_text_lines(decoded.text, true);
    std::size_t last = lines.size();
    // The first line of the piece may be cut; it does not count.
    while (last > 1 && is_remark(lines[last - 1].text))
        last--;
    if (last == lines.size() || separates_records(view, lines, last))
        return 0;
    reaches_back =
        last == 1 && std::all_of(lines.begin() + 1, lines.end(),
                                 [](const text_line& line) { return is_blank_line(line.text); });
    return (decoded.text.size() - lines[last].start) * decoded.unit_width;
}

struct text_record {
    std::string_view text; // quoted line ends included, own line end not
    std::size_t start;     // in the decoded text
    std::size_t end;       // after its line end
};

std::vector<text_record> records_of(const text_view& view, std::optional<unsigned char> quote)
{
    std::vector<text_record> records;
    records.reserve(view.last - view.first);
    bool open = false;
    std::string_view text = view.decoded.text;
    for (std::size_t line = view.first; line < view.last; line++) {
        const text_line& each = view.lines[line];
        if (open) {
            text_record& last = records.back();
            last.text = text.substr(last.start, each.start + each.text.size() - last.start);
            last.end = each.end;
        } else {
            records.push_back({each.text, each.start, each.end});
        }
        if (ends_inside_quotes(each.text, quote))
            open = !open;
    }
    return records;
}

// The first line of the view that starts after the text ends.
std::size_t line_after(const text_view& view, std::string_view text)
{
    const char* end = text.data() + text.size();
    std::size_t line = view.first;
    while (line < view.last && view.lines[line].text.data() < end)
        line++;
    return line;
}

// The index of the record that starts where the text does.
std::size_t record_at(const std::vector<text_record>& records, std::string_view text)
{
    std::size_t record = 0;
    while (record < records.size() && records[record].text.data() < text.data())
        record++;
    return record;
}

// Sized for every line and cut down after: stores into room already
// made, where a push at each of the sample's lines calls out of line.
std::vector<std::string_view> line_texts(const text_view& view)
{
    std::vector<std::string_view> texts(view.last - view.first);
    std::size_t kept = 0;
    for (std::size_t line = view.first; line < view.last; line++) {
        if (!is_remark(view.lines[line].text))
            texts[kept++] = view.lines[line].text;
    }
    texts.resize(kept);
    return texts;
}

// How many lines have each length (or each offset, each value): a slot
// for each of the short lengths that lines have, a map for any longer; a
// map alone costs a walk down its tree for every line.
class length_counts
{
  public:
    // The map's insertion kept out of line: most calls, at every value
    // of every line, take a slot and stay in their caller.
    [[gnu::always_inline]] void add(std::uint64_t length)
    {
        if (length >= SLOTS) {
            add_longer(length);
            return;
        }
        distinct_ += slots_[length] == 0;
        slots_[length]++;
    }

    // Lengths seen.
    std::size_t size() const
    {
        return distinct_;
    }

    // The length most lines have, the shortest of those tied.
    std::uint64_t commonest() const
    {
        std::uint64_t best = 0, best_count = 0;
        for (std::uint64_t length = 0; length < SLOTS; length++) {
            if (slots_[length] > best_count) {
                best = length;
                best_count = slots_[length];
            }
        }
        for (auto [length, count] : longer_) {
            if (count > best_count) {
                best = length;
                best_count = count;
            }
        }
        return best;
    }

    std::uint64_t most() const
    {
        std::uint64_t commonest_length = commonest();
        return commonest_length < SLOTS ? slots_[commonest_length] : longer_.at(commonest_length);
    }

    // Each length seen and its count, shortest first.
    template <typename Visit> void each(Visit visit) const
    {
        for (std::uint64_t length = 0; length < SLOTS; length++) {
            if (slots_[length] != 0)
                visit(length, slots_[length]);
        }
        for (auto [length, count] : longer_)
            visit(length, count);
    }

  private:
    [[gnu::noinline]] void add_longer(std::uint64_t length)
    {
        std::uint64_t& count = longer_[length];
        distinct_ += count == 0;
        count++;
    }

    // Lines longer than this are rare (a matter of speed alone).
    static constexpr std::uint64_t SLOTS = 1024;
    std::vector<std::uint64_t> slots_ = std::vector<std::uint64_t>(SLOTS, 0);
    std::map<std::uint64_t, std::uint64_t> longer_;
    std::size_t distinct_ = 0;
};

// How blanks lie between values: whether many gaps are wider than one
// blank (values padded to line up), and whether values start at the same
// offsets in most lines.
struct blank_gaps {
    bool wide = false;
    bool lined_up = false;
};

// Values (runs of bytes that are not blank) counted 64 bytes of a line at
// a time: a value starts at a byte that is not blank after one that is,
// or at the line's start; each start after the line's first ends a gap,
// a wide one where the byte two before it is blank too.
blank_gaps measure_gaps(const std::vector<std::string_view>& lines)
{
    static const either_marks_kernel mark_blanks = usable_byte_kernels().back().either_marks;
    std::uint64_t gaps = 0, wide = 0;
    length_counts value_starts;
    for (std::string_view line : lines) {
        std::uint64_t before = 0; // the last two bytes of the block before, as values
        bool first = true;
        for (std::size_t from = 0; from < line.size(); from += 64) {
            std::size_t count = std::min<std::size_t>(64, line.size() - from);
            std::uint64_t inside =
                count == 64 ? ~std::uint64_t{0} : (std::uint64_t{1} << count) - 1;
            std::uint64_t values =
                ~mark_blanks(reinterpret_cast<const unsigned char*>(line.data() + from), count, ' ',
                             '\t') &
                inside;
            std::uint64_t starts = values & ~(values << 1 | before >> 63);
            std::uint64_t wide_starts = starts & ~(values << 2 | before >> 62);
            before = values;
            if (starts == 0)
                continue;
            if (first)
                wide_starts &= starts - 1;
            gaps -= first;
            first = false;
            for (; starts != 0; starts &= starts - 1) {
                gaps++;
                value_starts.add(from + static_cast<std::uint64_t>(std::countr_zero(starts)));
            }
            for (; wide_starts != 0; wide_starts &= wide_starts - 1)
                wide++;
        }
    }
    std::size_t lined_up = 0;
    value_starts.each([&](std::uint64_t offset, std::uint64_t count) {
        lined_up += offset > 0 && count * 100 >= lines.size() * LINED_UP_PERCENT;
    });
    return {gaps > 0 && wide * 100 >= gaps * WIDE_GAP_PERCENT, lined_up >= FEWEST_LINED_UP_OFFSETS};
}

bool mostly_one_length(const std::vector<std::string_view>& lines)
{
    length_counts lengths;
    for (std::string_view line : lines)
        lengths.add(line.size());
    return lengths.most() * 100 >= lines.size() * ONE_LENGTH_PERCENT;
}

// The field counts records regularly have: the usual one, and any other
// of two or more that a twentieth of the records have (a column some leave
// out). Fewer records than that with a count are anomalies, or a preamble.
struct field_range {
    std::uint32_t fewest;
    std::uint32_t most;
    bool holds(std::uint32_t fields) const
    {
        return fields >= fewest && fields <= most;
    }
};

// Each record's count of fields, worked out when first asked: the steps
// that weigh the records' shapes ask the same records again.
class field_counts
{
  public:
    field_counts(const std::vector<text_record>& records, const field_rule& rule)
        : records_(records), rule_(rule), counts_(records.size(), UNKNOWN)
    {
    }

    std::uint32_t of(std::size_t record)
    {
        std::uint32_t& count = counts_[record];
        if (count == UNKNOWN)
            count = count_fields(records_[record].text, rule_);
        return count;
    }

  private:
    static constexpr std::uint32_t UNKNOWN = ~std::uint32_t{0};
    const std::vector<text_record>& records_;
    field_rule rule_;
    std::vector<std::uint32_t> counts_;
};

field_range regular_fields(const std::vector<text_record>& records, field_counts& fields_of,
                           std::uint32_t usual)
{
    std::map<std::uint32_t, std::size_t> counts;
    std::size_t weighed = 0;
    for (std::size_t record = 0; record < records.size() && weighed < MOST_RECORDS_FOR_SHAPES;
         record++) {
        if (is_remark(records[record].text))
            continue;
        counts[fields_of.of(record)]++;
        weighed++;
    }
    std::size_t lone = static_cast<std::size_t>(std::count_if(
        counts.begin(), counts.end(), [](const auto& count) { return count.second == 1; }));
    field_range range{usual, usual};
    for (auto [fields, seen] : counts) {
        if (fields >= FEWEST_FIELDS && (seen > 1 || lone > 1) &&
            seen * REGULAR_COUNT_ONE_IN >= weighed) {
            range.fewest = std::min(range.fewest, fields);
            range.most = std::max(range.most, fields);
        }
    }
    return range;
}

// Leading records of a shape the records do not have: a title, a note,
// the declarations before a table. Half the records at most, so that a
// file of two kinds of record is not taken for a preamble.
std::size_t title_records(const std::vector<text_record>& records, field_counts& fields_of,
                          field_range range)
{
    std::size_t titles = 0;
    while (titles < records.size() && MOST_TITLES_ONE_IN * (titles + 1) <= records.size() &&
           (is_remark(records[titles].text) || !range.holds(fields_of.of(titles))))
        titles++;
    std::map<std::uint32_t, std::size_t> later;
    std::size_t weighed = 0;
    for (std::size_t record = titles; record < records.size() && weighed < MOST_RECORDS_FOR_SHAPES;
         record++) {
        if (!is_remark(records[record].text)) {
            later[fields_of.of(record)]++;
            weighed++;
        }
    }
    for (std::size_t record = 0; record < titles; record++) {
        if (is_remark(records[record].text))
            continue;
        std::size_t like = later[fields_of.of(record)];
        if (like > 0 && like * TITLE_COUNT_ONE_IN >= weighed)
            return record;
    }
    return titles;
}

bool mostly_empty(std::string_view record, const field_rule& rule, std::uint32_t usual)
{
    // One buffer for the fields of every record weighed.
    thread_local std::vector<std::string_view> fields;
    fields.clear();
    append_fields(record, rule, fields);
    std::size_t filled = static_cast<std::size_t>(
        std::count_if(fields.begin(), fields.end(), [](std::string_view field) {
            return field.find_first_not_of(" \t\r\"") != std::string_view::npos;
        }));
    return 2 * filled < usual;
}

// Whether a value opens as a number does (a digit, a sign, a point).
bool opens_as_number(std::string_view field)
{
    std::size_t first = field.find_first_not_of(" \t\r\"");
    if (first == std::string_view::npos)
        return false;
    char lead = field[first];
    return (lead >= '0' && lead <= '9') || lead == '-' || lead == '+' || lead == '.';
}

// A setting names itself first; a row of numbers padded with empty fields
// is the table's (a grid's axis before its rows).
bool leads_with_number(std::string_view record, const field_rule& rule)
{
    thread_local std::vector<std::string_view> fields;
    fields.clear();
    append_fields(record, rule, fields);
    for (std::string_view field : fields) {
        if (field.find_first_not_of(" \t\r\"") != std::string_view::npos)
            return opens_as_number(field);
    }
    return false;
}

// Whether the runs that part the values of records are tabs alone.
bool parted_by_tabs(std::span<const text_record> records)
{
    std::size_t runs = 0, with_blanks = 0, weighed = 0;
    for (const text_record& record : records) {
        if (is_remark(record.text))
            continue;
        if (weighed++ == MOST_RECORDS_FOR_SHAPES)
            break;
        std::string_view text = record.text;
        std::size_t at = text.find_first_not_of(" \t\r");
        while (at != std::string_view::npos) {
            std::size_t gap = text.find_first_of(" \t", at);
            if (gap == std::string_view::npos)
                break;
            std::size_t next = text.find_first_not_of(" \t\r", gap);
            if (next == std::string_view::npos)
                break;
            runs++;
            with_blanks += text.substr(gap, next - gap).find(' ') != std::string_view::npos;
            at = next;
        }
    }
    return runs > 0 && with_blanks * BLANK_RUNS_ONE_IN <= runs;
}

// The records of a padded preamble of settings, or none: the records up to
// the first run of filled ones, when the first is a setting, at most one
// is filled (a row of names among the settings) and nearly all after are
// filled.
std::size_t padded_settings(const std::vector<text_record>& records, const field_rule& rule,
                            std::uint32_t usual)
{
    // Comment lines stand anywhere; a row of names or of values first
    // opens the table itself.
    auto setting = [&](const text_record& record) {
        return is_remark(record.text) || mostly_empty(record.text, rule, usual);
    };
    if (records.empty() || !setting(records[0]) || leads_with_number(records[0].text, rule))
        return 0;
    std::vector<bool> empty;
    for (std::size_t record = 0; record < records.size() && record < MOST_RECORDS_FOR_SHAPES;
         record++)
        empty.push_back(setting(records[record]));
    std::size_t start = 0, filled_before = 0;
    while (start < empty.size()) {
        std::size_t run = 0;
        while (start + run < empty.size() && !empty[start + run])
            run++;
        if (run >= FEWEST_FILLED_RUN)
            break;
        filled_before += run;
        start += run + 1;
    }
    if (start == 0 || start >= empty.size() || filled_before > 1)
        return 0;
    std::size_t filled_after = static_cast<std::size_t>(
        std::count(empty.begin() + static_cast<std::ptrdiff_t>(start), empty.end(), false));
    return static_cast<double>(filled_after) >=
                   FILLED_AFTER_SHARE * static_cast<double>(empty.size() - start)
               ? start
               : 0;
}

// Whether a record's values stand as the next record's do, field for
// field a number where it has one: a row of the table whose values are
// only shorter, not a line about it.
bool like_the_next(const text_record& record, const text_record& next, const field_rule& rule)
{
    std::vector<std::string_view> fields = split_fields(record.text, rule);
    std::vector<std::string_view> next_fields = split_fields(next.text, rule);
    if (fields.size() != next_fields.size())
        return false;
    for (std::size_t field = 0; field < fields.size(); field++) {
        if (opens_as_number(fields[field]) != opens_as_number(next_fields[field]))
            return false;
    }
    return true;
}

// A first record longer or shorter than all the rest, which are of one
// length, and that does not name the columns, is a line about the table (a
// count of its rows, say) rather than one of its records, unless its
// values stand as theirs do.
bool first_is_a_note(std::span<const text_record> records, bool names, const field_rule& rule)
{
    if (names || records.size() < FEWEST_RECORDS_FOR_NOTE)
        return false;
    std::size_t length = records[1].end - records[1].start;
    for (std::size_t record = 2; record + 1 < records.size(); record++) {
        if (records[record].end - records[record].start != length)
            return false;
    }
    return records[0].end - records[0].start != length &&
           !like_the_next(records[0], records[1], rule);
}

bool quote_is_used(const std::vector<text_record>& records, const field_rule& rule)
{
    if (!rule.quote)
        return false;
    // One vector for every record's fields: no allocation for each.
    std::vector<std::string_view> fields;
    for (std::size_t record = 0; record < records.size() && record < MOST_ROWS_FOR_NAMES;
         record++) {
        fields.clear();
        append_fields(records[record].text, rule, fields);
        for (std::string_view field : fields) {
            std::size_t first = field.find_first_not_of(' ');
            if (first != std::string_view::npos &&
                static_cast<unsigned char>(field[first]) == *rule.quote && field.size() > first + 1)
                return true;
        }
    }
    return false;
}

bool first_names_columns(std::span<const text_record> records, const field_rule& rule)
{
    std::vector<std::vector<std::string_view>> rows;
    for (std::size_t record = 0; record < records.size() && rows.size() < MOST_ROWS_FOR_NAMES;
         record++) {
        if (!is_remark(records[record].text))
            rows.push_back(split_fields(records[record].text, rule));
    }
    return choose_header_row(rows).choice;
}

// A first record one field short of the rest that names their columns
// but the first is R's row of names over row names (read.table: "the
// first column is taken to be the row names"): a row of names, not a
// title.
bool names_all_but_the_first(std::span<const text_record> records, const field_rule& rule,
                             std::uint32_t fields)
{
    if (records.size() < 2 || is_remark(records[0].text))
        return false;
    std::vector<std::vector<std::string_view>> rows;
    rows.push_back({std::string_view{}});
    for (std::string_view name : split_fields(records[0].text, rule))
        rows.front().push_back(name);
    if (rows.front().size() != fields)
        return false;
    for (std::size_t record = 1; record < records.size() && rows.size() < MOST_ROWS_FOR_NAMES;
         record++) {
        if (!is_remark(records[record].text))
            rows.push_back(split_fields(records[record].text, rule));
    }
    return choose_header_row(rows).choice;
}

bool first_names_fixed_columns(const std::vector<std::string_view>& texts,
                               const std::vector<column_span>& columns)
{
    std::vector<std::vector<std::string_view>> rows;
    for (std::size_t record = 0; record < texts.size() && rows.size() < MOST_ROWS_FOR_NAMES;
         record++) {
        std::vector<std::string_view> row;
        for (column_span column : columns) {
            if (column.end <= texts[record].size())
                row.push_back(texts[record].substr(column.start, column.end - column.start));
        }
        rows.push_back(row);
    }
    return choose_header_row(rows).choice;
}

// The opening mark of a comment line: the run of its first byte.
std::string_view comment_mark(std::string_view line)
{
    std::size_t start = std::min(line.size(), line.find_first_not_of(" \t"));
    std::size_t end = start;
    while (end < line.size() && line[end] == line[start] &&
           NAME_MARKS.find(line[end]) != std::string_view::npos)
        end++;
    return line.substr(start, end - start);
}

// The comment line just before the records, when it splits as they do
// and names their columns, and the meta lines before it open with a longer
// run of its mark: the row of names of a table whose program reads past
// comments (the "#CHROM" line under the "##" lines of a VCF file). A
// comment among comments of one mark is a note, whatever it says. Its
// index among the lines, or 0 for none.
std::size_t commented_names_line(const text_view& view, std::span<const text_record> data,
                                 const field_rule& rule, field_range range)
{
    if (view.first < 2 || data.empty() || !is_comment_line(view.lines[view.first - 1].text))
        return 0;
    std::string_view line = view.lines[view.first - 1].text;
    std::string_view mark = comment_mark(line);
    std::string_view meta = comment_mark(view.lines[view.first - 2].text);
    if (mark.empty() || meta.size() <= mark.size() || meta.front() != mark.front())
        return 0;
    line.remove_prefix(static_cast<std::size_t>(mark.data() + mark.size() - line.data()));
    std::vector<std::string_view> names = split_fields(line, rule);
    if (names.empty() || !range.holds(static_cast<std::uint32_t>(names.size())))
        return 0;
    std::vector<std::vector<std::string_view>> rows{names};
    for (std::size_t record = 0; record < data.size() && rows.size() < MOST_ROWS_FOR_NAMES;
         record++) {
        if (!is_remark(data[record].text))
            rows.push_back(split_fields(data[record].text, rule));
    }
    return choose_header_row(rows).choice ? view.first - 1 : 0;
}

// Where the closing lines that the delimiter does not split begin, or
// view.last: the lines before must hold the delimiter, and no quote may
// join the closing lines to a record.
std::size_t closing_lines(const text_view& view, const field_rule& rule)
{
    if (!view.whole_file || rule.quote)
        return view.last;
    std::size_t end = view.last, closing = 0;
    while (end > view.first && (is_remark(view.lines[end - 1].text) ||
                                count_fields(view.lines[end - 1].text, rule) == 1)) {
        closing += !is_remark(view.lines[end - 1].text);
        end--;
    }
    if (closing == 0 || MOST_CLOSING_ONE_IN * (view.last - end) > view.last - view.first)
        return view.last;
    return end;
}

// Lengths in bytes of the file, line end included, of the records the
// start holds whole; later pieces' lines too, unless their line ends may
// lie inside quotes. Lines of the trailer (blank lines, often many) are
// not records: counted, they would make the usual length theirs.
void measure_records(const file_sample& sample, const text_view& view,
                     const std::vector<text_record>& records, std::size_t first,
                     bool quoted_line_ends, file_layout& layout)
{
    length_counts lengths;
    std::uint64_t unit = view.decoded.unit_width;
    std::uint64_t terminated = 0, bytes = 0;
    std::uint64_t records_end =
        sample.file_size ? *sample.file_size - std::min(*sample.file_size, layout.trailer_length)
                         : UINT64_MAX;
    // The last line of a file may lack its line end and be a record all
    // the same; with one, it has the others' length or they have none.
    std::optional<std::uint64_t> unterminated;
    for (std::size_t record = first; record < records.size(); record++) {
        if (view.file_offset(records[record].start) >= records_end)
            continue;
        if (records[record].end == records[record].start + records[record].text.size()) {
            if (!is_remark(records[record].text))
                unterminated = (records[record].end - records[record].start) * unit;
            continue;
        }
        std::uint64_t length = (records[record].end - records[record].start) * unit;
        lengths.add(length);
        terminated++;
        bytes += length;
    }
    std::uint64_t in_start = lengths.size();
    if (!quoted_line_ends) {
        std::vector<std::vector<line_span>> later =
            later_lines(sample, 0, layout.terminator, layout.encoding);
        for (std::size_t piece = 0; piece < later.size(); piece++) {
            for (const line_span& line : later[piece]) {
                bool last_piece = piece + 1 == later.size();
                if ((line.terminated || !last_piece) && line.offset < records_end) {
                    lengths.add(line.length);
                    terminated++;
                    bytes += line.length;
                }
            }
        }
    }
    layout.usual_length = lengths.commonest();
    std::uint64_t line_end = unit * (layout.terminator == line_terminator::crlf ? 2 : 1);
    // Behind a preamble, two lines of one length are as likely chance.
    std::uint64_t fewest = layout.header_length > view.decoded.file_offset
                               ? FEWEST_FIXED_LINES
                               : FEWEST_RECORDS_FOR_LENGTH;
    if (lengths.size() == 1 && in_start == 1 && terminated >= fewest &&
        (!unterminated || *unterminated + line_end == layout.usual_length))
        layout.record_length = layout.usual_length;
    if (view.whole_file) {
        // Comments and blank lines among the records are not records.
        layout.records =
            std::count_if(records.begin() + static_cast<std::ptrdiff_t>(first), records.end(),
                          [](const text_record& record) { return !is_remark(record.text); });
        return;
    }
    if (!sample.file_size || terminated == 0)
        return;
    std::uint64_t body = *sample.file_size - layout.header_length - layout.trailer_length;
    if (layout.record_length && body % *layout.record_length == 0) {
        layout.records = body / *layout.record_length;
        return;
    }
    layout.records =
        static_cast<std::uint64_t>(static_cast<double>(body) * terminated / bytes + 0.5);
    layout.records_estimated = true;
}

// Lines that are all blank are the records themselves, not a trailer.
std::uint64_t trailer_of(const file_sample& sample, const text_view& view, file_layout& layout)
{
    if (view.whole_file) {
        if (view.last >= view.lines.size() || separates_records(view, view.lines, view.last))
            return 0;
        return view.file_offset(view.decoded.text.size()) -
               view.file_offset(view.lines[view.last].start);
    }
    if (!layout.delimiter && layout.usual_length == 0)
        return 0;
    return closing_remarks(sample, view, layout.encoding, layout.trailer_may_start_earlier);
}

// Free text with no preamble that ends in blank lines ends as prose does,
// not with a trailer: nothing marks off either end from the text.
bool ends_in_blank_lines(const text_view& view)
{
    if (!view.whole_file || view.last >= view.lines.size())
        return false;
    return std::all_of(view.lines.begin() + static_cast<std::ptrdiff_t>(view.last),
                       view.lines.end(), [](const auto& line) { return is_blank_line(line.text); });
}

// Whether the whole lines of the later pieces have the records' length, as
// the lines of the start must: but for damage (lines of lengths of their
// own, one in a hundred at most) and a trailer (a total, a trailer record)
// of as many lines of other lengths as MOST_TRAILING_LINES at the end of
// the piece that ends the file; and that trailer's bytes.
std::optional<std::uint64_t> later_pieces_fit(const file_sample& sample, const file_layout& layout,
                                              std::uint64_t length, std::uint64_t terminator)
{
    std::vector<std::vector<line_span>> pieces =
        later_lines(sample, 0, layout.terminator, layout.encoding);
    std::uint64_t trailer = 0, lines = 0, misfits = 0;
    std::map<std::uint64_t, std::size_t> others;
    for (std::size_t each = 0; each < pieces.size(); each++) {
        const std::vector<line_span>& piece = pieces[each];
        const sample_piece& bytes = sample.later[each];
        bool ends_file = sample.file_size && bytes.offset + bytes.bytes.size() == *sample.file_size;
        auto is_record = [&](const line_span& line) {
            return line.length + (line.terminated ? 0 : terminator) == length;
        };
        std::size_t end = piece.size();
        while (ends_file && end > 0 && piece.size() - end < MOST_TRAILING_LINES &&
               !is_record(piece[end - 1])) {
            trailer += piece[end - 1].length;
            end--;
        }
        for (std::size_t line = 0; line < end; line++) {
            lines++;
            if (piece[line].terminated && piece[line].length != length &&
                (++misfits, ++others[piece[line].length] >= RECURRING_OTHER_LENGTH))
                return std::nullopt;
        }
    }
    if (static_cast<double>(lines - misfits) < LEAST_RUN_SHARE * static_cast<double>(lines))
        return std::nullopt;
    return trailer;
}

// Free text: every line after the preamble and before the trailer a
// record (every line, without them), counted when the start is the whole
// file and estimated from the usual length otherwise.
void count_free_lines(const file_sample& sample, const text_view& view, std::size_t first,
                      std::uint64_t length, bool preamble, file_layout& layout)
{
    if (view.whole_file) {
        layout.records = preamble
                             ? static_cast<std::uint64_t>(std::count_if(
                                   view.lines.begin() + static_cast<std::ptrdiff_t>(first),
                                   view.lines.begin() + static_cast<std::ptrdiff_t>(view.last),
                                   [](const text_line& line) { return !is_remark(line.text); }))
                             : view.lines.size();
        return;
    }
    if (!sample.file_size || length == 0)
        return;
    layout.records = (*sample.file_size - layout.header_length) / length;
    layout.records_estimated = true;
}

// The form of a comment line that may recur: its label up to a colon
// near its start ("# Issuer:"), else the whole line (a marker such as
// "-----END CERTIFICATE-----").
std::string_view comment_form(std::string_view line)
{
    std::size_t colon = line.find(':');
    return colon < LONGEST_LABEL ? line.substr(0, colon + 1) : line;
}

// Whether the first comment line among lines from to to, in its form,
// opens at least a few lines of the text's body as well.
bool remarks_recur(const text_view& view, std::size_t from, std::size_t to)
{
    std::string_view form;
    for (std::size_t line = from; line < to && line < view.lines.size() && form.empty(); line++) {
        if (is_comment_line(view.lines[line].text))
            form = comment_form(view.lines[line].text);
    }
    if (form.size() < SHORTEST_FORM)
        return false;
    std::size_t seen = 0;
    for (std::size_t line = view.first; line < view.last && seen < FEWEST_RECURRENCES; line++)
        seen += view.lines[line].text.substr(0, form.size()) == form;
    return seen >= FEWEST_RECURRENCES;
}

// Free text of which a fair share of lines start with blanks is indented,
// as program source is: its comments are text like the rest, not a
// preamble.
bool is_indented(const text_view& view)
{
    std::size_t lines = 0, indented = 0;
    for (std::size_t line = view.first; line < view.last; line++) {
        std::string_view text = view.lines[line].text;
        if (is_remark(text))
            continue;
        lines++;
        indented += text.front() == ' ' || text.front() == '\t';
    }
    return indented * INDENTED_ONE_IN >= lines && lines > 0;
}

std::uint64_t length_of(const text_view& view, std::size_t line)
{
    return (view.lines[line].end - view.lines[line].start) * view.decoded.unit_width;
}

// The numbers a line holds when it holds numbers alone, at most most of
// them, parted by blanks, tabs or commas; none otherwise.
std::vector<std::uint64_t> numbers_alone(std::string_view text, std::size_t most)
{
    std::vector<std::uint64_t> numbers;
    std::size_t at = 0;
    while (at < text.size()) {
        std::size_t from = text.find_first_not_of(" \t\r,", at);
        if (from == std::string_view::npos)
            break;
        std::size_t end = text.find_first_of(" \t\r,", from);
        end = end == std::string_view::npos ? text.size() : end;
        if (end - from > MOST_COUNT_DIGITS || numbers.size() == most)
            return {};
        std::uint64_t number = 0;
        for (std::size_t digit = from; digit < end; digit++) {
            if (text[digit] < '0' || text[digit] > '9')
                return {};
            number = number * 10 + static_cast<std::uint64_t>(text[digit] - '0');
        }
        numbers.push_back(number);
        at = end;
    }
    return numbers;
}

// The number a setting names, where a line is that alone: a name, a '='
// or ':' or a blank, a whole number (`ncolors = 256`).
std::vector<std::uint64_t> labelled_number(std::string_view text)
{
    std::size_t at = text.find_first_not_of(" \t");
    if (at == std::string_view::npos || !std::isalpha(static_cast<unsigned char>(text[at])))
        return {};
    while (at < text.size() && (std::isalnum(static_cast<unsigned char>(text[at])) ||
                                text[at] == '_' || text[at] == '.' || text[at] == '-'))
        at++;
    std::size_t sign = text.find_first_not_of(" \t", at);
    if (sign != std::string_view::npos && (text[sign] == '=' || text[sign] == ':'))
        at = sign + 1;
    else if (sign == at)
        return {};
    std::vector<std::uint64_t> number = numbers_alone(text.substr(at), 1);
    return number.size() == 1 ? number : std::vector<std::uint64_t>{};
}

// Whether one of the numbers a line holds states how many lines follow
// it: a word list's count, a matrix's size line (rows, columns, entries),
// a setting of the count, as a binary header's count does.
bool states_line_count(const file_sample& sample, const text_view& view, const file_layout& layout,
                       std::size_t at, std::size_t most_numbers)
{
    if (at + 1 >= view.last)
        return false;
    std::vector<std::uint64_t> stated = numbers_alone(view.lines[at].text, most_numbers);
    if (stated.empty())
        stated = labelled_number(view.lines[at].text);
    if (std::none_of(stated.begin(), stated.end(),
                     [](std::uint64_t each) { return each >= FEWEST_STATED_LINES; }))
        return false;
    std::uint64_t lines = 0, bytes = 0;
    for (std::size_t line = at + 1; line < view.last; line++) {
        lines += !is_remark(view.lines[line].text);
        bytes += length_of(view, line);
    }
    double following = static_cast<double>(lines), slack = STATED_LINES_SLACK;
    if (!view.whole_file) {
        // The later pieces' lines too: a sorted list's words grow or
        // shrink along the file.
        for (const auto& piece : later_lines(sample, 0, layout.terminator, layout.encoding)) {
            for (const line_span& line : piece) {
                lines += line.terminated;
                bytes += line.terminated ? line.length : 0;
            }
        }
        if (!sample.file_size || bytes == 0)
            return false;
        std::uint64_t after = view.file_offset(view.lines[at + 1].start);
        following = static_cast<double>(*sample.file_size - std::min(after, *sample.file_size)) *
                    static_cast<double>(lines) / static_cast<double>(bytes);
        slack = ESTIMATED_LINES_SLACK;
    }
    return std::any_of(stated.begin(), stated.end(), [&](std::uint64_t each) {
        double count = static_cast<double>(each);
        return each >= FEWEST_STATED_LINES && following >= count * (1 - slack) &&
               following <= count * (1 + slack);
    });
}

// Whether a record holds whole numbers alone, and how many.
std::size_t whole_numbers(const text_record& record, const field_rule& rule)
{
    std::vector<std::string_view> fields = split_fields(record.text, rule);
    for (std::string_view field : fields) {
        std::size_t first = field.find_first_not_of(" \t\r");
        if (first == std::string_view::npos ||
            !std::all_of(field.begin() + static_cast<std::ptrdiff_t>(first), field.end(),
                         [](char byte) { return (byte >= '0' && byte <= '9') || byte == '\r'; }))
            return 0;
    }
    return fields.size();
}

// Whether the first of the records is a size line: numbers alone, one of
// which counts the lines after it, or a setting of the count, in a shape
// the next record does not have. A record of whole numbers like the rest
// (a colour map's first entry, 255 in a map of 256) only happens to hold
// the count.
bool states_record_count(const file_sample& sample, const text_view& view,
                         const file_layout& layout, std::span<const text_record> records,
                         const field_rule& rule)
{
    if (records.size() < 2)
        return false;
    std::size_t numbers = whole_numbers(records[0], rule);
    bool labelled =
        !labelled_number(records[0].text).empty() && labelled_number(records[1].text).empty();
    if ((numbers == 0 && !labelled) || (numbers != 0 && numbers == whole_numbers(records[1], rule)))
        return false;
    auto line = std::lower_bound(
        view.lines.begin(), view.lines.end(), records[0].start,
        [](const text_line& each, std::size_t start) { return each.start < start; });
    if (line == view.lines.end() || line->start != records[0].start)
        return false;
    return states_line_count(sample, view, layout,
                             static_cast<std::size_t>(line - view.lines.begin()),
                             MOST_SIZE_NUMBERS);
}

// A blank between two other bytes.
bool parts_words(std::string_view line)
{
    std::size_t first = line.find_first_not_of(" \t\r");
    std::size_t last = line.find_last_not_of(" \t\r");
    if (first == std::string_view::npos)
        return false;
    std::string_view words = line.substr(first, last - first + 1);
    return words.find_first_of(" \t") != std::string_view::npos;
}

bool titles_the_lines(const text_view& view)
{
    if (view.first >= view.last || !parts_words(view.lines[view.first].text))
        return false;
    std::size_t lines = 0, wordy = 0;
    for (std::size_t line = view.first + 1; line < view.last; line++) {
        std::string_view text = view.lines[line].text;
        if (is_remark(text))
            continue;
        lines++;
        wordy += parts_words(text);
    }
    return lines >= FEWEST_TITLED_LINES &&
           static_cast<double>(wordy) <= WORDY_LINE_SHARE * static_cast<double>(lines);
}

// The records of one length: the lines from the first of a run of lines of
// length to the last, which may be followed by a line or two of another
// length (a blank line, a total) but by nothing else. Lines before the
// run, of any length and number, are a preamble (a description, a title,
// the column names). Returns [first, last) of the run, or first == last.
struct line_run {
    // Where a ruled heading of the records' length starts, if any, else
    // first.
    std::size_t heading = 0;
    std::size_t first = 0;
    std::size_t last = 0;
    std::size_t records = 0;
};

// A '-' or '+' before a digit or a decimal point is a number's sign or a
// date's or an exponent's mark ("-1.5", "2024-03-05", "1e+03"), which
// draws no grid.
bool is_sign(std::string_view line, std::size_t at)
{
    if (line[at] != '-' && line[at] != '+')
        return false;
    std::size_t next = at + 1;
    return next < line.size() && ((line[next] >= '0' && line[next] <= '9') || line[next] == '.');
}

// The ASCII bytes that draw a table's grid, as a set of bits: those the
// line holds at least least times. Signs count only when signs is set: a
// line has a grid's strokes only without them, but a later record's
// signs are the byte all the same.
unsigned rules_in(std::string_view line, std::size_t least, bool signs)
{
    static const held_bytes_kernel held = usable_byte_kernels().back().held_bytes;
    static_assert(TABLE_RULES.size() == 4, "held_bytes looks for four bytes");
    unsigned found = 0;
    // Whether the line holds the byte at all is asked of every line of
    // the sample: one pass looks for all four.
    if (least == 1 && signs)
        return held(reinterpret_cast<const unsigned char*>(line.data()), line.size(),
                    reinterpret_cast<const unsigned char*>(TABLE_RULES.data()));
    for (std::size_t kind = 0; kind < TABLE_RULES.size(); kind++) {
        std::size_t count = 0;
        for (std::size_t at = 0; at < line.size(); at++)
            count += line[at] == TABLE_RULES[kind] && (signs || !is_sign(line, at));
        found |= count >= least ? 1u << kind : 0u;
    }
    return found;
}

// The cells between the bars of a ruled heading's first line, where the
// records keep a blank under every bar: the heading, not the values'
// widths, says where each column starts and ends.
// Whether the records keep a blank at each of the offsets (or a bar, where
// bars may stand between their cells), but for the share of them
// CROSSED_BARS_SHARE allows.
bool kept_blank(const std::vector<std::string_view>& texts, const std::vector<std::uint32_t>& at,
                bool or_bar)
{
    std::size_t crossed = 0;
    for (std::string_view text : texts) {
        crossed += std::any_of(at.begin(), at.end(), [text, or_bar](std::uint32_t each) {
            return each < text.size() && text[each] != ' ' && text[each] != '\t' &&
                   (!or_bar || text[each] != CELL_BAR);
        });
    }
    return static_cast<double>(crossed) <= CROSSED_BARS_SHARE * static_cast<double>(texts.size());
}

// A line of strokes alone, RULES_A_LINE of them at least, broken only by
// blanks or a grid's joints: the rule under a report's names or around a
// grid's heading, which no record is, whatever signs or dates' dashes the
// records hold.
bool is_stroke_rule(std::string_view line)
{
    std::size_t strokes = 0;
    for (char byte : line) {
        if (RULE_STROKES.find(byte) != std::string_view::npos)
            strokes++;
        else if (RULE_GAPS.find(byte) == std::string_view::npos)
            return false;
    }
    std::size_t width = line.find_last_not_of(" \t\r") + 1;
    return strokes >= RULES_A_LINE &&
           static_cast<double>(strokes) >= RULE_COVER * static_cast<double>(width);
}

// The strokes of a rule line under the names, as cells, where the records
// keep blanks between them; none when the line is no such rule.
std::vector<column_span> cells_of_rule(std::string_view rule,
                                       const std::vector<std::string_view>& texts)
{
    if (!is_stroke_rule(rule))
        return {};
    std::size_t end = rule.find_last_not_of(" \t\r");
    std::vector<column_span> cells;
    std::vector<std::uint32_t> gaps;
    for (std::size_t at = 0; at <= end; at++) {
        bool stroke = RULE_STROKES.find(rule[at]) != std::string_view::npos;
        if (!stroke && !cells.empty())
            gaps.push_back(static_cast<std::uint32_t>(at));
        else if (stroke && (cells.empty() || cells.back().end != at))
            cells.push_back({static_cast<std::uint32_t>(at), static_cast<std::uint32_t>(at + 1)});
        else if (stroke)
            cells.back().end++;
    }
    if (cells.size() < FEWEST_RULE_STROKES || !kept_blank(texts, gaps, true))
        return {};
    // Values past the rule's last stroke (a rule shorter than the records)
    // leave it no measure of the columns; strokes past every value (a
    // rule longer than them) mark no column.
    std::size_t values_end = 0, past = 0;
    for (std::string_view text : texts) {
        std::size_t last = text.find_last_not_of(" \t\r|");
        std::size_t value_end = last == std::string_view::npos ? 0 : last + 1;
        values_end = std::max(values_end, value_end);
        past += value_end > cells.back().end;
    }
    if (static_cast<double>(past) > CROSSED_BARS_SHARE * static_cast<double>(texts.size()))
        return {};
    while (cells.size() > FEWEST_RULE_STROKES && cells.back().start >= values_end)
        cells.pop_back();
    return cells;
}

std::vector<column_span> cells_of_heading(const text_view& view, const line_run& run,
                                          const std::vector<std::string_view>& texts)
{
    if (texts.empty() || run.first == 0)
        return {};
    if (run.heading == run.first)
        return cells_of_rule(view.lines[run.first - 1].text, texts);
    std::string_view heading = view.lines[run.heading].text;
    std::vector<std::uint32_t> bars;
    for (std::size_t at = 0; at < heading.size(); at++) {
        if (heading[at] == CELL_BAR)
            bars.push_back(static_cast<std::uint32_t>(at));
    }
    if (bars.size() < FEWEST_CELL_BARS)
        return cells_of_rule(view.lines[run.first - 1].text, texts);
    if (!kept_blank(texts, bars, false))
        return {};
    // A heading without outer bars ("name | age | city") names a column
    // before the first bar and one after the last.
    auto named = [heading](std::size_t from, std::size_t to) {
        return heading.substr(from, to - from).find_first_not_of(" \t") != std::string_view::npos;
    };
    std::vector<column_span> cells;
    if (named(0, bars.front()))
        cells.push_back({0, bars.front()});
    for (std::size_t bar = 0; bar + 1 < bars.size(); bar++) {
        if (bars[bar + 1] > bars[bar] + 1)
            cells.push_back({bars[bar] + 1, bars[bar + 1]});
    }
    if (named(bars.back() + std::size_t{1}, heading.size()))
        cells.push_back({bars.back() + 1, static_cast<std::uint32_t>(heading.size())});
    return cells;
}

// Lines of the record length that open the run and draw a grid (the '|'
// of names, types and units above a table's records, a rule of '-' under
// the names) with a byte no later record holds are the table's heading,
// not records.
std::size_t after_ruled_lines(const text_view& view, std::size_t first, std::size_t end)
{
    // A rule among the run's first lines closes its heading: the names
    // and the rule under them, or a grid's rule, names and rule.
    for (std::size_t rule = std::min(first + MOST_HEADING_RULE_LINE, end); rule-- > first;) {
        if (rule + 1 < end && is_stroke_rule(view.lines[rule].text))
            return rule + 1;
    }
    std::size_t most = std::min(MOST_RULED_LINES, (end - first) / RULED_LINES_ONE_IN);
    // held[k]: the rules of the lines from first + k to the end.
    std::vector<unsigned> held(most + 1, 0);
    for (std::size_t line = first + most; line < end; line++)
        held[most] |= rules_in(view.lines[line].text, 1, true);
    for (std::size_t k = most; k-- > 0;)
        held[k] = held[k + 1] | rules_in(view.lines[first + k].text, 1, true);
    std::size_t heading = 0;
    unsigned shared = ~0u;
    for (std::size_t k = 1; k <= most && shared != 0; k++) {
        shared &= rules_in(view.lines[first + k - 1].text, RULES_A_LINE, false);
        if ((shared & ~held[k]) != 0)
            heading = k;
    }
    return first + heading;
}

line_run records_of_length(const text_view& view, std::uint64_t length,
                           std::uint64_t terminator_length)
{
    line_run run;
    std::size_t end = view.last;
    auto confirmed_at = [&](std::size_t line, std::size_t stop) {
        std::size_t seen = 0;
        for (std::size_t next = line + 1; next < stop && seen < CONFIRMING_LINES; next++) {
            if (is_remark(view.lines[next].text))
                continue;
            if (length_of(view, next) != length && view.lines[next].terminated)
                return false;
            seen++;
        }
        return true;
    };
    std::size_t trailing = 0;
    // The last line may lack its line end and be a record all the same.
    auto is_record = [&](std::size_t line) {
        std::uint64_t line_length = length_of(view, line);
        return line_length == length ||
               (!view.lines[line].terminated && line_length + terminator_length == length);
    };
    while (end > view.first && trailing < MOST_TRAILING_LINES &&
           (is_remark(view.lines[end - 1].text) || !is_record(end - 1))) {
        trailing += !is_remark(view.lines[end - 1].text);
        end--;
    }
    if (!view.whole_file)
        end = view.last;
    // The run starts at the first line of length that the next lines
    // confirm: a line of another length among them breaks the layout, it
    // does not end a preamble. A comment or a rule under the column names
    // that has the length is still the preamble's.
    std::size_t first = view.first;
    while (first < end && (is_remark(view.lines[first].text) || length_of(view, first) != length ||
                           !confirmed_at(first, end)))
        first++;
    std::size_t heading = first;
    first = after_ruled_lines(view, first, end);
    // A rule closing the run closes the table: it is the trailer's, and so
    // is a line after it.
    for (std::size_t after = 0;
         view.whole_file && after <= MOST_LINES_AFTER_CLOSING_RULE && end > first + after + 1;
         after++) {
        if (is_stroke_rule(view.lines[end - after - 1].text)) {
            end -= after + 1;
            break;
        }
    }
    // --verify holds blank and comment lines to the length too: a blank
    // line of the length (a blank card among cards) fits the run.
    // Lines of other lengths are counted by length, the closing ones too,
    // for RECURRING_OTHER_LENGTH.
    std::size_t lines = end - first, fitting = 0;
    std::map<std::uint64_t, std::size_t> others;
    bool recurs = false;
    for (std::size_t line = first; line < view.last; line++) {
        std::string_view text = view.lines[line].text;
        bool remark = is_remark(text), record = is_record(line);
        if (!remark && !record)
            recurs |= ++others[length_of(view, line)] >= RECURRING_OTHER_LENGTH;
        if (line >= end)
            continue;
        run.records += !remark && record;
        fitting += (!remark || is_blank_line(text)) && record;
    }
    if (static_cast<double>(fitting) < LEAST_RUN_SHARE * static_cast<double>(lines) || recurs)
        return {end, end, end, 0};
    return {heading, first, end, run.records};
}

// The kinds of byte a line holds, as a set: blanks, digits, letters (and
// any byte above ASCII), the rest.
unsigned kinds_in(std::string_view line)
{
    unsigned kinds = 0;
    for (char byte : line) {
        unsigned char c = static_cast<unsigned char>(byte);
        if (c == ' ' || c == '\t')
            kinds |= 1u;
        else if (c >= '0' && c <= '9')
            kinds |= 2u;
        else if ((c | 0x20) >= 'a' && (c | 0x20) <= 'z')
            kinds |= 4u;
        else
            kinds |= c >= 0x80 ? 4u : 8u;
    }
    return kinds;
}

// What each word of a line, parted by blanks, starts with: a number, a
// word or another mark, one letter each ("ddda").
std::string word_shape(std::string_view line)
{
    std::string shape;
    for (std::size_t at = line.find_first_not_of(" \t\r"); at != std::string_view::npos;
         at = line.find_first_not_of(" \t\r", line.find_first_of(" \t\r", at))) {
        unsigned char lead = static_cast<unsigned char>(line[at]);
        bool number = std::isdigit(lead) ||
                      ((lead == '-' || lead == '+' || lead == '.') && at + 1 < line.size() &&
                       std::isdigit(static_cast<unsigned char>(line[at + 1])));
        shape += number ? 'd' : std::isalpha(lead) || lead >= 0x80 ? 'a' : 'p';
    }
    return shape;
}

// How many lines stand before the run (and its ruled heading), remarks
// aside, when every one is like its records by the measure given; none
// when one is not.
template <typename measure>
std::optional<std::size_t> lines_before_alike(const text_view& view, const line_run& run,
                                              measure alike)
{
    std::size_t count = 0;
    for (std::size_t line = view.first; line < run.heading; line++) {
        std::string_view text = view.lines[line].text;
        if (is_remark(text))
            continue;
        if (!alike(text))
            return std::nullopt;
        count++;
    }
    return count;
}

// Whether the few lines before the run are all shaped as its first record.
bool shaped_as_records(const text_view& view, const line_run& run)
{
    std::string shape = word_shape(view.lines[run.first].text);
    if (shape.size() < FEWEST_SHAPED_WORDS)
        return false;
    std::optional<std::size_t> shaped = lines_before_alike(
        view, run, [&](std::string_view text) { return word_shape(text) == shape; });
    return shaped && *shaped > 0;
}

// Whether the lines before the run (and before its ruled heading, which
// is the table's) are records of other lengths: at least a few, and
// every one of the kinds of byte the records usually hold (1..9 and
// 10..99 before 100..999), where a preamble of prose, names or rules
// differs; or fewer, each shaped as a record.
bool run_continues_lines(const text_view& view, const line_run& run)
{
    if (run.first < view.last && shaped_as_records(view, run))
        return true;
    std::map<unsigned, std::size_t> run_kinds;
    for (std::size_t line = run.first; line < run.last; line++) {
        if (!is_remark(view.lines[line].text))
            run_kinds[kinds_in(view.lines[line].text)]++;
    }
    unsigned usual = 0;
    std::size_t most = 0;
    for (auto [kinds, count] : run_kinds) {
        if (count > most) {
            usual = kinds;
            most = count;
        }
    }
    std::optional<std::size_t> like = lines_before_alike(
        view, run, [&](std::string_view text) { return kinds_in(text) == usual; });
    return like && *like >= FEWEST_LIKE_LINES;
}

// Whether the lines before the run hold a block of another length nearly
// as long as the run (a few lines at least): a second kind of record (a
// molfile's atoms before its bonds), not a preamble, which runs to lines
// of many lengths or to a shorter table of its own (a picture's colours).
bool records_of_another_length(const text_view& view, const line_run& run, std::uint64_t length)
{
    std::uint64_t wanted = std::max<std::uint64_t>(
        FEWEST_FIXED_LINES,
        static_cast<std::uint64_t>(NEARLY_AS_MANY_RECORDS * static_cast<double>(run.records)));
    std::uint64_t block = 0, block_length = 0;
    for (std::size_t line = view.first; line < run.heading; line++) {
        if (is_remark(view.lines[line].text))
            continue;
        std::uint64_t each = length_of(view, line);
        block = each == block_length ? block + 1 : 1;
        block_length = each;
        if (block >= wanted && each != length)
            return true;
    }
    return false;
}

// Records of one length, perhaps behind preamble lines of other lengths,
// are fixed-width text; free text has no record length.
// XPM images (Le Hors, "XPM Manual", chapter 2, "The XPM Format"): after
// "/* XPM */", a C array whose first string gives the width, the height,
// the number of colours and the characters a pixel takes; a string for
// each colour, then one for each pixel row, a line each. The rows are
// the records, however long the colour table before them: a row's line
// holds width x characters a pixel between quotes, then a comma and the
// line end. The last row, which no comma follows, ends the text with the
// array's close.
struct pixel_rows {
    std::uint64_t pixels = 0;
    std::uint64_t rows = 0;
};

std::optional<pixel_rows> xpm_pixel_rows(const text_view& view)
{
    constexpr std::uint64_t MOST_ROW_CHARACTERS = std::uint64_t{1} << 24;
    if (view.lines.empty() || !view.lines[0].text.starts_with("/* XPM */"))
        return std::nullopt;
    for (const text_line& line : view.lines) {
        std::string_view text = line.text;
        std::size_t close = text.find('"', 1);
        if (!text.starts_with('"') || close == std::string_view::npos)
            continue;
        std::vector<std::uint64_t> values = numbers_alone(text.substr(1, close - 1), 6);
        if (values.size() < 4 || values[0] == 0 || values[1] == 0 || values[3] == 0 ||
            values[0] > MOST_ROW_CHARACTERS / values[3])
            return std::nullopt;
        return pixel_rows{values[0] * values[3], values[1]};
    }
    return std::nullopt;
}

// The rows the values string states, all but the last (no comma after
// it) of them records: counted where the whole image is read, else held
// to the file's size, the last row and the array's close (and this much
// more, an extension) after them.
constexpr std::uint64_t LONGEST_IMAGE_CLOSE = 1024;

bool image_rows_fit(const file_sample& sample, const text_view& view, const line_run& run,
                    std::uint64_t rows, std::uint64_t length)
{
    if (run.records == 0)
        return false;
    if (view.whole_file)
        return run.records + 1 >= rows;
    if (!sample.file_size)
        return true;
    std::uint64_t before_last = view.file_offset(view.lines[run.first].start) + (rows - 1) * length;
    return *sample.file_size >= before_last &&
           *sample.file_size - before_last <= length + LONGEST_IMAGE_CLOSE;
}

std::uint64_t survey_fixed_width(const file_sample& sample, const text_view& view, bool tabular,
                                 file_layout& layout)
{
    length_counts lengths;
    std::uint64_t lines = 0;
    for (std::size_t line = view.first; line < view.last; line++) {
        const text_line& each = view.lines[line];
        if (!is_remark(each.text) && each.terminated) {
            lengths.add(length_of(view, line));
            lines++;
        }
    }
    std::uint64_t length = lengths.commonest();
    layout.usual_length = length;
    std::uint64_t terminator =
        view.decoded.unit_width * (layout.terminator == line_terminator::crlf ? 2 : 1);
    std::optional<pixel_rows> image = xpm_pixel_rows(view);
    if (image)
        length = (image->pixels + 3) * view.decoded.unit_width + terminator;
    line_run run = records_of_length(view, length, terminator);
    // Lines all of one length are records of that length, however few
    // (three behind a preamble), under a ruled heading of their length too. A run of them after
    // lines of other lengths is records when it is a good part of the
    // text: prose and source code have short runs by chance.
    // Behind a preamble, two lines of one length are as likely chance.
    bool all_lines = run.heading == view.first && run.last == view.last &&
                     (view.first == 0 || run.records >= FEWEST_FIXED_LINES);
    std::optional<std::uint64_t> later_trailer =
        later_pieces_fit(sample, layout, length, terminator);
    bool fixed =
        length > 0 && lines >= FEWEST_RECORDS_FOR_LENGTH && later_trailer &&
        (all_lines || (image && image_rows_fit(sample, view, run, image->rows, length)) ||
         (run.records >= FEWEST_FIXED_LINES && run.records * FIXED_RUN_ONE_IN >= lines &&
          !run_continues_lines(view, run) && !records_of_another_length(view, run, length)));
    if (!fixed) {
        bool preamble = tabular || !is_indented(view);
        layout.header_length = preamble && view.first < view.lines.size()
                                   ? view.file_offset(view.lines[view.first].start)
                                   : view.decoded.file_offset;
        // Comments that open or close the text in a form its body repeats
        // (a certificate bundle's "# Issuer:" lines, its "-----END" line)
        // belong to its entries, not to a header or trailer.
        if (remarks_recur(view, 0, view.first))
            layout.header_length = view.decoded.file_offset;
        bool closing_recurs = remarks_recur(view, view.last, view.lines.size());
        std::size_t first = view.first;
        bool titled = preamble && titles_the_lines(view);
        if (titled || (preamble && states_line_count(sample, view, layout, view.first, 1))) {
            first++;
            layout.header_length = view.file_offset(view.lines[first].start);
        }
        // Empty lines that end a list of words, behind its title or none,
        // end the text rather than close it.
        layout.trailer_length =
            preamble && !closing_recurs &&
                    !((layout.header_length == 0 || titled) && ends_in_blank_lines(view))
                ? trailer_of(sample, view, layout)
                : 0;
        count_free_lines(sample, view, first, length, preamble, layout);
        return 0;
    }
    layout.record_length = length;
    layout.header_length = view.file_offset(view.lines[run.first].start);
    layout.trailer_length =
        view.whole_file
            ? view.file_offset(view.decoded.text.size()) -
                  view.file_offset(run.last < view.lines.size() ? view.lines[run.last].start
                                                                : view.decoded.text.size())
            : std::max(*later_trailer, trailer_of(sample, view, layout));
    std::vector<std::string_view> texts;
    std::uint64_t lines_in_run = 0;
    for (std::size_t line = run.first; line < run.last; line++) {
        if (is_remark(view.lines[line].text))
            continue;
        lines_in_run++;
        if (length_of(view, line) == length || !view.lines[line].terminated)
            texts.push_back(view.lines[line].text);
    }
    if (view.whole_file) {
        layout.records = lines_in_run;
    } else if (sample.file_size) {
        layout.records =
            (*sample.file_size - layout.header_length - layout.trailer_length) / length;
    }
    std::vector<column_span> cells = cells_of_heading(view, run, texts);
    if (image)
        cells = {{1, static_cast<std::uint32_t>(1 + image->pixels)}};
    layout.columns = cells.empty() ? find_text_columns(texts).choice : cells;
    std::vector<column_span> in_characters = layout.columns;
    for (column_span& column : layout.columns) {
        column.start *= view.decoded.unit_width;
        column.end *= view.decoded.unit_width;
    }
    // Under a heading's cells the names stand above the records, not in
    // the first of them.
    if (in_characters.size() >= FEWEST_FIELDS && cells.empty())
        layout.header_row = first_names_fixed_columns(texts, in_characters);
    // An image's colours are a header its values string states, as much
    // the text's own as a ruled heading.
    std::size_t explained_from = image ? 0 : view.lines[run.heading].start;
    return view.file_offset(view.lines[run.first].start) - view.file_offset(explained_from);
}

} // namespace

text_layout_choice survey_text_lines(const file_sample& sample, const encoding_guess& guess,
                                     file_layout& layout, const kept_lines* kept)
{
    text_layout_choice result;
    text_view view = view_start(sample, guess, layout, kept);
    std::vector<std::string_view> lines = line_texts(view);
    std::vector<std::string_view> all_lines(view.last - view.first);
    for (std::size_t line = view.first; line < view.last; line++)
        all_lines[line - view.first] = view.lines[line].text;
    result.fields = choose_delimiter_and_quote(all_lines);
    const auto& pair = result.fields.choice;
    // Blanks that separate the same number of values in nearly every
    // record separate fields: single blanks, or runs of them in lines of
    // many lengths, however the values are padded. Values padded to line up
    // in lines of one length, or whose count varies (a column may be empty,
    // or hold blanks), are fixed-width columns.
    bool aligned = false, consistent = false;
    if (pair && pair->value.delimiter == ' ') {
        blank_gaps gaps = measure_gaps(lines);
        consistent = pair->value.usual_share >= CONSISTENT_BLANKS;
        aligned = (gaps.wide && (!consistent || mostly_one_length(lines))) ||
                  (gaps.lined_up && !consistent);
    }
    // Padded values in lines that turn out not all one length (a first row
    // a digit short) are still parted alike by the blanks, unless those
    // records would be one length after all: the lines around them that
    // the fixed-width reading weighed say they are not.
    std::optional<file_layout> unaligned;
    std::uint64_t ruled = 0;
    if (!pair || aligned) {
        file_layout before = layout;
        ruled = survey_fixed_width(sample, view, aligned, layout);
        if (!layout.record_length && consistent) {
            unaligned = layout;
            layout = before;
        }
    }
    auto settle_unaligned = [&] {
        bool fixed = layout.record_length.has_value();
        result.ruled_heading = ruled;
        result.candidates.push_back({text_shape::fixed_width, fixed ? 1.0 : 0.0});
        result.candidates.push_back({text_shape::free_text, fixed ? 0.0 : 1.0});
        result.choice = fixed ? text_shape::fixed_width : text_shape::free_text;
        return result;
    };
    result.candidates.push_back(
        {text_shape::delimited, pair && (!aligned || unaligned) ? pair->score : 0});
    if (!pair || (aligned && !unaligned))
        return settle_unaligned();
    result.choice = text_shape::delimited;
    field_rule rule{pair->value.delimiter, pair->value.quote};
    std::string_view table = result.fields.table;
    view.last = table.empty() ? closing_lines(view, rule) : line_after(view, table);
    std::vector<text_record> records = records_of(view, pair->value.quote);
    field_counts fields_of(records, rule);
    field_range range = regular_fields(records, fields_of, pair->value.fields);
    std::size_t first = table.empty() ? std::max(title_records(records, fields_of, range),
                                                 padded_settings(records, rule, pair->value.fields))
                                      : record_at(records, table);
    if (!quote_is_used(records, rule))
        rule.quote.reset();
    bool row_names = first == 1 && names_all_but_the_first(records, rule, pair->value.fields);
    first = row_names ? 0 : first;
    std::span<const text_record> data(records.begin() + static_cast<std::ptrdiff_t>(first),
                                      records.end());
    layout.header_row = row_names || first_names_columns(data, rule);
    if (first_is_a_note(data, layout.header_row, rule) ||
        (!layout.header_row && states_record_count(sample, view, layout, data, rule))) {
        data = data.subspan(1);
        first++;
    }
    layout.delimiter = rule.delimiter;
    layout.tab_runs = rule.delimiter == ' ' && parted_by_tabs(data);
    layout.quote = rule.quote;
    // The records lie one after another in the text: one search for all.
    layout.bare_double_quotes =
        !rule.quote && !data.empty() &&
        view.decoded.text.substr(data.front().start).find('"') != std::string_view::npos;
    layout.fields = pair->value.fields;
    if (range.fewest < range.most) {
        layout.fewest_fields = range.fewest;
        layout.most_fields = range.most;
    }
    layout.header_length =
        data.empty() ? view.file_offset(view.decoded.text.size()) : view.file_offset(data[0].start);
    std::size_t names =
        first == 0 && !layout.header_row ? commented_names_line(view, data, rule, range) : 0;
    if (names > 0) {
        layout.header_row = true;
        layout.header_length = view.file_offset(view.lines[names].start);
    }
    layout.trailer_length = trailer_of(sample, view, layout);
    measure_records(sample, view, records, first, rule.quote.has_value(), layout);
    if (unaligned && layout.record_length) {
        layout = *unaligned;
        result.candidates.front().score = 0;
        return settle_unaligned();
    }
    // The row of names counts among the records, as an uncommented one does.
    if (names > 0 && view.whole_file && layout.records)
        *layout.records += 1;
    return result;
}
