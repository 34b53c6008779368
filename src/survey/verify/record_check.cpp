#include "record_check.h"

#include "../base/byte_class.h"
#include "../base/text_decode.h"

#include <algorithm>
#include <bit>
#include <cstdio>
#include <cstring>

namespace
{

enum line_ending { ending_none, ending_line_end, ending_crlf, ending_lone_cr, ending_open_quote };

constexpr unsigned char NEL = 0x15;

std::uint64_t lanes_below(unsigned count)
{
    return count >= 64 ? ~std::uint64_t{0} : (std::uint64_t{1} << count) - 1;
}

std::uint64_t lanes_between(unsigned from, unsigned to)
{
    return lanes_below(to) & ~lanes_below(from);
}

unsigned terminator_length(line_terminator terminator)
{
    return terminator == line_terminator::crlf ? 2 : 1;
}

line_ending ending_of(line_terminator terminator)
{
    switch (terminator) {
    case line_terminator::lf:
    case line_terminator::nel:
        return ending_line_end;
    case line_terminator::crlf:
        return ending_crlf;
    case line_terminator::cr:
        return ending_lone_cr;
    default:
        return ending_none;
    }
}

std::string ending_name(int ending, const record_rules& rules)
{
    switch (ending) {
    case ending_line_end:
        return rules.targets.line_end == NEL ? "NEL" : "LF";
    case ending_crlf:
        return "CR LF";
    default:
        return "CR";
    }
}

std::string hex_byte(unsigned byte)
{
    char text[8];
    std::snprintf(text, sizeof text, "0x%02X", byte);
    return text;
}

std::string class_names(unsigned classes)
{
    static const char* const names[8] = {"NUL",
                                         "a control byte",
                                         "a blank",
                                         "a digit",
                                         "an upper-case letter",
                                         "a lower-case letter",
                                         "punctuation",
                                         "a byte outside the basic letters"};
    // Every class but NUL and the control bytes: what text is made of.
    if (classes == (0xFFu & ~unsigned{BYTE_NUL | BYTE_CONTROL}))
        return "text";
    std::vector<std::string> chosen;
    for (unsigned bit = 0; bit < 8; bit++) {
        if (classes >> bit & 1)
            chosen.push_back(names[bit]);
    }
    if (chosen.empty())
        return "no byte at all";
    std::string text = chosen[0];
    for (std::size_t i = 1; i < chosen.size(); i++)
        text += (i + 1 == chosen.size() ? " or " : ", ") + chosen[i];
    return text;
}

std::string byte_miss_text(const record_rules& rules, std::uint64_t offset, unsigned char byte)
{
    std::uint64_t lane = rules.layout == record_layout::lines ? PROFILE_PAD + offset : offset;
    std::string expected =
        rules.care[lane] != 0 ? hex_byte(rules.value[lane]) : class_names(rules.allowed[lane]);
    return "byte " + std::to_string(offset) + " is " + hex_byte(byte) + ", expected " + expected;
}

// The profile as lanes: allowed classes, constant value and whether it
// holds, for offsets below the profile's length.
void fill_profile(record_rules& rules, const record_profile& profile, std::uint64_t length)
{
    std::uint64_t known = std::max(profile.allowed_classes.size(), profile.constant_byte.size());
    rules.profile_length = std::min(known, length);
    if (rules.profile_length == 0)
        return;
    bool fixed = rules.layout == record_layout::fixed_length;
    // Fixed-length lanes repeat the whole record; the offsets past the
    // profile allow anything.
    std::uint64_t period = fixed ? length : rules.profile_length;
    std::uint64_t lanes = fixed ? length + BLOCK_SIZE : PROFILE_PAD + period + PROFILE_PAD;
    rules.allowed.assign(lanes, 0xFF);
    rules.value.assign(lanes, 0);
    rules.care.assign(lanes, 0);
    std::uint64_t first = fixed ? 0 : PROFILE_PAD;
    std::uint64_t count = fixed ? lanes : period;
    for (std::uint64_t i = 0; i < count; i++) {
        std::uint64_t offset = i % period;
        if (offset >= rules.profile_length)
            continue;
        if (offset < profile.allowed_classes.size())
            rules.allowed[first + i] = profile.allowed_classes[offset];
        if (offset < profile.constant_byte.size() && profile.constant_byte[offset] >= 0) {
            rules.value[first + i] = static_cast<unsigned char>(profile.constant_byte[offset]);
            rules.care[first + i] = 0xFF;
        }
    }
}

} // namespace

