#include "layout_survey.h"

#include "../base/byte_class.h"
#include "../base/byte_kernels.h"
#include "../base/code_pages.h"
#include "../base/lines.h"
#include "../base/text_decode.h"
#include "../base/text_lines.h"
#include "ascending_values.h"
#include "described_columns.h"
#include "element_period.h"
#include "encoding_guess.h"
#include "known_formats.h"
#include "length_prefix.h"
#include "period_search.h"
#include "record_bounds.h"
#include "record_profile.h"
#include "record_types.h"
#include "row_bounds.h"
#include "sector_padding.h"
#include "stated_count.h"
#include "terminator_choice.h"
#include "text_columns.h"
#include "text_layout.h"

#include <algorithm>
#include <cstring>

namespace
{

// Lines longer than this on average are not lines but stray line-end
// bytes in something else.
constexpr std::uint64_t LONGEST_USUAL_LINE = 65536;
constexpr std::size_t CENSUS_BYTES = std::size_t{1} << 18;
// A documented header that checks out against the file accounts for every
// byte of it, and wins.
constexpr double STATED_FIT = 1;
constexpr double MOST_EVIDENCE = 1;
// Text fits lines wholly. Bytes that failed the test for text are lines
// only when nearly all of them are bytes text holds (a stray control byte
// in a line or two): a fit below this is binary with some line feeds in it.
constexpr double TEXT_FIT = 1;
constexpr double LEAST_TEXT_SHARE_FOR_LINES = 0.97;
// Text without line ends shows records of one length only with this many
// records of at least this length: a short run of text repeats short
// patterns by chance (a line of 168 bytes is not 84 records of 2 bytes),
// and a handful of like objects in one line of JSON are not a table.
constexpr std::uint64_t FEWEST_TEXT_RECORDS = 5;
constexpr std::uint64_t SHORTEST_TEXT_RECORD = 8;
// The blank of ASCII-compatible text.
constexpr unsigned char BLANK = ' ';
// Binary bytes that repeat at one length show records only with this many
// of them, or this many bytes in them: a small file of a few dozen like
// structures (messages of one size, a header's repeated fields) repeats by
// its make, not by records. A documented header or values that grow need
// no such count.
constexpr std::uint64_t FEWEST_BINARY_RECORDS = 32;
constexpr std::uint64_t LEAST_BINARY_RECORD_BYTES = std::uint64_t{1} << 16;
// Text that the start holds whole without a line end is one line; it
// gives way to any records of one length found in it.
constexpr double ONE_LINE_FIT = 0.01;
// Records that only LFs end split this alike when lone CRs stand inside
// their fields.
constexpr double LEAST_FED_CONSISTENCY = 0.9;
// A longer record length than the one found describes each record with
// more bytes of its own: it is weighed at this share of its strength
// against the divisor it would displace.
constexpr double LONGER_LENGTH_DISCOUNT = DIVISOR_SHARE;
// A chain of lengths that walks from the first byte to the last, record by
// record, accounts for every byte and fits wholly: it cannot be chance
// once the length step has found it long enough.
constexpr double CHAIN_FIT = 1;
// Values that grow strictly from one to the next, record after record,
// are no chance either.
constexpr double ASCENDING_FIT = 1;

bool is_text(text_encoding encoding)
{
    return encoding != text_encoding::binary;
}

// Text records of one length without line ends are fixed-width text like
// any catalogue: their columns are found the same way.
void find_record_columns(file_layout& layout, const file_sample& sample, std::uint64_t records_end)
{
    std::uint64_t end = std::min<std::uint64_t>(records_end, sample.start.size());
    if (layout.header_length >= end)
        return;
    decoded_text decoded =
        decode_text(sample.start.subspan(layout.header_length, end - layout.header_length),
                    layout.header_length, layout.encoding);
    std::size_t length = *layout.record_length / decoded.unit_width;
    std::vector<std::string_view> records;
    std::string_view text = decoded.text;
    for (std::size_t at = 0; length > 0 && at + length <= text.size(); at += length)
        records.push_back(text.substr(at, length));
    layout.columns = find_text_columns(records).choice;
    for (column_span& column : layout.columns) {
        column.start *= decoded.unit_width;
        column.end *= decoded.unit_width;
    }
}

void set_fixed_length(file_layout& layout, const file_sample& sample, std::uint64_t header,
                      std::uint64_t length, std::uint64_t records, std::uint64_t trailer)
{
    layout.kind = record_layout::fixed_length;
    layout.terminator = line_terminator::none;
    layout.record_length = length;
    layout.usual_length = length;
    layout.header_length = header;
    layout.trailer_length = trailer;
    layout.records = records;
    if (is_text(layout.encoding))
        find_record_columns(layout, sample, header + records * length);
}

// The profile of the records is the dearest part of a length's layout and
// bears on no hypothesis' evidence: only the winner's is made.
void profile_fixed_length(file_layout& layout, const file_sample& sample)
{
    std::uint64_t length = *layout.record_length;
    if (length > LONGEST_PERIOD)
        return;
    layout.profile = profile_records(
        sample, layout.header_length, layout.header_length + *layout.records * length,
        static_cast<std::uint32_t>(length), byte_classes_of(layout.encoding));
}

// Records of one length are looked for in the middle of a large file,
// away from its header and trailer.
byte_span period_region(const file_sample& sample)
{
    if (sample.later.size() >= 2)
        return sample.later.front().bytes;
    return sample.start;
}

// The share of the file in records between the header and the trailer.
double share_between(const file_sample& sample, const file_layout& layout)
{
    double size = static_cast<double>(sample.file_size ? *sample.file_size : sample.start.size());
    double outside = static_cast<double>(layout.header_length + layout.trailer_length);
    return size <= 0 || outside >= size ? 0 : 1 - outside / size;
}

// What the hypotheses share: the sample, the encoding step's answer, and
// the period search's, made once for every length weighed.
struct survey_evidence {
    const file_sample& sample;
    encoding_guess guess;
    std::optional<period_choice> period;
    // The evidence of the hypothesis leading so far, if any leads: one
    // whose fit cannot beat it (its evidence is at most its fit) need not
    // be worked out.
    std::optional<double> leading;

