// --verify's check of every record against the layout the survey found,
// over bytes that arrive in pieces of any size. No I/O here: the caller
// hands over views of the file through a window_reader.
//
// What counts as a record:
// - fixed_length: every record_length bytes from the header on, up to the
//   trailer. A last record cut short is still a record, and an anomaly.
// - lines: a record ends with its line end (LF, CR LF or a lone CR; NEL in
//   EBCDIC). A line end of another kind than the layout's still ends the
//   record, and the record is an anomaly. A last record without a line end
//   is common and harmless: it counts, and is no anomaly (with a record
//   length, its length is held to that length less the line end). With a
//   quote byte, every quote byte opens or closes a quoted stretch, so a
//   doubled quote stays inside, and delimiters and line ends inside quotes
//   are data. A quote still open at the end of the file is an anomaly of
//   the last record.
// - A record breaks the layout once, however many ways; `what` names the
//   first of: its line end, its length, its field count, its bytes.
// - A first record that holds column names (header_row) is not held to
//   the profile's byte classes.
#ifndef KORVALEN_RECORD_CHECK_H
#define KORVALEN_RECORD_CHECK_H

#include "../base/file_layout.h"
#include "../base/file_sample.h"
#include "block_masks.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

// What every record is held to, worked out once from a layout.
struct record_rules {
    record_layout layout = record_layout::unknown;
    std::uint64_t region_start = 0;
    // 0 when lines may vary in length.
    std::uint64_t record_length = 0;
    line_terminator terminator = line_terminator::none;
    // Bytes per code unit of lines: 2 for UTF-16, whose line ends,
    // delimiters and quotes are units with a zero high byte.
    unsigned unit = 1;
    bool big_endian = false;
    block_targets targets{};
    bool find_carriage_return = false;
    bool find_delimiter = false;
    bool find_quote = false;
    // The fields a record may have, fields to fields_most; fields_most is
    // fields when the count is exact.
    std::uint32_t fields = 0;
    std::uint32_t fields_most = 0;
    // For fields up to 64: how starts and delimiters alternate.
    std::vector<std::uint64_t> field_patterns;
    bool first_record_is_names = false;
    // Offsets of a record the profile holds to its classes and constants.
    std::uint64_t profile_length = 0;
    // The profile per lane: for fixed-length records repeated, so that 64
    // lanes can be read from any offset below record_length; for lines
    // with PROFILE_PAD lanes that allow anything before and after.
    std::vector<unsigned char> allowed, value, care;
    class_sets classes{};
    block_kernels kernels{};
    // How many anomalies are described one by one.
    std::size_t kept_anomalies = DEFAULT_MAX_ANOMALIES;
};

constexpr std::uint64_t PROFILE_PAD = BLOCK_SIZE;

record_rules rules_for(const file_layout& layout, const block_kernels& kernels);

// Whether a layout has records to check at all (empty and unknown do not).
bool has_records(const file_layout& layout);

struct range_result {
    std::uint64_t records = 0;
    std::uint64_t anomalies = 0;
    std::array<std::uint64_t, ANOMALY_KINDS> anomaly_kinds{};
    // The first ones, up to rules.kept_anomalies; their records count
    // from 1 within the range.
    std::vector<record_anomaly> first;
    // Inside quotes at the range's end, as this range read it.
    bool quote_open_at_end = false;
    // Fixed-length records: bytes put in (positive) or left out (negative)
    // where records went out of line and lined up again.
    std::int64_t stray_bytes = 0;
    // Bytes of the record the range's end cuts short; its cut_short
    // anomaly is the range's last, when it counted one.
    std::uint64_t fixed_tail = 0;
    bool tail_counted = false;
};

// Where a piece of the records region starts and where the next one does.
// A range of lines owns the records that start inside it, reading on past
// its end to finish the last; a range after the first starts reading at
// the first record start it finds, taking it to lie outside quotes.
struct record_range {
    std::uint64_t from;
    std::uint64_t to;
};

class record_checker
{
  public:
    // before: the unit bytes just before `from`, for a range that does not
    // start at the region's start (the earlier one last).
    record_checker(const record_rules& rules, record_range range, bool first_range, bool quote_open,
                   const unsigned char before[2]);
    // The next bytes in file order. False once the checker needs no more.
    bool feed(byte_span bytes);
    // The bytes have ended: the region's end, or a fixed-length range's.
    void finish();
    const range_result& result() const
    {
        return result_;
    }