bool has_records(const file_layout& layout)
{
    if (layout.kind == record_layout::fixed_length)
        return layout.record_length.value_or(0) > 0;
    return layout.kind == record_layout::lines;
}

record_rules rules_for(const file_layout& layout, const block_kernels& kernels)
{
    record_rules rules;
    rules.layout = layout.kind;
    rules.region_start = layout.header_length;
    rules.record_length = layout.record_length.value_or(0);
    rules.terminator = layout.terminator;
    rules.kernels = kernels;
    rules.classes = class_sets_of(byte_classes_of(layout.encoding));
    if (!rules.classes.one_class_per_byte) {
        rules.kernels.profile_misses = portable_kernels().profile_misses;
        rules.kernels.fixed_misses = portable_kernels().fixed_misses;
    }
    if (layout.kind == record_layout::lines) {
        bool utf16 =
            layout.encoding == text_encoding::utf16le || layout.encoding == text_encoding::utf16be;
        rules.unit = utf16 ? 2 : 1;
        rules.big_endian = layout.encoding == text_encoding::utf16be;
        bool nel = layout.terminator == line_terminator::nel ||
                   (layout.encoding == text_encoding::ebcdic &&
                    layout.terminator == line_terminator::none);
        if (nel)
            rules.terminator = line_terminator::nel;
        rules.targets.line_end = nel ? NEL : line_feed_byte(layout.encoding);
        rules.targets.carriage_return = '\r';
        rules.find_carriage_return = !nel && !layout.returns_inside;
        // Blanks that separate fields come in runs of any length; the count
        // of single blanks says nothing of the fields.
        // Nor is a byte that may be the second of a double-byte character.
        rules.find_delimiter = layout.delimiter.has_value() && *layout.delimiter != ' ' &&
                               !may_trail_a_lead(layout.encoding, *layout.delimiter);
        // The layout names them as ASCII; the records hold them encoded.
        rules.targets.delimiter = encoded_byte(layout.delimiter.value_or(0), layout.encoding);
        rules.find_quote = layout.quote.has_value();
        rules.targets.quote = encoded_byte(layout.quote.value_or(0), layout.encoding);
        rules.fields = rules.find_delimiter ? layout.fields.value_or(0) : 0;
        rules.fields_most = rules.fields;
        if (rules.fields > 0 && layout.fewest_fields > 0 &&
            layout.most_fields >= layout.fewest_fields) {
            rules.fields = layout.fewest_fields;
            rules.fields_most = layout.most_fields;
        }
        if (rules.fields > 0 && rules.fields == rules.fields_most && rules.fields <= 64)
            rules.field_patterns = field_patterns(rules.fields);
    }
    rules.first_record_is_names = layout.header_row;
    // Profiles of UTF-16 lines would need their bytes, not their units.
    if (rules.record_length > 0 && rules.unit == 1)
        fill_profile(rules, layout.profile, rules.record_length);
    return rules;
}

record_checker::record_checker(const record_rules& rules, record_range range, bool first_range,
                               bool quote_open, const unsigned char before[2])
    : rules_(rules), range_(range), block_bytes_(BLOCK_SIZE * rules.unit), position_(range.from),
      origin_(range.from), record_open_(first_range), record_start_(range.from),
      record_is_names_(first_range && rules.first_record_is_names),
      wanted_ending_(ending_of(rules.terminator)), units_(BATCH * BLOCK_SIZE)
{
    static const line_end_rule rule_of[] = {line_end_rule::any, line_end_rule::line_end,
                                            line_end_rule::crlf, line_end_rule::carriage_return};
    scan_rules_ = {rules.targets,
                   rules.find_carriage_return,
                   rules.find_delimiter,
                   rules.find_quote,
                   rule_of[wanted_ending_],
                   rules.fields == rules.fields_most ? rules.fields : 0u,
                   rules.field_patterns.data()};
    scan_whole_ = rules.layout == record_layout::lines && rules.unit == 1 &&
                  rules.record_length == 0 && rules.profile_length == 0 &&
                  (rules.fields == 0 || !rules.field_patterns.empty());
    fields_most_ = rules.fields_most;
    carry_.quote_open = quote_open;
    if (!first_range && !quote_open && before != nullptr) {
        carry_.after_line_end = before[1] == rules.targets.line_end;
        carry_.after_carriage_return =
            rules.find_carriage_return && before[1] == rules.targets.carriage_return;
        carry_.after_crlf = carry_.after_line_end && rules.find_carriage_return &&
                            before[0] == rules.targets.carriage_return;
    }
}