    bool cannot_win(double fit) const
    {
        return leading && std::clamp(fit, 0.0, 1.0) <= *leading;
    }

    // Several hypotheses weigh the same length (the period found, the
    // rows it repeats in); its records' bounds are found once.
    struct bounds_found {
        std::uint32_t length;
        text_encoding encoding;
        record_bounds bounds;
    };
    std::vector<bounds_found> bounds_memo;

    record_bounds bounds_of(std::uint32_t length, text_encoding encoding)
    {
        for (const bounds_found& each : bounds_memo) {
            if (each.length == length && each.encoding == encoding)
                return each.bounds;
        }
        record_bounds bounds = find_record_bounds(sample, length, byte_classes_of(encoding));
        bounds_memo.push_back({length, encoding, bounds});
        return bounds;
    }

    // The lines of the sample's start after its byte order mark, its bytes
    // as they are: split once for the steps that read text so.
    std::optional<kept_lines> start_lines;

    const kept_lines& lines_of_start()
    {
        if (!start_lines) {
            byte_span bytes = sample.start.subspan(guess.byte_order_mark);
            start_lines = keep_lines(
                std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()),
                sample_is_whole_file(sample));
        }
        return *start_lines;
    }

    const period_choice& periods()
    {
        if (!period) {
            const byte_class_table* text_classes =
                is_text(guess.encoding) ? &byte_classes_of(guess.encoding) : nullptr;
            period = find_period(period_region(sample), text_classes);
        }
        return *period;
    }
};

void weigh_stated(survey_evidence& evidence, layout_hypothesis& hypothesis)
{
    const file_sample& sample = evidence.sample;
    file_layout& layout = hypothesis.layout;
    if (!sample.file_size)
        return;
    std::optional<stated_layout> stated = read_stated_layout(sample.start, *sample.file_size);
    if (!stated)
        return;
    hypothesis.viable = true;
    hypothesis.explained = 1;
    hypothesis.fit = STATED_FIT;
    layout.format_name = stated->format_name;
    layout.records_are_values = stated->records_are_values;
    if (stated->varying) {
        layout.kind = record_layout::unknown;
        return;
    }
    set_fixed_length(layout, sample, stated->header, stated->record_length, stated->records,
                     stated->trailer);
    // Samples, pixels, pages and blocks hold any bytes: a record of them is
    // held to its length alone.
    hypothesis.profiled = stated->records_are_text;
    // Its values are no text, whatever their small numbers look like.
    if (!stated->records_are_text)
        layout.encoding = text_encoding::binary;
    if (stated->element != 0)
        layout.element_length = stated->element;
    if (!stated->columns.empty())
        layout.columns = stated->columns;
}

// Encodings whose bytes are the text's characters: tags and separators
// are read from them as they stand.
bool bytes_are_characters(text_encoding encoding)
{
    return encoding == text_encoding::ascii || encoding == text_encoding::utf8 ||
           encoding == text_encoding::latin1 || is_mapped_code_page(encoding);
}