  private:
    void take_blocks(const unsigned char* bytes, std::size_t blocks);
    void take_last_block(const unsigned char* bytes, std::size_t length);
    std::size_t check_fixed_blocks(const unsigned char* bytes, std::size_t blocks);
    void check_fixed_block(const unsigned char* bytes, std::size_t length);
    profile_lanes profile_at(std::uint64_t phase) const;
    void note_fixed_misses(const unsigned char* bytes, std::size_t length, std::uint64_t misses,
                           const unsigned char* before);
    void check_line_block(const unsigned char* units, const block_masks& masks, unsigned count);
    std::size_t pass_fitting_blocks(const unsigned char* bytes, std::size_t blocks);
    void narrow_units(const unsigned char* bytes, std::size_t length, unsigned char* units) const;
    void note_profile_misses(const unsigned char* units, std::uint64_t position, unsigned from,
                             unsigned to);
    void close_line(std::uint64_t end, int ending);
    void close_fixed_end();
    // Fixed-length records that go out of line and line up again
    // (fixed_realign.cpp).
    bool feed_fixed(byte_span bytes);
    byte_span take_fixed(byte_span bytes);
    bool starts_look_ahead(std::uint64_t record, std::uint64_t start, std::uint64_t offset,
                           unsigned char byte, const unsigned char* block, std::size_t length,
                           const unsigned char* before);
    void settle_look_ahead();
    std::optional<std::int64_t> shift_that_lines_up() const;
    bool shift_shows(std::uint64_t shift) const;
    bool records_fit(std::uint64_t from, std::uint64_t count) const;
    void count_byte_miss(std::uint64_t record, std::uint64_t start, std::uint64_t offset,
                         unsigned char byte);
    void count_anomaly(std::uint64_t record, std::uint64_t offset, anomaly_kind kind,
                       const std::function<std::string()>& what);

    const record_rules& rules_;
    record_range range_;
    bool stopped_ = false;
    unsigned char pending_[2 * BLOCK_SIZE];
    std::size_t pending_length_ = 0;
    std::size_t block_bytes_;
    // Of the next block's first byte.
    std::uint64_t position_;
    range_result result_;

    // Fixed-length records.
    std::uint64_t phase_ = 0;
    std::uint64_t last_bad_record_ = 0;
    // A record start of the records as they line up now, and the records
    // before it.
    std::uint64_t origin_;
    std::uint64_t records_before_ = 0;
    // After a record that breaks the profile, the bytes from just before
    // it are kept until there are enough to tell whether the records line
    // up again elsewhere; then they are checked again from where they do.
    static constexpr std::size_t SHIFT_MOST = 16;
    bool looking_ahead_ = false;
    std::vector<unsigned char> ahead_;
    std::uint64_t ahead_from_ = 0;
    std::size_t ahead_wanted_ = 0;
    struct byte_miss {
        std::uint64_t record, start, offset;
        unsigned char byte;
    } suspect_{};
    // The last bytes before the blocks at hand, and where they lie.
    unsigned char recent_[SHIFT_MOST] = {};
    std::uint64_t recent_end_ = 0;
    // Records that break the profile and nowhere line up again may be
    // many: looking ahead backs off after each time it finds nothing.
    std::uint64_t next_look_record_ = 0;
    unsigned failed_looks_ = 0;

    // Lines.
    line_carry carry_;
    bool record_open_;
    bool quote_state_taken_ = false;
    std::uint64_t record_start_ = 0;
    std::uint64_t record_delimiters_ = 0;
    std::uint64_t fields_most_ = 0;
    bool record_is_names_ = false;
    std::optional<std::pair<std::uint64_t, unsigned char>> record_miss_;
    int wanted_ending_;
    // Lines whose blocks may pass whole when their records fit.
    bool scan_whole_;
    line_scan_rules scan_rules_;
    // Blocks are searched this many at a time.
    static constexpr std::size_t BATCH = 16;
    block_masks masks_[BATCH];
    std::vector<unsigned char> units_;
};

// The I/O side: views of the file, one at a time.
class window_reader
{
  public:
    virtual ~window_reader() = default;
    // A view of the bytes from offset on: at least one byte, none past
    // end. It stays valid until the next call. False when reading fails,
    // with error set.
    virtual bool view(std::uint64_t offset, std::uint64_t end, byte_span& bytes,
                      std::string& error) = 0;
    // Whether the views given so far held the file's bytes, asked once the
    // last has been checked; false with error set when it changed under
    // them.
    virtual bool held(std::string&)
    {
        return true;
    }
};

// Views of bytes already in memory, at most window bytes at a time.
class span_reader : public window_reader
{
  public:
    span_reader(byte_span bytes, std::size_t window);
    bool view(std::uint64_t offset, std::uint64_t end, byte_span& bytes,
              std::string& error) override;

  private:
    byte_span bytes_;
    std::size_t window_;
};

// Splits the records region [rules.region_start, region_end) into at most
// count ranges of at least min_bytes. Ranges of lines start at multiples
// of alignment; fixed-length ranges at record starts.
std::vector<record_range> plan_ranges(const record_rules& rules, std::uint64_t region_end,
                                      unsigned count, std::uint64_t alignment,
                                      std::uint64_t min_bytes);

// Adds a range's result to the outcome of the ranges before it.
void add_range_result(const record_rules& rules, const range_result& result,
                      verify_outcome& outcome);

// Runs work(context, i) for every i below count, all at once or in turn.
using worker_runner = void (*)(unsigned count, void (*work)(void* context, unsigned worker),
                               void* context);

// Checks the region range by range, each on a worker with a reader of its
// own, and joins the results in order; a range that started inside quotes
// after all is checked again. False with error set when a read fails.
bool verify_region(const record_rules& rules, std::uint64_t region_end,
                   const std::vector<record_range>& ranges,
                   const std::function<std::unique_ptr<window_reader>()>& make_reader,
                   worker_runner run_workers, std::atomic<std::uint64_t>* bytes_done,
                   verify_outcome& outcome, std::string& error);

#endif