bool record_checker::feed(byte_span bytes)
{
    if (rules_.layout == record_layout::fixed_length)
        return feed_fixed(bytes);
    const unsigned char* at = bytes.data();
    std::size_t left = bytes.size();
    while (left > 0 && !stopped_) {
        if (pending_length_ == 0 && left >= block_bytes_) {
            std::size_t blocks = left / block_bytes_;
            take_blocks(at, blocks);
            at += blocks * block_bytes_;
            left -= blocks * block_bytes_;
            continue;
        }
        std::size_t taken = std::min(block_bytes_ - pending_length_, left);
        std::memcpy(pending_ + pending_length_, at, taken);
        pending_length_ += taken;
        at += taken;
        left -= taken;
        if (pending_length_ == block_bytes_) {
            pending_length_ = 0;
            take_blocks(pending_, 1);
        }
    }
    return !stopped_;
}

void record_checker::finish()
{
    if (stopped_)
        return;
    // A look-ahead cut off by the end decides on what it has; the bytes it
    // gives back may end in a block of their own, and start another.
    while (rules_.layout == record_layout::fixed_length &&
           (looking_ahead_ || pending_length_ > 0)) {
        if (looking_ahead_) {
            settle_look_ahead();
            continue;
        }
        std::memset(pending_ + pending_length_, 0, sizeof pending_ - pending_length_);
        std::size_t length = pending_length_;
        pending_length_ = 0;
        take_last_block(pending_, length);
    }
    if (pending_length_ > 0) {
        std::memset(pending_ + pending_length_, 0, sizeof pending_ - pending_length_);
        std::size_t length = pending_length_;
        pending_length_ = 0;
        take_last_block(pending_, length);
    }
    if (stopped_)
        return;
    if (rules_.layout == record_layout::fixed_length) {
        close_fixed_end();
        return;
    }
    if (!record_open_)
        return;
    if (rules_.find_quote && carry_.quote_open)
        close_line(position_, ending_open_quote);
    else if (carry_.after_crlf)
        close_line(position_, ending_crlf);
    else if (carry_.after_line_end)
        close_line(position_, ending_line_end);
    else if (carry_.after_carriage_return)
        close_line(position_, ending_lone_cr);
    else if (position_ > record_start_)
        close_line(position_, ending_none);
}

void record_checker::take_blocks(const unsigned char* bytes, std::size_t blocks)
{
    while (blocks > 0 && !stopped_) {
        std::size_t passed = pass_fitting_blocks(bytes, blocks);
        bytes += passed * block_bytes_;
        blocks -= passed;
        if (blocks == 0)
            break;
        // After a block that needs a closer look, scanning whole blocks
        // goes on with the next.
        std::size_t count = scan_whole_ ? 1 : std::min(blocks, BATCH);
        const unsigned char* units = bytes;
        if (rules_.unit != 1) {
            for (std::size_t i = 0; i < count; i++)
                narrow_units(bytes + i * block_bytes_, block_bytes_,
                             units_.data() + i * BLOCK_SIZE);
            units = units_.data();
        }
        rules_.kernels.find(units, count, rules_.targets, masks_);
        for (std::size_t i = 0; i < count; i++) {
            check_line_block(units + i * BLOCK_SIZE, masks_[i], BLOCK_SIZE);
            if (stopped_)
                return;
            position_ += block_bytes_;
        }
        bytes += count * block_bytes_;
        blocks -= count;
    }
}

