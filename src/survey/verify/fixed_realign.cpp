// Fixed-length records after one that breaks the profile: a byte put in or
// left out puts every later record out of line. Where the records after it
// keep to the profile again a few bytes further on or back, that record is
// the anomaly (of its length), and counting goes on from there. Nothing
// here runs on a file whose records all keep to the profile.
#include "record_check.h"

#include <algorithm>
#include <cstring>

namespace
{

// Records in a row that must keep to the profile where the records are
// taken to line up: one alone could do so by chance where the profile
// allows much.
constexpr std::uint64_t RECORDS_THAT_LINE_UP = 4;
// Records that break the profile and line up nowhere may be every one of
// a file: after each such look, the next waits for twice as many records,
// up to 2 to this power.
constexpr unsigned BACK_OFF_MOST = 20;

std::string shift_text(std::int64_t shift)
{
    std::uint64_t count = static_cast<std::uint64_t>(shift < 0 ? -shift : shift);
    return std::to_string(count) + (count == 1 ? " byte " : " bytes ") +
           (shift > 0 ? "too many" : "too few") + " before the next record lines up";
}

} // namespace

bool record_checker::feed_fixed(byte_span bytes)
{
    for (;;) {
        bytes = take_fixed(bytes);
        if (looking_ahead_ && ahead_.size() >= ahead_wanted_) {
            settle_look_ahead();
            continue;
        }
        if (bytes.empty())
            return true;
    }
}

// Takes bytes until they end or a look-ahead has all it wants; gives the
// bytes left.
byte_span record_checker::take_fixed(byte_span bytes)
{
    while (!bytes.empty()) {
        if (looking_ahead_) {
            std::size_t taken = std::min(ahead_wanted_ - ahead_.size(), bytes.size());
            ahead_.insert(ahead_.end(), bytes.begin(), bytes.begin() + taken);
            bytes = bytes.subspan(taken);
            if (ahead_.size() >= ahead_wanted_)
                break;
            continue;
        }
        if (pending_length_ == 0 && bytes.size() >= BLOCK_SIZE) {
            std::size_t blocks = check_fixed_blocks(bytes.data(), bytes.size() / BLOCK_SIZE);
            bytes = bytes.subspan(blocks * BLOCK_SIZE);
            continue;
        }
        std::size_t taken = std::min(BLOCK_SIZE - pending_length_, bytes.size());
        std::memcpy(pending_ + pending_length_, bytes.data(), taken);
        pending_length_ += taken;
        bytes = bytes.subspan(taken);
        if (pending_length_ == BLOCK_SIZE) {
            pending_length_ = 0;
            check_fixed_blocks(pending_, 1);
        }
    }
    return bytes;
}

// At the record that breaks the profile in the block at position_ (length
// bytes, the SHIFT_MOST before it at before when known): keeps the block,
// and wants the bytes up to where every shift can be tried.
bool record_checker::starts_look_ahead(std::uint64_t record, std::uint64_t start,
                                       std::uint64_t offset, unsigned char byte,
                                       const unsigned char* block, std::size_t length,
                                       const unsigned char* before)
{
    std::uint64_t record_length = rules_.record_length;
    if (record < next_look_record_ || record_length < 2)
        return false;
    std::uint64_t most = std::min<std::uint64_t>(SHIFT_MOST, record_length - 1);
    ahead_.clear();
    ahead_from_ = position_;
    if (before != nullptr && position_ >= origin_ + most) {
        ahead_from_ = position_ - most;
        ahead_.assign(before + (SHIFT_MOST - most), before + SHIFT_MOST);
    }
    ahead_.insert(ahead_.end(), block, block + length);
    std::uint64_t wanted_end = start + record_length + most + RECORDS_THAT_LINE_UP * record_length;
    ahead_wanted_ = std::max(ahead_.size(), static_cast<std::size_t>(wanted_end - ahead_from_));
    suspect_ = {record, start, offset, byte};
    looking_ahead_ = true;
    return true;
}

