#include "typed_records.h"

#include "window_reading.h"

#include <vector>

namespace
{

// Past this a tag is no tag; the survey takes tags no longer.
constexpr std::size_t LONGEST_TAG = 6;

bool is_tag_byte(unsigned char byte)
{
    return (byte >= 'A' && byte <= 'Z') || (byte >= '0' && byte <= '9');
}

bool is_line_end(unsigned char byte)
{
    return byte == '\n' || byte == '\r';
}

std::string fields_text(std::uint32_t count)
{
    return std::to_string(count) + (count == 1 ? " field" : " fields");
}

} // namespace

typed_checker::typed_checker(const file_layout& layout) : layout_(layout)
{
    for (const record_type& type : layout.record_types)
        types_.emplace(type.tag, &type);
}

void typed_checker::count_anomaly(anomaly_kind kind, std::string what)
{
    outcome_.anomalies++;
    outcome_.anomaly_kinds[static_cast<std::size_t>(kind)]++;
    if (outcome_.first_anomalies.size() < DEFAULT_MAX_ANOMALIES)
        outcome_.first_anomalies.push_back(
            record_anomaly{outcome_.records, record_start_, std::move(what), kind, std::nullopt});
}

// The first field that starts with the type field's key is the tag, as
// the survey takes it; the first field, BeginString in FIX, never is.
void typed_checker::end_field()
{
    const std::string& key = layout_.type_field;
    if (!tag_done_ && fields_ > 1 && field_.compare(0, key.size(), key) == 0) {
        tag_done_ = true;
        if (field_.size() > key.size() && field_.size() <= LONGEST_TAG) {
            tag_ = field_;
            after_tag_ = layout_.delimiter.value_or(0);
        }
    }
    field_.clear();
}

void typed_checker::take_field_tag(unsigned char byte)
{
    if (layout_.delimiter && byte == *layout_.delimiter) {
        end_field();
        fields_++;
    } else if (!tag_done_ && field_.size() <= LONGEST_TAG) {
        field_ += static_cast<char>(byte);
    }
}

void typed_checker::end_record()
{
    if (!layout_.type_field.empty())
        end_field();
    in_record_ = false;
    outcome_.records++;
    auto type = types_.find(tag_);
    if (tag_.empty() || after_tag_ < 0 || type == types_.end()) {
        // Its first bytes are not one of the tags records begin with.
        count_anomaly(anomaly_kind::byte_class, tag_.empty() || after_tag_ < 0
                                                    ? "starts with no tag"
                                                    : "tag " + tag_ + " is of no type found");
        return;
    }
    const record_type& expected = *type->second;
    if (fields_ < expected.fewest_fields || fields_ > expected.most_fields) {
        std::string range = std::to_string(expected.fewest_fields);
        if (expected.most_fields > expected.fewest_fields)
            range += " to " + std::to_string(expected.most_fields);
        count_anomaly(anomaly_kind::field_count,
                      fields_text(fields_) + ", expected " + range + " for " + tag_);
    }
}

void typed_checker::take(unsigned char byte)
{
    bool segments = layout_.segment_terminator.has_value();
    // A released terminator is data (EDIFACT's O?'BRIEN).
    bool ends = segments ? byte == *layout_.segment_terminator && !released_ : is_line_end(byte);
    if (!in_record_) {
        // Line ends between records (and blank lines) are no records, nor
        // is an empty segment, as the survey counts none.
        if (is_line_end(byte) || ends)
            return;
        in_record_ = true;
        record_start_ = position_;
        tag_.clear();
        tag_done_ = false;
        after_tag_ = -1;
        fields_ = 1;
        released_ = false;
        field_.clear();
    }
    if (ends) {
        end_record();
        return;
    }
    if (!layout_.type_field.empty()) {
        take_field_tag(byte);
        return;
    }
    if (!tag_done_ && layout_.tag_width > 0) {
        tag_ += static_cast<char>(byte);
        tag_done_ = tag_.size() == layout_.tag_width;
        after_tag_ = 0;
        return;
    }
    if (!tag_done_) {
        if (is_tag_byte(byte) && tag_.size() <= LONGEST_TAG) {
            tag_ += static_cast<char>(byte);
            return;
        }
        tag_done_ = true;
        after_tag_ = tag_.size() <= LONGEST_TAG ? byte : -1;
    }
    if (released_)
        released_ = false;
    else if (layout_.release && byte == *layout_.release)
        released_ = true;
    else if (layout_.delimiter && byte == *layout_.delimiter)
        fields_++;
}

void typed_checker::feed(byte_span bytes)
{
    for (unsigned char byte : bytes) {
        take(byte);
        position_++;
    }
}

void typed_checker::finish()
{
    if (in_record_)
        end_record();
}

namespace
{

// Feeds the checker whatever `read` reads, a window at a time.
template <class Reader>
bool check_typed(const file_layout& layout, verify_outcome& outcome, Reader read)
{
    typed_checker checker(layout);
    window_taker feed = [&](byte_span bytes) {
        checker.feed(bytes);
        return true;
    };
    if (!read(feed))
        return false;
    checker.finish();
    outcome = checker.outcome();
    return true;
}

} // namespace

bool verify_typed_records(platform_file file, std::uint64_t file_size, const file_layout& layout,
                          std::atomic<std::uint64_t>* bytes_done, verify_outcome& outcome,
                          std::string& error)
{
    return check_typed(layout, outcome, [&](const window_taker& feed) {
        return read_file_windows(file, file_size, bytes_done, feed, error);
    });
}

bool verify_typed_stream(platform_file file, byte_span sample, const file_layout& layout,
                         std::atomic<std::uint64_t>* bytes_done, verify_outcome& outcome,
                         std::string& error)
{
    return check_typed(layout, outcome, [&](const window_taker& feed) {
        return read_stream_windows(file, sample, bytes_done, feed, error);
    });
}