// Passes the blocks that end before the range's end while every record
// ending in them fits. Gives the count passed.
std::size_t record_checker::pass_fitting_blocks(const unsigned char* bytes, std::size_t blocks)
{
    if (!scan_whole_ || !record_open_ || position_ >= range_.to)
        return 0;
    std::size_t before_end = static_cast<std::size_t>(
        std::min<std::uint64_t>(blocks, (range_.to - position_ - 1) / BLOCK_SIZE));
    if (before_end == 0)
        return 0;
    line_scan_state state{carry_, record_delimiters_, result_.records, 0, false};
    std::size_t passed = rules_.kernels.scan_lines(bytes, before_end, scan_rules_, state);
    carry_ = state.carry;
    record_delimiters_ = state.delimiters;
    result_.records = state.records;
    if (state.started) {
        record_start_ = position_ + state.last_start;
        record_is_names_ = false;
    }
    position_ += passed * BLOCK_SIZE;
    return passed;
}

// The block the bytes end in, padded with zeros that no mask counts.
void record_checker::take_last_block(const unsigned char* bytes, std::size_t length)
{
    if (rules_.layout == record_layout::fixed_length) {
        check_fixed_block(bytes, length);
    } else {
        const unsigned char* units = bytes;
        if (rules_.unit != 1) {
            narrow_units(bytes, length, units_.data());
            units = units_.data();
        }
        rules_.kernels.find(units, 1, rules_.targets, masks_);
        // A last unit cut short is a unit all the same, of no line end.
        unsigned count = static_cast<unsigned>((length + rules_.unit - 1) / rules_.unit);
        check_line_block(units, masks_[0], count);
    }
    if (!stopped_)
        position_ += length;
}

// A UTF-16 unit that is an ASCII character becomes that byte; any other
// becomes 0xFF, which is never a line end, delimiter or quote.
void record_checker::narrow_units(const unsigned char* bytes, std::size_t length,
                                  unsigned char* units) const
{
    std::size_t count = length / 2;
    for (std::size_t i = 0; i < BLOCK_SIZE; i++) {
        unsigned char low = bytes[2 * i + (rules_.big_endian ? 1 : 0)];
        unsigned char high = bytes[2 * i + (rules_.big_endian ? 0 : 1)];
        units[i] = i < count && high == 0 ? low : 0xFF;
    }
}

void record_checker::count_anomaly(std::uint64_t record, std::uint64_t offset, anomaly_kind kind,
                                   const std::function<std::string()>& what)
{
    result_.anomalies++;
    result_.anomaly_kinds[static_cast<std::size_t>(kind)]++;
    if (result_.first.size() < rules_.kept_anomalies)
        result_.first.push_back(record_anomaly{record, offset, what(), kind, std::nullopt});
}

// Stops after the block where a look-ahead starts; gives the blocks taken.
std::size_t record_checker::check_fixed_blocks(const unsigned char* bytes, std::size_t blocks)
{
    std::uint64_t misses[BATCH] = {};
    std::size_t taken = 0;
    while (taken < blocks) {
        std::size_t count = std::min(blocks - taken, BATCH);
        if (rules_.profile_length > 0)
            rules_.kernels.fixed_misses(bytes, count, profile_at(0), phase_, rules_.record_length,
                                        rules_.classes, misses);
        for (std::size_t i = 0; i < count; i++) {
            const unsigned char* block = bytes + i * BLOCK_SIZE;
            const unsigned char* before = taken + i > 0              ? block - SHIFT_MOST
                                          : recent_end_ == position_ ? recent_
                                                                     : nullptr;
            note_fixed_misses(block, BLOCK_SIZE, misses[i], before);
            position_ += BLOCK_SIZE;
            if (looking_ahead_)
                return taken + i + 1;
        }
        bytes += count * BLOCK_SIZE;
        taken += count;
    }
    // Kept for a look-ahead that starts in the next block.
    std::memcpy(recent_, bytes - SHIFT_MOST, SHIFT_MOST);
    recent_end_ = position_;
    return taken;
}

void record_checker::check_fixed_block(const unsigned char* bytes, std::size_t length)
{
    std::uint64_t misses = 0;
    if (rules_.profile_length > 0)
        misses = rules_.kernels.profile_misses(bytes, profile_at(phase_), rules_.classes) &
                 lanes_below(static_cast<unsigned>(length));
    note_fixed_misses(bytes, length, misses, recent_end_ == position_ ? recent_ : nullptr);
}

profile_lanes record_checker::profile_at(std::uint64_t phase) const
{
    return {rules_.allowed.data() + phase, rules_.value.data() + phase, rules_.care.data() + phase};
}

