#include "verify_file.h"

#include "prefix_chain.h"
#include "record_check.h"
#include "typed_records.h"
#include "window_reading.h"

#include "../base/byte_class.h"

#include <algorithm>
#include <vector>

namespace
{

// Each worker reads the file a window at a time into a buffer of its own
// that it reuses: it stays in the processor's cache, and what the whole
// run keeps resident is a few of them, however large the file.
constexpr std::size_t WINDOW = std::size_t{256} << 10;
// Below this a range is not worth a thread of its own.
constexpr std::uint64_t RANGE_LEAST = std::uint64_t{16} << 20;
// Pieces of a stream.
constexpr std::size_t STREAM_PIECE = std::size_t{4} << 20;
// What the mapped views of a whole run hold at once, so that resident
// memory stays small however many files and workers there are: a run
// checks on at most one thread per processor, each holding one view. Each
// view as large as that allows, few enough calls to map that their cost
// is lost in the checking.
constexpr std::size_t VIEWS_HELD = std::size_t{16} << 20;
constexpr std::size_t VIEW_LEAST = std::size_t{1} << 20;

// The reader's fallback where a file cannot be mapped.
class buffered_reader : public window_reader
{
  public:
    explicit buffered_reader(platform_file file) : file_(file), buffer_(WINDOW)
    {
    }

    bool view(std::uint64_t offset, std::uint64_t end, byte_span& bytes,
              std::string& error) override
    {
        std::size_t wanted =
            static_cast<std::size_t>(std::min<std::uint64_t>(WINDOW, end - offset));
        return read_some_at(file_, offset, buffer_.data(), wanted, bytes, error);
    }

  private:
    platform_file file_;
    std::vector<unsigned char> buffer_;
};

// Maps the file a window at a time and checks its pages where they lie
// in the cache. Copying each byte into a buffer took as long as checking
// it; views of a few MiB, their pages entered at once, cost far less. One
// view per worker at a time keeps what is resident small.
class mapped_reader : public window_reader
{
  public:
    mapped_reader(platform_file file, std::size_t window) : file_(file), window_(window)
    {
    }

    ~mapped_reader() override
    {
        std::string ignored;
        release(ignored);
    }

    bool view(std::uint64_t offset, std::uint64_t end, byte_span& bytes,
              std::string& error) override
    {
        if (!release(error))
            return false;
        if (reading_ == nullptr) {
            std::uint64_t start = offset - offset % platform_view_alignment();
            std::size_t length =
                static_cast<std::size_t>(std::min<std::uint64_t>(window_, end - start));
            view_ = platform_map_view(file_, start, length);
            if (view_ != nullptr) {
                length_ = length;
                end_ = start + length;
                std::size_t skipped = static_cast<std::size_t>(offset - start);
                bytes = byte_span(view_ + skipped, length - skipped);
                return true;
            }
            reading_ = std::make_unique<buffered_reader>(file_);
        }
        return reading_->view(offset, end, bytes, error);
    }

    bool held(std::string& error) override
    {
        return release(error);
    }

  private:
    // Pages the file lost read as zeros, and so do the bytes past a new
    // end inside the last page it kept, with no fault to tell: either way
    // the window's check is void.
    bool release(std::string& error)
    {
        if (view_ == nullptr)
            return true;
        std::uint64_t size = 0;
        bool lost = platform_view_lost_pages() || !platform_size_of(file_, size) || size < end_;
        platform_unmap_view(view_, length_);
        view_ = nullptr;
        if (lost)
            error = FILE_SHRANK;
        return !lost;
    }

    platform_file file_;
    std::size_t window_;
    const unsigned char* view_ = nullptr;
    std::size_t length_ = 0;
    std::uint64_t end_ = 0;
    std::unique_ptr<buffered_reader> reading_;
};

void run_in_turn(unsigned count, void (*work)(void*, unsigned), void* context)
{
    for (unsigned worker = 0; worker < count; worker++)
        work(context, worker);
}

std::uint64_t region_end_of(std::uint64_t size, const file_layout& layout)
{
    return size - std::min(size, layout.trailer_length);
}

// Hands a stream's bytes to the checker past its header. The survey did
// not see the stream's end: what is left of a record there is a record cut
// short, as it is in a file.
class stream_feeder
{
  public:
    stream_feeder(const record_rules& rules, const file_layout& layout)
        : checker_(rules, {layout.header_length, UINT64_MAX}, true, false, nullptr),
          skip_(layout.header_length)
    {
    }

    void take(byte_span bytes)
    {
        std::size_t skipped =
            static_cast<std::size_t>(std::min<std::uint64_t>(skip_, bytes.size()));
        skip_ -= skipped;
        checker_.feed(bytes.subspan(skipped));
    }

