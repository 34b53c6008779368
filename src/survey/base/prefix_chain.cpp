#include "prefix_chain.h"

#include <algorithm>
#include <string>

prefix_chain::prefix_chain(const length_prefix_form& form, std::vector<std::uint64_t>* lengths)
    : form_(form), lengths_(lengths), want_(form.blocks ? want::block_prefix : want::prefix)
{
}

std::uint64_t prefix_chain::prefix_value() const
{
    std::uint64_t value = 0;
    for (std::uint32_t index = 0; index < form_.length_bytes; index++) {
        std::uint32_t at = form_.big_endian ? index : form_.length_bytes - 1 - index;
        value = value << 8 | held_[at];
    }
    return value;
}

void prefix_chain::break_at(std::uint64_t offset, std::string what)
{
    if (!broken_)
        broken_ = record_anomaly{records_ + 1, offset, std::move(what), anomaly_kind::length,
                                 std::nullopt};
}

void prefix_chain::take_block_prefix()
{
    std::uint64_t value = prefix_value();
    block_start_ = position_ - form_.size;
    if (value < form_.size) {
        break_at(block_start_, "its block's length " + std::to_string(value) +
                                   " is less than the block's own descriptor");
        return;
    }
    block_left_ = value - form_.size;
    want_ = block_left_ > 0 ? want::prefix : want::block_prefix;
}

void prefix_chain::take_prefix()
{
    record_start_ = position_ - form_.size;
    std::uint64_t value = prefix_value();
    std::uint64_t own = form_.counts_itself ? form_.size : 0;
    if (value < own) {
        break_at(record_start_, "length " + std::to_string(value) +
                                    " is less than its own prefix of " +
                                    std::to_string(form_.size) + " bytes");
        return;
    }
    length_ = value - own;
    data_left_ = length_;
    if (form_.blocks) {
        std::uint64_t whole = form_.size + length_;
        if (whole > block_left_) {
            break_at(record_start_, "length " + std::to_string(value) +
                                        " runs past the end of its block at offset " +
                                        std::to_string(block_start_));
            return;
        }
        block_left_ -= whole;
    }
    want_ = want::data;
    if (data_left_ == 0)
        want_ = form_.repeated_after ? want::suffix : want::prefix;
    if (data_left_ == 0 && !form_.repeated_after)
        end_record();
}

void prefix_chain::take_suffix()
{
    std::uint64_t after = prefix_value();
    std::uint64_t before = length_ + (form_.counts_itself ? form_.size : 0);
    if (after != before) {
        break_at(record_start_, "the length after it, " + std::to_string(after) + ", is not the " +
                                    std::to_string(before) + " before it");
        return;
    }
    end_record();
}

void prefix_chain::end_record()
{
    records_++;
    if (lengths_ != nullptr)
        lengths_->push_back(length_);
    record_start_ = position_;
    want_ = form_.blocks && block_left_ == 0 ? want::block_prefix : want::prefix;
}

bool prefix_chain::feed(byte_span bytes)
{
    std::size_t at = 0;
    while (at < bytes.size() && !broken_) {
        if (want_ == want::data) {
            std::uint64_t skipped = std::min<std::uint64_t>(data_left_, bytes.size() - at);
            at += static_cast<std::size_t>(skipped);
            position_ += skipped;
            data_left_ -= skipped;
            if (data_left_ == 0) {
                if (form_.repeated_after)
                    want_ = want::suffix;
                else
                    end_record();
            }
            continue;
        }
        held_[held_count_++] = bytes[at++];
        position_++;
        if (held_count_ < form_.size)
            continue;
        held_count_ = 0;
        bool zeros = std::all_of(held_ + form_.length_bytes, held_ + form_.size,
                                 [](unsigned char byte) { return byte == 0; });
        if (!zeros) {
            break_at(position_ - form_.size, "the last " +
                                                 std::to_string(form_.size - form_.length_bytes) +
                                                 " bytes of its descriptor are not zero");
            break;
        }
        if (want_ == want::block_prefix)
            take_block_prefix();
        else if (want_ == want::prefix)
            take_prefix();
        else
            take_suffix();
    }
    return !broken_;
}

void prefix_chain::finish(bool at_file_end)
{
    if (!at_file_end || broken_)
        return;
    std::uint64_t value = length_ + (form_.counts_itself ? form_.size : 0);
    if (want_ == want::data || want_ == want::suffix)
        break_at(record_start_, "length " + std::to_string(value) + " runs past the end");
    else if (held_count_ > 0)
        break_at(record_start_, "the file ends inside its prefix");
    else if (form_.blocks && want_ == want::prefix && block_left_ > 0)
        break_at(record_start_,
                 "its block at offset " + std::to_string(block_start_) + " runs past the end");
}

std::vector<std::pair<std::uint64_t, std::uint64_t>>
first_prefixed_records(const length_prefix_form& form, byte_span start, std::size_t count)
{
    std::vector<std::uint64_t> lengths;
    prefix_chain chain(form, &lengths);
    std::vector<std::pair<std::uint64_t, std::uint64_t>> records;
    // Fed a byte at a time until enough records are whole, so that each
    // one's start is known; the records of a picture are few.
    for (std::size_t at = 0; at < start.size() && records.size() < count; at++) {
        if (!chain.feed(start.subspan(at, 1)))
            break;
        if (chain.records() > records.size()) {
            std::uint64_t end = chain.record_start() - (form.repeated_after ? form.size : 0);
            records.emplace_back(end - lengths.back(), lengths.back());
        }
    }
    return records;
}