// Counts each record with a miss once, and moves the phase on.
void record_checker::note_fixed_misses(const unsigned char* bytes, std::size_t length,
                                       std::uint64_t misses, const unsigned char* before)
{
    std::uint64_t record_length = rules_.record_length;
    while (misses != 0) {
        unsigned lane = static_cast<unsigned>(std::countr_zero(misses));
        std::uint64_t index = (position_ + lane - origin_) / record_length;
        std::uint64_t start = origin_ + index * record_length;
        std::uint64_t record = records_before_ + index + 1;
        bool names = record == 1 && rules_.first_record_is_names && record_is_names_;
        if (record != last_bad_record_ && !names) {
            last_bad_record_ = record;
            std::uint64_t offset = position_ + lane - start;
            unsigned char byte = bytes[lane];
            if (starts_look_ahead(record, start, offset, byte, bytes, length, before))
                return;
            count_byte_miss(record, start, offset, byte);
        }
        std::uint64_t next = start + record_length - position_;
        misses &= next >= 64 ? 0 : ~lanes_below(static_cast<unsigned>(next));
    }
    phase_ = phase_after(phase_, length, record_length);
}

void record_checker::count_byte_miss(std::uint64_t record, std::uint64_t start,
                                     std::uint64_t offset, unsigned char byte)
{
    count_anomaly(record, start, anomaly_kind::byte_class,
                  [&] { return byte_miss_text(rules_, offset, byte); });
}

void record_checker::close_fixed_end()
{
    std::uint64_t length = rules_.record_length;
    std::uint64_t bytes = position_ - std::min(position_, origin_);
    result_.records = records_before_ + (bytes + length - 1) / length;
    std::uint64_t cut = bytes % length;
    result_.fixed_tail = cut;
    if (cut != 0 && last_bad_record_ != result_.records) {
        result_.tail_counted = true;
        count_anomaly(result_.records, position_ - cut, anomaly_kind::cut_short, [&] {
            return "cut short: " + std::to_string(cut) + " of " + std::to_string(length) + " bytes";
        });
    }
}

void record_checker::check_line_block(const unsigned char* units, const block_masks& masks,
                                      unsigned count)
{
    const unsigned unit = rules_.unit;
    std::uint64_t valid = lanes_below(count);
    // Quote bytes past the valid ones are zeros, never quotes.
    std::uint64_t inside = inside_quotes(masks, rules_.find_quote, carry_);
    std::uint64_t end_of_block = position_ + std::uint64_t{count} * unit;
    if (!quote_state_taken_ && range_.to >= position_ && range_.to <= end_of_block) {
        quote_state_taken_ = true;
        std::uint64_t lanes = (range_.to - position_) / unit;
        result_.quote_open_at_end =
            lanes == 0 ? carry_.quote_open != 0 : (inside >> (lanes - 1) & 1) != 0;
    }
    if (count == 0)
        return;
    line_bits lines =
        next_lines(masks, rules_.find_quote, rules_.find_carriage_return, count, carry_);
    std::uint64_t starts = lines.starts, after_line_end = lines.after_line_end,
                  after_pair = lines.after_pair;
    std::uint64_t delimiters = rules_.find_delimiter ? masks.delimiter & ~inside & valid : 0;
    // Records whose line end is of another kind than the layout's.
    std::uint64_t wrong_ends = wrong_line_ends(lines, scan_rules_.ends);

    unsigned char counts[BLOCK_SIZE + 1];
    rules_.kernels.count_between(starts, delimiters, counts);
    // The record being read, in locals while no record breaks the layout.
    const std::uint64_t record_length = rules_.record_length, fields = rules_.fields;
    const std::uint64_t stop = range_.to;
    std::uint64_t record_start = record_start_, records = result_.records;
    std::uint64_t record_delimiters = record_delimiters_;
    unsigned first_lane = 0, segment = 0;
    while (starts != 0) {
        unsigned lane = static_cast<unsigned>(std::countr_zero(starts));
        starts &= starts - 1;
        std::uint64_t start = position_ + std::uint64_t{lane} * unit;
        if (record_open_) {
            record_delimiters += counts[segment];
            if (rules_.profile_length > 0) {
                record_start_ = record_start;
                note_profile_misses(units, position_, first_lane, lane);
            }
            bool fits = !(wrong_ends >> lane & 1) &&
                        (record_length == 0 || start - record_start == record_length) &&
                        (fields == 0 || (record_delimiters + 1 >= fields &&
                                         record_delimiters + 1 <= fields_most_)) &&
                        !record_miss_;
            if (fits) {
                records++;
            } else {
                result_.records = records;
                record_start_ = record_start;
                record_delimiters_ = record_delimiters;
                close_line(start, (after_pair >> lane & 1)       ? ending_crlf
                                  : (after_line_end >> lane & 1) ? ending_line_end
                                                                 : ending_lone_cr);
                records = result_.records;
            }
            record_is_names_ = false;
        }
        if (start >= stop) {
            result_.records = records;
            stopped_ = true;
            return;
        }
        record_open_ = true;
        record_start = start;
        record_delimiters = 0;
        record_miss_.reset();
        first_lane = lane;
        segment++;
    }
    result_.records = records;
    record_start_ = record_start;
    record_delimiters_ = record_delimiters;
    if (record_open_) {
        record_delimiters_ += counts[segment];
        if (rules_.profile_length > 0)
            note_profile_misses(units, position_, first_lane, count);
    }
}