    const range_result& finish()
    {
        checker_.finish();
        return checker_.result();
    }

  private:
    record_checker checker_;
    std::uint64_t skip_;
};

bool is_line_end(const unsigned char* unit, const unsigned char* end, const record_rules& rules)
{
    unsigned char low = unit[rules.big_endian ? rules.unit - 1 : 0];
    if (rules.unit == 2 && unit[rules.big_endian ? 0 : 1] != 0)
        return false;
    if (low == rules.targets.line_end)
        return true;
    // A CR LF counts once, at its LF.
    if (!rules.find_carriage_return || low != rules.targets.carriage_return)
        return false;
    const unsigned char* next = unit + rules.unit;
    return next + rules.unit > end ||
           next[rules.big_endian ? rules.unit - 1 : 0] != rules.targets.line_end ||
           (rules.unit == 2 && next[rules.big_endian ? 0 : 1] != 0);
}

// Records of lines without quotes are one line each: an anomaly's line is
// its record's number after the header's lines.
void number_lines(const record_rules& rules, byte_span header, verify_outcome& outcome)
{
    if (rules.layout != record_layout::lines || rules.find_quote)
        return;
    std::uint64_t header_lines = 0;
    const unsigned char* end = header.data() + header.size() / rules.unit * rules.unit;
    for (const unsigned char* unit = header.data(); unit < end; unit += rules.unit)
        header_lines += is_line_end(unit, end, rules);
    for (record_anomaly& anomaly : outcome.first_anomalies)
        anomaly.line = header_lines + anomaly.record;
}

bool read_header(platform_file file, const file_layout& layout, std::vector<unsigned char>& header)
{
    header.resize(static_cast<std::size_t>(layout.header_length));
    std::size_t done = 0;
    while (done < header.size()) {
        std::int64_t count =
            platform_read_at(file, done, header.data() + done, header.size() - done);
        if (count <= 0)
            return false;
        done += static_cast<std::size_t>(count);
    }
    return true;
}

// Walks back from the trailer the survey saw over lines that hold blanks
// alone, a window at a time: the trailer starts after the line end that
// follows the last byte that is not blank. Gives that start.
class blank_trailer_search
{
  public:
    blank_trailer_search(platform_file file, const record_rules& rules, text_encoding encoding)
        : file_(file), rules_(rules), classes_(byte_classes_of(encoding)), buffer_(WINDOW)
    {
    }

    bool find(std::uint64_t from, std::uint64_t& start, std::string& error)
    {
        std::uint64_t unit = rules_.unit;
        std::uint64_t floor = rules_.region_start;
        // Whole units from the region's start.
        std::uint64_t at = floor + (from - floor) / unit * unit;
        start = from;
        while (at > floor) {
            if (platform_interrupted()) {
                error = "interrupted";
                return false;
            }
            std::uint64_t length = std::min<std::uint64_t>(WINDOW / unit * unit, at - floor);
            if (!read_window(at - length, length, error))
                return false;
            for (std::uint64_t back = length; back >= unit; back -= unit) {
                const unsigned char* bytes = buffer_.data() + (back - unit);
                std::uint64_t position = at - length + back - unit;
                if (!take(bytes, position + unit))
                    return true_start(start);
            }
            at -= length;
        }
        return true_start(start);
    }

  private:
    bool read_window(std::uint64_t offset, std::uint64_t length, std::string& error)
    {
        std::size_t done = 0;
        while (done < length) {
            std::int64_t count =
                platform_read_at(file_, offset + done, buffer_.data() + done, length - done);
            if (count <= 0) {
                error = count < 0 ? system_reason() : "the file shrank while being read";
                return false;
            }
            done += static_cast<std::size_t>(count);
        }
        return true;
    }

    // The unit ending at end, read backward; false at one that is not blank.
    bool take(const unsigned char* bytes, std::uint64_t end)
    {
        unsigned char low = bytes[rules_.big_endian ? rules_.unit - 1 : 0];
        bool narrow = rules_.unit == 1 || bytes[rules_.big_endian ? 0 : 1] == 0;
        bool line_end = narrow && low == rules_.targets.line_end;
        bool lone_return = narrow && rules_.find_carriage_return &&
                           low == rules_.targets.carriage_return && !next_is_line_end_;
        if (line_end || lone_return)
            found_ = end;
        next_is_line_end_ = line_end;
        return line_end || (narrow && (low == rules_.targets.carriage_return ||
                                       (classes_[low] & BYTE_BLANK) != 0));
    }

