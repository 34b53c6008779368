#include "layout_survey.h"

#include "../base/byte_class.h"
#include "described_columns.h"
#include "encoding_guess.h"
#include "known_formats.h"
#include "../base/lines.h"
#include "period_search.h"
#include "record_bounds.h"
#include "record_profile.h"
#include "text_columns.h"
#include "../base/text_decode.h"
#include "text_layout.h"

#include <algorithm>

namespace
{

// Lines longer than this on average are not lines but stray line-end
// bytes in something else.
constexpr std::uint64_t LONGEST_USUAL_LINE = 65536;
constexpr std::size_t CENSUS_BYTES = std::size_t{1} << 18;

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
    layout.columns = find_text_columns(records);
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
    std::uint64_t records_end = header + records * length;
    if (length <= LONGEST_PERIOD)
        layout.profile =
            profile_records(sample, header, records_end, static_cast<std::uint32_t>(length),
                            byte_classes_of(layout.encoding));
    if (is_text(layout.encoding))
        find_record_columns(layout, sample, records_end);
}

bool survey_stated(const file_sample& sample, file_layout& layout)
{
    if (!sample.file_size)
        return false;
    std::optional<stated_layout> stated = read_stated_layout(sample.start, *sample.file_size);
    if (!stated)
        return false;
    if (stated->varying) {
        layout.kind = record_layout::unknown;
        layout.format_name = stated->format_name;
        return true;
    }
    set_fixed_length(layout, sample, stated->header, stated->record_length, stated->records,
                     stated->trailer);
    layout.format_name = stated->format_name;
    // Samples, pixels, pages and blocks hold any bytes: a record of them is
    // held to its length alone.
    if (!stated->records_are_text)
        layout.profile = {};
    if (!stated->columns.empty())
        layout.columns = stated->columns;
    return true;
}

bool survey_as_lines(const file_sample& sample, const encoding_guess& guess, file_layout& layout)
{
    if (!is_text(guess.encoding))
        return false;
    // The start of the file tells which line ends it uses.
    byte_span text = sample.start.subspan(guess.byte_order_mark);
    bool to_end = sample_is_whole_file(sample) && text.size() <= CENSUS_BYTES;
    text = text.first(std::min(text.size(), CENSUS_BYTES));
    line_end_census census = count_line_ends(text, guess.encoding, to_end);
    std::uint64_t line_ends = total_line_ends(census);
    if (line_ends == 0 || text.size() / line_ends > LONGEST_USUAL_LINE)
        return false;
    layout.kind = record_layout::lines;
    layout.terminator = choose_terminator(census);
    survey_text_lines(sample, guess, layout);
    return true;
}

// Records of one length are looked for in the middle of a large file,
// away from its header and trailer.
byte_span period_region(const file_sample& sample)
{
    if (sample.later.size() >= 2)
        return sample.later.front().bytes;
    return sample.start;
}

bool survey_as_fixed_length(const file_sample& sample, file_layout& layout)
{
    const byte_class_table* text_classes =
        is_text(layout.encoding) ? &byte_classes_of(layout.encoding) : nullptr;
    period_guess period = find_period(period_region(sample), text_classes);
    if (period.length == 0)
        return false;
    const byte_class_table& classes = byte_classes_of(layout.encoding);
    record_bounds bounds = find_record_bounds(sample, period.length, classes);
    if (!bounds.found)
        return false;
    set_fixed_length(layout, sample, bounds.header, period.length, bounds.records, bounds.trailer);
    return true;
}

} // namespace

file_layout survey_layout(const file_sample& sample)
{
    file_layout layout;
    if (sample.start.empty()) {
        layout.encoding = text_encoding::ascii;
        layout.kind = record_layout::empty;
        layout.records = 0;
        return layout;
    }
    encoding_guess guess = guess_encoding(sample.start);
    layout.encoding = guess.encoding;
    layout.byte_order_mark = guess.byte_order_mark > 0;
    if (survey_stated(sample, layout) || survey_as_lines(sample, guess, layout) ||
        survey_as_fixed_length(sample, layout)) {
        describe_columns(sample, layout);
        return layout;
    }
    layout.kind = record_layout::unknown;
    layout.usual_length = 0;
    return layout;
}