void record_checker::note_profile_misses(const unsigned char* units, std::uint64_t position,
                                         unsigned from, unsigned to)
{
    if (rules_.profile_length == 0 || record_miss_ || record_is_names_ || from == to)
        return;
    if (position + from - record_start_ >= rules_.profile_length)
        return;
    // Lane i of the block lies at offset position + i - record_start_ of
    // the record; the padding before the profile covers a record that
    // starts inside the block.
    std::size_t first = static_cast<std::size_t>(PROFILE_PAD + position - record_start_);
    profile_lanes lanes{rules_.allowed.data() + first, rules_.value.data() + first,
                        rules_.care.data() + first};
    std::uint64_t misses =
        rules_.kernels.profile_misses(units, lanes, rules_.classes) & lanes_between(from, to);
    if (misses != 0) {
        unsigned lane = static_cast<unsigned>(std::countr_zero(misses));
        record_miss_ = std::make_pair(position + lane - record_start_, units[lane]);
    }
}

void record_checker::close_line(std::uint64_t end, int ending)
{
    result_.records++;
    std::uint64_t record = result_.records;
    std::uint64_t length = end - record_start_;
    std::uint64_t start = record_start_;
    record_is_names_ = false;
    line_ending wanted = ending_of(rules_.terminator);
    std::uint64_t expected_length = rules_.record_length;
    if (ending == ending_none && expected_length > 0)
        expected_length -= std::min<std::uint64_t>(
            expected_length, terminator_length(rules_.terminator) * rules_.unit);
    std::uint64_t fields = record_delimiters_ + 1;
    if (ending == ending_open_quote) {
        count_anomaly(record, start, anomaly_kind::quote,
                      [] { return std::string("quote not closed at end of file"); });
    } else if (wanted != ending_none && ending != ending_none && ending != wanted) {
        count_anomaly(record, start, anomaly_kind::line_end, [&] {
            return "ends with " + ending_name(ending, rules_) + ", expected " +
                   ending_name(wanted, rules_);
        });
    } else if (expected_length > 0 && length != expected_length) {
        count_anomaly(record, start, anomaly_kind::length, [&] {
            return "length " + std::to_string(length) + ", expected " +
                   std::to_string(expected_length);
        });
    } else if (rules_.fields > 0 && (fields < rules_.fields || fields > rules_.fields_most)) {
        count_anomaly(record, start, anomaly_kind::field_count, [&] {
            std::string expected = std::to_string(rules_.fields);
            if (rules_.fields_most > rules_.fields)
                expected += " to " + std::to_string(rules_.fields_most);
            return std::to_string(fields) + (fields == 1 ? " field" : " fields") + ", expected " +
                   expected;
        });
    } else if (record_miss_) {
        std::uint64_t offset = record_miss_->first;
        unsigned char byte = record_miss_->second;
        count_anomaly(record, start, anomaly_kind::byte_class,
                      [&] { return byte_miss_text(rules_, offset, byte); });
    }
}
