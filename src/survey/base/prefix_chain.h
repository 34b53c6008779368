// The walk along the records of a length-prefixed file: each prefix says
// where the next record starts. The survey walks its sample this way to
// find the form, and --verify the whole file, so that the two agree on
// what a record is.
#ifndef KORVALEN_PREFIX_CHAIN_H
#define KORVALEN_PREFIX_CHAIN_H

#include "file_layout.h"
#include "file_sample.h"

#include <cstdint>
#include <optional>
#include <vector>

class prefix_chain
{
  public:
    // lengths (may be null) receives the length of every whole record.
    prefix_chain(const length_prefix_form& form, std::vector<std::uint64_t>* lengths);
    // The next bytes in file order. False once the chain has broken.
    bool feed(byte_span bytes);
    // The bytes have ended. At the file's end a record or block cut short
    // breaks the chain; at the end of a sample it is only unfinished.
    void finish(bool at_file_end);

    std::uint64_t records() const
    {
        return records_;
    }
    // Where the record being read began: after the last whole record.
    std::uint64_t record_start() const
    {
        return record_start_;
    }
    const std::optional<record_anomaly>& broken() const
    {
        return broken_;
    }

  private:
    enum class want { block_prefix, prefix, data, suffix };
    void take_prefix();
    void take_block_prefix();
    void take_suffix();
    void end_record();
    void break_at(std::uint64_t offset, std::string what);
    std::uint64_t prefix_value() const;

    length_prefix_form form_;
    std::vector<std::uint64_t>* lengths_;
    want want_;
    unsigned char held_[4] = {};
    std::uint32_t held_count_ = 0;
    std::uint64_t position_ = 0;
    std::uint64_t record_start_ = 0;
    std::uint64_t length_ = 0;
    std::uint64_t data_left_ = 0;
    std::uint64_t block_start_ = 0;
    std::uint64_t block_left_ = 0;
    std::uint64_t records_ = 0;
    std::optional<record_anomaly> broken_;
};

// The first records of a length-prefixed file in start: offset and length
// of each record's bytes, prefix left out; at most count.
std::vector<std::pair<std::uint64_t, std::uint64_t>>
first_prefixed_records(const length_prefix_form& form, byte_span start, std::size_t count);

#endif