// Lines of one length are records of one length, but of text: a column
// may hold any text further on (a name, a digit that counts up), and
// --verify holds each to being text, so that a NUL or a control byte among
// the values is named. Only where the sample holds no such byte besides
// the line ends: where it does, they may stand anywhere.
void profile_lines_of_one_length(file_layout& layout, const file_sample& sample)
{
    constexpr std::uint8_t TEXT =
        BYTE_BLANK | BYTE_DIGIT | BYTE_UPPER | BYTE_LOWER | BYTE_PUNCTUATION | BYTE_OTHER;
    if (layout.kind != record_layout::lines || !layout.record_length ||
        !bytes_are_characters(layout.encoding))
        return;
    std::array<std::uint64_t, 256> counts =
        count_byte_values(sample.start.data(), sample.start.size());
    for (const sample_piece& piece : sample.later) {
        std::array<std::uint64_t, 256> more =
            count_byte_values(piece.bytes.data(), piece.bytes.size());
        for (std::size_t value = 0; value < counts.size(); value++)
            counts[value] += more[value];
    }
    const byte_class_table& classes = byte_classes_of(layout.encoding);
    for (std::size_t value = 0; value < counts.size(); value++) {
        bool line_end = value == '\n' || value == '\r';
        if (counts[value] > 0 && !line_end && (classes[value] & TEXT) == 0)
            return;
    }
    std::uint64_t line_end = layout.terminator == line_terminator::crlf ? 2 : 1;
    if (*layout.record_length <= line_end)
        return;
    layout.profile.allowed_classes.assign(*layout.record_length - line_end, TEXT);
}