// Whether count records from `from` (fewer where the bytes at hand end
// first, but one at least) keep to the profile.
bool record_checker::records_fit(std::uint64_t from, std::uint64_t count) const
{
    std::uint64_t record_length = rules_.record_length;
    std::uint64_t end = ahead_from_ + ahead_.size();
    if (from < ahead_from_ || from + record_length > end)
        return false;
    count = std::min(count, (end - from) / record_length);
    const unsigned char* record = ahead_.data() + (from - ahead_from_);
    for (std::uint64_t i = 0; i < count; i++, record += record_length) {
        for (std::uint64_t offset = 0; offset < rules_.profile_length; offset++) {
            unsigned char byte = record[offset];
            if ((rules_.classes.table[byte] & rules_.allowed[offset]) == 0 ||
                ((byte ^ rules_.value[offset]) & rules_.care[offset]) != 0)
                return false;
        }
    }
    return true;
}

// Whether the profile tells records read shift bytes out of line from
// records in line: some offset's rule and the one shift bytes on admit no
// byte in common. A profile of zeros and anything else (an image's
// background) does not, and a shift would line its records up by chance.
bool record_checker::shift_shows(std::uint64_t shift) const
{
    std::uint64_t record_length = rules_.record_length;
    std::uint64_t length = rules_.profile_length;
    auto admits = [&](std::uint64_t lane, unsigned char byte) {
        return (rules_.classes.table[byte] & rules_.allowed[lane]) != 0 &&
               ((byte ^ rules_.value[lane]) & rules_.care[lane]) == 0;
    };
    for (std::uint64_t lane = 0; lane < length; lane++) {
        std::uint64_t other = (lane + shift) % record_length;
        if (other >= length)
            continue;
        bool common = rules_.care[lane]    ? admits(other, rules_.value[lane])
                      : rules_.care[other] ? admits(lane, rules_.value[other])
                                           : (rules_.allowed[lane] & rules_.allowed[other]) != 0;
        if (!common)
            return true;
    }
    return false;
}

// 0 when the records after the suspect line up where they should, else
// the fewest bytes put in (positive) or left out (negative) after which
// they do; none when they line up nowhere near.
std::optional<std::int64_t> record_checker::shift_that_lines_up() const
{
    std::uint64_t record_length = rules_.record_length;
    std::uint64_t next = suspect_.start + record_length;
    if (records_fit(next, RECORDS_THAT_LINE_UP))
        return 0;
    std::uint64_t most = std::min<std::uint64_t>(SHIFT_MOST, record_length - 1);
    for (std::uint64_t shift = 1; shift <= most; shift++) {
        if (shift_shows(shift) && records_fit(next + shift, RECORDS_THAT_LINE_UP))
            return static_cast<std::int64_t>(shift);
        if (shift_shows(record_length - shift) && records_fit(next - shift, RECORDS_THAT_LINE_UP))
            return -static_cast<std::int64_t>(shift);
    }
    return std::nullopt;
}

// Counts the suspect as what it is, and checks the kept bytes again from
// the next record on, where the records line up now.
void record_checker::settle_look_ahead()
{
    looking_ahead_ = false;
    std::uint64_t record_length = rules_.record_length;
    std::optional<std::int64_t> shift = shift_that_lines_up();
    std::uint64_t next = suspect_.start + record_length;
    if (shift && *shift != 0) {
        std::int64_t put_in = *shift;
        count_anomaly(suspect_.record, suspect_.start, anomaly_kind::length,
                      [&] { return shift_text(put_in); });
        result_.stray_bytes += put_in;
        next = put_in > 0 ? next + static_cast<std::uint64_t>(put_in)
                          : next - static_cast<std::uint64_t>(-put_in);
        records_before_ = suspect_.record;
        origin_ = next;
    } else {
        count_byte_miss(suspect_.record, suspect_.start, suspect_.offset, suspect_.byte);
    }
    if (shift) {
        failed_looks_ = 0;
    } else {
        next_look_record_ =
            suspect_.record + (std::uint64_t{1} << std::min(failed_looks_, BACK_OFF_MOST));
        failed_looks_++;
    }
    std::vector<unsigned char> again = std::move(ahead_);
    ahead_.clear();
    std::uint64_t end = ahead_from_ + again.size();
    position_ = std::min(next, end);
    phase_ = (position_ - std::min(position_, origin_)) % record_length;
    recent_end_ = 0;
    pending_length_ = 0;
    std::size_t skipped = static_cast<std::size_t>(position_ - ahead_from_);
    feed_fixed(byte_span(again.data() + skipped, again.size() - skipped));
}