    bool true_start(std::uint64_t& start) const
    {
        if (found_ != 0)
            start = std::min(start, found_);
        return true;
    }

    platform_file file_;
    const record_rules& rules_;
    const byte_class_table& classes_;
    std::vector<unsigned char> buffer_;
    bool next_is_line_end_ = false;
    std::uint64_t found_ = 0;
};

} // namespace

bool verify_file(platform_file file, std::uint64_t file_size, const file_layout& layout,
                 unsigned threads, std::atomic<std::uint64_t>* bytes_done, verify_outcome& outcome,
                 std::string& error, std::size_t kept_anomalies)
{
    outcome = {};
    if (layout.length_prefix)
        return verify_prefix_chain(file, file_size, *layout.length_prefix, bytes_done, outcome,
                                   error);
    if (!layout.record_types.empty())
        return verify_typed_records(file, file_size, layout, bytes_done, outcome, error);
    if (!has_records(layout))
        return true;
    record_rules rules = rules_for(layout, best_kernels());
    rules.kept_anomalies = kept_anomalies;
    std::uint64_t region_end = region_end_of(file_size, layout);
    if (layout.trailer_may_start_earlier && rules.layout == record_layout::lines) {
        blank_trailer_search search(file, rules, layout.encoding);
        if (!search.find(region_end, region_end, error))
            return false;
    }
    std::vector<record_range> ranges =
        plan_ranges(rules, region_end, std::max(1u, threads), WINDOW, RANGE_LEAST);
    std::size_t view_window =
        std::max(VIEW_LEAST, VIEWS_HELD / std::max(1u, platform_processor_count()));
    auto make_reader = [&]() -> std::unique_ptr<window_reader> {
        return std::make_unique<mapped_reader>(file, view_window);
    };
    worker_runner runner = ranges.size() > 1 ? platform_run_workers : run_in_turn;
    if (!verify_region(rules, region_end, ranges, make_reader, runner, bytes_done, outcome, error))
        return false;
    if (region_end != region_end_of(file_size, layout))
        outcome.trailer_length = file_size - region_end;
    std::vector<unsigned char> header;
    if (!outcome.first_anomalies.empty() && rules.layout == record_layout::lines) {
        if (!read_header(file, layout, header)) {
            error = system_reason();
            return false;
        }
        number_lines(rules, header, outcome);
    }
    return true;
}

bool verify_stream(platform_file file, byte_span sample, const file_layout& layout,
                   std::atomic<std::uint64_t>* bytes_done, verify_outcome& outcome,
                   std::string& error, std::size_t kept_anomalies)
{
    outcome = {};
    if (layout.length_prefix)
        return verify_prefix_stream(file, sample, *layout.length_prefix, bytes_done, outcome,
                                    error);
    if (!layout.record_types.empty())
        return verify_typed_stream(file, sample, layout, bytes_done, outcome, error);
    if (!has_records(layout))
        return true;
    record_rules rules = rules_for(layout, best_kernels());
    rules.kept_anomalies = kept_anomalies;
    byte_span header = sample.first(
        static_cast<std::size_t>(std::min<std::uint64_t>(layout.header_length, sample.size())));
    std::vector<unsigned char> piece(STREAM_PIECE);
    std::int64_t count = platform_read_stream(file, piece.data(), piece.size());
    if (count < 0) {
        error = system_reason();
        return false;
    }
    if (count == 0) {
        // The survey saw the whole stream, trailer included.
        std::uint64_t region_end = region_end_of(sample.size(), layout);
        std::vector<record_range> ranges = plan_ranges(rules, region_end, 1, 1, 1);
        auto make_reader = [&]() -> std::unique_ptr<window_reader> {
            return std::make_unique<span_reader>(sample, sample.size());
        };
        if (!verify_region(rules, region_end, ranges, make_reader, run_in_turn, bytes_done, outcome,
                           error))
            return false;
        number_lines(rules, header, outcome);
        return true;
    }
    stream_feeder feeder(rules, layout);
    feeder.take(sample);
    if (bytes_done != nullptr)
        bytes_done->fetch_add(sample.size());
    while (count > 0) {
        if (platform_interrupted()) {
            error = "interrupted";
            return false;
        }
        feeder.take(byte_span(piece.data(), static_cast<std::size_t>(count)));
        if (bytes_done != nullptr)
            bytes_done->fetch_add(static_cast<std::uint64_t>(count));
        count = platform_read_stream(file, piece.data(), piece.size());
        if (count < 0) {
            error = system_reason();
            return false;
        }
    }
    add_range_result(rules, feeder.finish(), outcome);
    number_lines(rules, header, outcome);
    return true;
}