// The bytes of a header of comment and blank lines alone, which a layout
// of lines explains as it does its records; 0 for any other header.
std::uint64_t commented_header(const file_sample& sample, const encoding_guess& guess,
                               std::uint64_t header)
{
    if (header <= guess.byte_order_mark || header > sample.start.size() ||
        !bytes_are_characters(guess.encoding))
        return 0;
    byte_span bytes = sample.start.subspan(guess.byte_order_mark, header - guess.byte_order_mark);
    std::string_view text(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    for (const text_line& line : split_text_lines(text, true)) {
        if (!is_blank_line(line.text) && !is_comment_line(line.text))
            return 0;
    }
    return header;
}

// Lone CRs among lines ended by LF that leave records split alike where
// only the LFs end them, and not otherwise, stand inside fields (a name
// and its note parted by a CR, as an old Mac program wrote it).
void settle_lone_returns(const file_sample& sample, const encoding_guess& guess,
                         const file_layout& unsurveyed, file_layout& layout,
                         text_layout_choice& shape)
{
    file_layout fed = unsurveyed;
    fed.terminator = line_terminator::lf;
    text_layout_choice fed_shape = survey_text_lines(sample, guess, fed);
    // Free text and fixed-width columns part no records alike.
    auto consistency = [](const text_layout_choice& each) {
        std::optional<double> share;
        if (each.choice == text_shape::delimited && each.fields.choice)
            share = each.fields.choice->value.usual_share;
        return share.value_or(0);
    };
    if (consistency(fed_shape) >= LEAST_FED_CONSISTENCY &&
        consistency(fed_shape) > consistency(shape)) {
        layout = fed;
        layout.returns_inside = true;
        shape = std::move(fed_shape);
    }
}

void weigh_lines(survey_evidence& evidence, layout_hypothesis& hypothesis)
{
    const file_sample& sample = evidence.sample;
    const encoding_guess& guess = evidence.guess;
    file_layout& layout = hypothesis.layout;
    double fit = is_text(guess.encoding) ? TEXT_FIT : guess.text_share;
    if (fit < LEAST_TEXT_SHARE_FOR_LINES)
        return;
    // The start of the file tells which line ends it uses.
    byte_span text = sample.start.subspan(guess.byte_order_mark);
    bool to_end = sample_is_whole_file(sample) && text.size() <= CENSUS_BYTES;
    text = text.first(std::min(text.size(), CENSUS_BYTES));
    line_end_census census = count_line_ends(text, guess.encoding, to_end);
    std::uint64_t line_ends = total_line_ends(census);
    bool one_line = line_ends == 0 && to_end && is_text(guess.encoding);
    if (!one_line && (line_ends == 0 || text.size() / line_ends > LONGEST_USUAL_LINE))
        return;
    if (one_line)
        fit = ONE_LINE_FIT;
    layout.kind = record_layout::lines;
    layout.terminator = choose_terminator(census).choice;
    file_layout unsurveyed = layout;
    const kept_lines* kept =
        bytes_are_characters(guess.encoding) ? &evidence.lines_of_start() : nullptr;
    text_layout_choice shape = survey_text_lines(sample, guess, layout, kept);
    // Line ends inside fields are no mix: the records are told again by
    // the line end left, where the quote the survey found explains it.
    bool byte_line_ends = guess.encoding != text_encoding::ebcdic &&
                          guess.encoding != text_encoding::utf16le &&
                          guess.encoding != text_encoding::utf16be;
    if (layout.terminator == line_terminator::mixed && byte_line_ends) {
        line_terminator settled = settle_mixed_ends(text, layout.quote, to_end);
        if (settled != line_terminator::mixed) {
            layout = unsurveyed;
            layout.terminator = settled;
            shape = survey_text_lines(sample, guess, layout, kept);
        } else if (census.crlf == 0 && census.lf > census.cr) {
            settle_lone_returns(sample, guess, unsurveyed, layout, shape);
        }
    }
    hypothesis.viable = true;
    // Blank lines at the end are lines too, however many, and so are a
    // ruled heading and a header of comments above the records: the
    // layout of lines explains them.
    file_layout explained = layout;
    if (layout.trailer_may_start_earlier)
        explained.trailer_length = 0;
    explained.header_length -= shape.ruled_heading;
    explained.header_length -= commented_header(sample, guess, explained.header_length);
    hypothesis.explained = share_between(sample, explained);
    hypothesis.fit = fit;
}

// Records whose mark (a frame's sync bits) stands in every one of them
// from the file's first byte to its last are records, and leave no header
// or trailer, whatever else the first and last hold (a sound's silence)
// and however little their other bytes agree. A header or trailer
// shorter than a record holds no mark to tell, and stays.
void keep_marked_records(byte_span bytes, std::uint32_t length, record_bounds& bounds)
{
    std::uint64_t remainder = bytes.size() % length;
    bool header_told = bounds.header == 0 || bounds.header >= length;
    bool trailer_told = bounds.trailer == remainder || bounds.trailer >= length;
    if (bounds.found &&
        (!header_told || !trailer_told || (bounds.header == 0 && bounds.trailer == remainder)))
        return;
    std::optional<column_mark> mark = find_column_mark(bytes, length);
    if (!mark)
        return;
    std::size_t records = bytes.size() / length;
    for (std::size_t record = 0; record < records; record++) {
        if ((bytes[record * length + mark->column] >> 4) != mark->nibble)
            return;
    }
    bounds = {true, 0, remainder, records};
}

// Text records hold fields: "records" that each hold one value and the
// blank after it are values of one width in a line (numbers that a
// program wrote out without a line end), not records.
bool one_value_each(byte_span bytes, std::uint64_t header, std::uint32_t length,
                    std::uint64_t records)
{
    for (std::uint64_t record = 0; record < records; record++) {
        std::uint64_t at = header + record * length;
        if (at + length > bytes.size())
            break;
        byte_span each = bytes.subspan(at, length);
        auto first = std::find_if(each.begin(), each.end(), [](auto b) { return b != BLANK; });
        auto after = std::find(first, each.end(), BLANK);
        if (after == each.end() ||
            std::any_of(after, each.end(), [](auto b) { return b != BLANK; }))
            return false;
    }
    return true;
}

// Text whose "records" each hold a line end or more is blocks of lines
// that repeat (a list of like sections), which its lines describe: records
// of one length have no line ends inside them, or are lines themselves.
bool lines_inside_records(const file_sample& sample, const record_bounds& bounds,
                          std::uint32_t length)
{
    std::uint64_t end =
        std::min<std::uint64_t>(sample.start.size(), bounds.header + bounds.records * length);
    if (end <= bounds.header)
        return false;
    byte_span records = sample.start.subspan(bounds.header, end - bounds.header);
    auto line_feeds = static_cast<std::uint64_t>(std::count(records.begin(), records.end(), '\n'));
    return line_feeds * length >= records.size() && line_feeds * length != records.size();
}

// Of the length or of the period it is a run of.
bool values_in_a_line(survey_evidence& evidence, const record_bounds& bounds, std::uint32_t length)
{
    std::uint32_t value = evidence.periods().choice.length;
    if (value == 0 || length % value != 0)
        value = length;
    return one_value_each(evidence.sample.start, bounds.header, value,
                          bounds.records * (length / value));
}

// Whether text that repeats at a length holds no records of it: too few or
// too short to tell, values of one width in a line, or sections of lines.
// Only ASCII-compatible text is read for blanks and line feeds; EBCDIC
// and UTF-16 records are held to the count alone.
bool text_without_records(survey_evidence& evidence, const record_bounds& bounds,
                          std::uint32_t length, text_encoding encoding)
{
    if (length < SHORTEST_TEXT_RECORD || bounds.records < FEWEST_TEXT_RECORDS)
        return true;
    if (encoding == text_encoding::ebcdic || encoding == text_encoding::utf16le ||
        encoding == text_encoding::utf16be)
        return false;
    return values_in_a_line(evidence, bounds, length) ||
           lines_inside_records(evidence.sample, bounds, length);
}

void weigh_length(survey_evidence& evidence, std::uint32_t length, double fit,
                  layout_hypothesis& hypothesis)
{
    if (evidence.cannot_win(fit))
        return;
    const file_sample& sample = evidence.sample;
    file_layout& layout = hypothesis.layout;
    record_bounds bounds = evidence.bounds_of(length, layout.encoding);
    if (!is_text(layout.encoding) && sample_is_whole_file(sample))
        keep_marked_records(sample.start, length, bounds);
    if (!bounds.found)
        return;
    if (is_text(layout.encoding) && text_without_records(evidence, bounds, length, layout.encoding))
        return;
    if (!is_text(layout.encoding) && bounds.records < FEWEST_BINARY_RECORDS &&
        bounds.records * length < LEAST_BINARY_RECORD_BYTES)
        return;
    if (!is_text(layout.encoding)) {
        if (std::optional<stated_count> stated =
                find_stated_count(sample, length, bounds.trailer, bounds.header)) {
            bounds.header = stated->header;
            bounds.records = stated->records;
        }
    }
    set_fixed_length(layout, sample, bounds.header, length, bounds.records, bounds.trailer);
    hypothesis.profiled = true;
    hypothesis.viable = true;
    // A record cut short at the end explains none of its bytes: lines of
    // one length whose last line is cut are lines, not records that hold
    // their line ends.
    std::uint64_t size = sample.file_size ? *sample.file_size : sample.start.size();
    std::uint64_t region = size - std::min(size, bounds.header + bounds.trailer);
    std::uint64_t whole = std::min(bounds.records, region / length);
    hypothesis.explained =
        std::min(1.0, static_cast<double>(whole * length) / static_cast<double>(size));
    hypothesis.fit = std::clamp(fit, 0.0, 1.0);
}

void weigh_fixed_length(survey_evidence& evidence, layout_hypothesis& hypothesis)
{
    const period_choice& period = evidence.periods();
    if (period.choice.length == 0)
        return;
    weigh_length(evidence, period.choice.length, period.choice.strength, hypothesis);
}

// The strongest multiple of the length found, which the period search
// gave up for its divisor: it may explain more of the file.
void weigh_longer_length(survey_evidence& evidence, layout_hypothesis& hypothesis)
{
    const period_choice& period = evidence.periods();
    std::uint32_t found = period.choice.length;
    // Text that repeats at a period too short for a record is values of
    // one width or a few in a list; a run of them is no record either.
    if (found == 0 || (is_text(hypothesis.layout.encoding) && found < SHORTEST_TEXT_RECORD))
        return;
    const scored<std::uint32_t>* longer = nullptr;
    for (const scored<std::uint32_t>& each : period.candidates) {
        if (each.value > found && each.value % found == 0 &&
            (longer == nullptr || each.score > longer->score))
            longer = &each;
    }
    if (longer != nullptr)
        weigh_length(evidence, longer->value, longer->score * LONGER_LENGTH_DISCOUNT, hypothesis);
}

void weigh_length_prefix(survey_evidence& evidence, layout_hypothesis& hypothesis)
{
    const file_sample& sample = evidence.sample;
    bool whole = sample_is_whole_file(sample);
    std::optional<prefix_walk> walk =
        find_length_prefix(sample.start, whole, sample.file_size).choice;
    if (!walk)
        return;
    file_layout& layout = hypothesis.layout;
    layout.kind = record_layout::length_prefixed;
    layout.length_prefix = walk->form;
    layout.records = walk->records;
    if (!whole && walk->whole && sample.file_size && walk->covered > 0) {
        layout.records = static_cast<std::uint64_t>(static_cast<double>(walk->records) *
                                                    static_cast<double>(*sample.file_size) /
                                                    static_cast<double>(walk->covered));
        layout.records_estimated = true;
    }
    layout.shortest_record = walk->shortest;
    layout.usual_length = walk->usual;
    layout.longest_record = walk->longest;
    hypothesis.viable = true;
    hypothesis.explained =
        walk->whole ? 1
                    : static_cast<double>(walk->covered) / static_cast<double>(sample.start.size());
    hypothesis.fit = CHAIN_FIT;
}

struct typed_text {
    std::vector<std::string_view> records;
    // Past the last whole record.
    std::size_t covered = 0;
    // The file ends inside the last record, before its terminator.
    bool last_cut = false;
};

typed_text typed_lines(const kept_lines& kept)
{
    typed_text typed;
    typed.records.reserve(kept.lines.size());
    for (const text_line& line : kept.lines) {
        if (!kept.at_end && !line.terminated)
            break;
        if (!is_blank_line(line.text)) {
            typed.records.push_back(line.text);
            typed.last_cut = !line.terminated;
        }
        typed.covered = line.end;
    }
    return typed;
}

// Segments ended by the terminator the header states or the text shows,
// when they are records of several types: their records and types, and
// the layout's terminators. Nothing changes when they are not.
bool weigh_segments(std::string_view text, const stated_separators& stated, bool whole,
                    typed_text& typed, record_types_choice& types, file_layout& layout)
{
    std::optional<unsigned char> terminator =
        find_segment_terminator(text, stated, typed.records.size()).choice;
    if (!terminator)
        return false;
    typed_text segments;
    segments.records = split_segments(text, *terminator, whole, stated.release);
    std::size_t last = last_segment_end(text, *terminator, stated.release);
    segments.covered = whole || last == std::string_view::npos ? text.size() : last + 1;
    segments.last_cut =
        whole && (last == std::string_view::npos ||
                  text.find_first_not_of("\r\n", last + 1) != std::string_view::npos);
    record_types_choice found = find_record_types(segments.records, stated, segments.last_cut);
    if (!found.found)
        return false;
    typed = std::move(segments);
    types = std::move(found);
    layout.kind = record_layout::lines;
    layout.terminator = line_end_after_segments(text, *terminator, stated.release);
    layout.segment_terminator = terminator;
    return true;
}

// Lines of records of several types, or segments of them ended by a byte
// of their own: a refinement of lines, weighed before them, that holds
// only when nearly every record starts with a tag and the types differ in
// their fields.
void weigh_record_types(survey_evidence& evidence, layout_hypothesis& hypothesis)
{
    const file_sample& sample = evidence.sample;
    if (!bytes_are_characters(evidence.guess.encoding))
        return;
    byte_span bytes = sample.start.subspan(evidence.guess.byte_order_mark);
    std::string_view text(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    bool whole = sample_is_whole_file(sample);
    stated_separators stated = read_stated_separators(text);
    typed_text typed = typed_lines(evidence.lines_of_start());
    file_layout& layout = hypothesis.layout;
    // A header that states a segment terminator of its own (X12's ~,
    // EDIFACT's ') is believed over line ends written after each segment
    // for the reader's eye: read as lines, every last field would end in
    // it. Lines are weighed still where its segments hold no types.
    bool own_terminator =
        stated.terminator && *stated.terminator != '\r' && *stated.terminator != '\n';
    record_types_choice types;
    positional_types_choice positional;
    bool segments = own_terminator && weigh_segments(text, stated, whole, typed, types, layout);
    if (!segments) {
        types = find_record_types(typed.records, stated, typed.last_cut);
        if (!types.found && !stated.delimiter)
            positional = find_positional_types(typed.records);
    }
    if (positional.found) {
        weigh_lines(evidence, hypothesis);
        if (!hypothesis.viable)
            return;
        types.types = std::move(positional.types);
        layout.tag_width = positional.tag_width;
    } else if (types.found && !segments) {
        weigh_lines(evidence, hypothesis);
        if (!hypothesis.viable)
            return;
    } else if (!segments &&
               (own_terminator || !weigh_segments(text, stated, whole, typed, types, layout))) {
        // Segments at a stated terminator were weighed first already.
        return;
    }
    if (positional.found)
        layout.delimiter.reset();
    else
        layout.delimiter = types.delimiter;
    layout.release = types.release;
    layout.tab_runs = false;
    layout.quote.reset();
    layout.fields.reset();
    layout.fewest_fields = 0;
    layout.most_fields = 0;
    layout.header_row = false;
    layout.columns.clear();
    layout.header_length = 0;
    layout.trailer_length = 0;
    layout.record_types = std::move(types.types);
    if (!positional.found)
        layout.type_field = std::string(stated.type_field);
    layout.records = typed.records.size();
    layout.records_estimated = !whole && sample.file_size && typed.covered > 0;
    if (layout.records_estimated)
        layout.records = static_cast<std::uint64_t>(static_cast<double>(typed.records.size()) *
                                                    static_cast<double>(*sample.file_size) /
                                                    static_cast<double>(typed.covered));
    hypothesis.viable = true;
    hypothesis.explained = 1;
    hypothesis.fit = TEXT_FIT;
}

// The strongest length weighed short enough for an element, if any
// repeats beyond chance; with a multiple of, only among multiples of it.
period_guess strongest_short_length(const period_choice& period, std::uint32_t multiple_of)
{
    period_guess element;
    for (const scored<std::uint32_t>& each : period.candidates) {
        if (each.value <= LONGEST_ELEMENT && each.value != multiple_of &&
            each.value % multiple_of == 0 && each.score >= WEAKEST_REPEAT &&
            each.score > element.strength)
            element = {each.value, each.score};
    }
    return element;
}

// Rows of values between a header and a trailer told by values, not by
// bytes that repeat exactly.
void weigh_rows(const file_sample& sample, std::uint32_t row, double fit,
                layout_hypothesis& hypothesis)
{
    row_bounds bounds = find_row_bounds(sample, row);
    if (!bounds.found ||
        (bounds.rows < FEWEST_BINARY_RECORDS && bounds.rows * row < LEAST_BINARY_RECORD_BYTES))
        return;
    set_fixed_length(hypothesis.layout, sample, bounds.header, row, bounds.rows, bounds.trailer);
    std::uint64_t size = sample.file_size ? *sample.file_size : sample.start.size();
    hypothesis.profiled = true;
    hypothesis.viable = true;
    hypothesis.explained =
        std::min(1.0, static_cast<double>(bounds.rows * row) / static_cast<double>(size));
    hypothesis.fit = std::clamp(fit, 0.0, 1.0);
}

// Values of one size in rows of one length (images, grids, volumes): the
// row is the record, the value its element. A short period found by the
// byte search is the element; where it finds no rows (a sample of a
// pixel), the strongest short multiple of it is tried. Without one (a row
// that repeats byte for byte outshines its samples; bytes mostly of one
// value hide them), the strongest short length and single bytes are both
// tried, and the element whose rows line up better wins, the longer where
// both find one row.
void weigh_element_rows(survey_evidence& evidence, layout_hypothesis& hypothesis)
{
    if (is_text(evidence.guess.encoding))
        return;
    const period_choice& period = evidence.periods();
    byte_span region = period_region(evidence.sample);
    period_guess found = period.choice;
    period_guess element = found;
    element_choice rows;
    if (found.length != 0 && found.length <= LONGEST_ELEMENT) {
        rows = find_element_rows(region, found.length);
        period_guess pixel = strongest_short_length(period, found.length);
        if (rows.choice.row == 0 && pixel.length != 0) {
            rows = find_element_rows(region, pixel.length);
            element = pixel;
        }
    } else {
        element = {1, 0};
        rows = find_element_rows(region, 1);
        period_guess shorter = strongest_short_length(period, 1);
        if (shorter.length > 1) {
            element_choice other = find_element_rows(region, shorter.length);
            if (other.choice.row == rows.choice.row ||
                other.choice.strength > rows.choice.strength) {
                rows = other;
                element = shorter;
            }
        }
    }
    // Rows that are runs of the records the bytes repeat at are those
    // records' to claim, where their bytes show where they start.
    if (rows.choice.row == 0)
        return;
    if (found.length > LONGEST_ELEMENT && rows.choice.row % found.length == 0 &&
        evidence.bounds_of(found.length, hypothesis.layout.encoding).found)
        return;
    // Rows of elements fit as well as the elements do, and line up in
    // value besides.
    double fit = element.strength + (1 - element.strength) * rows.choice.strength;
    weigh_rows(evidence.sample, rows.choice.row, fit, hypothesis);
    if (hypothesis.viable)
        hypothesis.layout.element_length = rows.choice.element;
}

// Sectors whose contents are padded with zeros to their end: the share of
// sectors so padded is the fit.
void weigh_padded_sectors(survey_evidence& evidence, layout_hypothesis& hypothesis)
{
    if (is_text(evidence.guess.encoding))
        return;
    const file_sample& sample = evidence.sample;
    bool later = sample.later.size() >= 2;
    sector_guess sectors =
        find_padded_sectors(period_region(sample), later ? sample.later.front().offset : 0);
    if (sectors.length != 0)
        weigh_length(evidence, sectors.length, sectors.strength, hypothesis);
}

// Values that only grow, a run of them or a field of each record, as the
// records from the run's first value on or to the file's end.
void weigh_growing_run(const file_sample& sample, const ascending_run& run,
                       layout_hypothesis& hypothesis)
{
    std::uint64_t size = sample.file_size ? *sample.file_size : sample.start.size();
    std::uint64_t records = run.values * run.stride;
    std::uint64_t header = run.stride == run.width ? run.first : size - records;
    set_fixed_length(hypothesis.layout, sample, header, run.stride, run.values,
                     size - header - records);
    hypothesis.profiled = true;
    hypothesis.viable = true;
    hypothesis.explained = static_cast<double>(records) / static_cast<double>(size);
    hypothesis.fit = ASCENDING_FIT;
}

// A table of values that only grow: each value a record, the bytes before
// the run a header.
void weigh_ascending_values(survey_evidence& evidence, layout_hypothesis& hypothesis)
{
    if (is_text(evidence.guess.encoding))
        return;
    ascending_run run = find_ascending_values(evidence.sample).choice;
    if (run.width != 0)
        weigh_growing_run(evidence.sample, run, hypothesis);
}

// Records with a field that grows from one to the next (an index's offsets
// beside their sizes): the evidence of a file too small for its records to
// repeat in other ways, so weighed only where nothing else leads; the
// other ways tell a header's end better.
void weigh_growing_field(survey_evidence& evidence, layout_hypothesis& hypothesis)
{
    if (is_text(evidence.guess.encoding) || evidence.leading)
        return;
    ascending_run run = find_growing_field(evidence.sample);
    if (run.width != 0)
        weigh_growing_run(evidence.sample, run, hypothesis);
}

using weigher = void (*)(survey_evidence&, layout_hypothesis&);

struct hypothesis_kind {
    const char* name;
    weigher weigh;
};

// In the order that wins ties. A new kind of layout is one more row.
constexpr hypothesis_kind HYPOTHESES[] = {
    {"stated", weigh_stated},
    {"length-prefixed", weigh_length_prefix},
    {"ascending values", weigh_ascending_values},
    {"record types", weigh_record_types},
    {"lines", weigh_lines},
    {"fixed-length", weigh_fixed_length},
    {"longer fixed-length", weigh_longer_length},
    {"rows of values", weigh_element_rows},
    {"padded sectors", weigh_padded_sectors},
    {"growing field", weigh_growing_field},
};

} // namespace

// The encoding of bytes judged from their first byte from 0x80 on, with
// the lines before it for context; none when every byte is ASCII.
std::optional<text_encoding> encoding_from_first_high(byte_span bytes)
{
    constexpr std::size_t CONTEXT = 4096;
    std::size_t at = first_high_byte(bytes.data(), bytes.size());
    if (at == bytes.size())
        return std::nullopt;
    std::size_t from = at > CONTEXT ? at - CONTEXT : 0;
    // The context may start inside a character: its continuation bytes go.
    while (from < at && (bytes[from] & 0xC0) == 0x80)
        from++;
    return guess_encoding(bytes.subspan(from)).encoding;
}

// Text that is ASCII where its encoding was judged may hold other
// characters further on (a list sorted by name reaches its accented names
// late): the first of them, in the rest of the start or a later piece, in
// UTF-8, Latin-1 or Windows-1252, names the file's encoding instead.
encoding_guess widened_by_later(const file_sample& sample, encoding_guess guess)
{
    if (guess.encoding != text_encoding::ascii)
        return guess;
    std::optional<text_encoding> later = encoding_from_first_high(sample.start);
    for (std::size_t piece = 0; !later && piece < sample.later.size(); piece++)
        later = encoding_from_first_high(sample.later[piece].bytes);
    if (later == text_encoding::utf8 || later == text_encoding::latin1 ||
        later == text_encoding::windows1252)
        guess.encoding = *later;
    return guess;
}

layout_contest weigh_layouts(const file_sample& sample)
{
    layout_contest contest;
    file_layout& layout = contest.choice;
    if (sample.start.empty()) {
        layout.encoding = text_encoding::ascii;
        layout.kind = record_layout::empty;
        layout.records = 0;
        return contest;
    }
    survey_evidence evidence{sample,       widened_by_later(sample, guess_encoding(sample.start)),
                             std::nullopt, std::nullopt,
                             {},           std::nullopt};
    layout.encoding = evidence.guess.encoding;
    layout.byte_order_mark = evidence.guess.byte_order_mark > 0;
    contest.chosen = std::size(HYPOTHESES);
    double best = 0;
    for (const hypothesis_kind& kind : HYPOTHESES) {
        // Nothing beats evidence for every byte, and ties go to the
        // earlier: the rest need not be weighed.
        if (contest.chosen < contest.hypotheses.size() && best >= MOST_EVIDENCE)
            break;
        layout_hypothesis hypothesis;
        hypothesis.name = kind.name;
        hypothesis.layout = layout;
        kind.weigh(evidence, hypothesis);
        if (hypothesis.viable &&
            (contest.chosen == std::size(HYPOTHESES) || hypothesis.evidence() > best)) {
            best = hypothesis.evidence();
            contest.chosen = contest.hypotheses.size();
            evidence.leading = best;
        }
        contest.hypotheses.push_back(std::move(hypothesis));
    }
    if (contest.chosen < contest.hypotheses.size()) {
        layout_hypothesis& chosen = contest.hypotheses[contest.chosen];
        if (chosen.profiled)
            profile_fixed_length(chosen.layout, sample);
        layout = chosen.layout;
        describe_columns(sample, layout, evidence.start_lines ? &*evidence.start_lines : nullptr);
        profile_lines_of_one_length(layout, sample);
        return contest;
    }
    layout.kind = record_layout::unknown;
    layout.usual_length = 0;
    return contest;
}

file_layout survey_layout(const file_sample& sample)
{
    return weigh_layouts(sample).choice;
}
