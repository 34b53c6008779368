#include "verify_file.h"

#include "prefix_chain.h"
#include "record_check.h"
#include "typed_records.h"

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

std::string system_reason()
{
    char text[256];
    platform_describe_error(platform_last_error(), text, sizeof text);
    return text;
}

// Reads rather than maps: on virtual machines each newly mapped page
// costs a trip to the hypervisor, and a mapped 1 GiB file was read several
// times slower than through a reused buffer.
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
        std::int64_t count = platform_read_at(file_, offset, buffer_.data(), wanted);
        if (count < 0) {
            error = system_reason();
            return false;
        }
        if (count == 0) {
            error = "the file ended early: it shrank while being read";
            return false;
        }
        bytes = byte_span(buffer_.data(), static_cast<std::size_t>(count));
        return true;
    }

  private:
    platform_file file_;
    std::vector<unsigned char> buffer_;
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

// Hands a stream's bytes to the checker past its header, holding back
// what may turn out to be a trailer: a tail shorter than one
// fixed-length record.
class stream_feeder
{
  public:
    stream_feeder(const record_rules& rules, const file_layout& layout)
        : checker_(rules, {layout.header_length, UINT64_MAX}, true, false, nullptr),
          skip_(layout.header_length),
          hold_(rules.layout == record_layout::fixed_length ? rules.record_length : 0),
          record_length_(rules.record_length)
    {
    }

    void take(byte_span bytes)
    {
        std::size_t skipped =
            static_cast<std::size_t>(std::min<std::uint64_t>(skip_, bytes.size()));
        skip_ -= skipped;
        bytes = bytes.subspan(skipped);
        if (hold_ == 0) {
            checker_.feed(bytes);
            region_ += bytes.size();
            return;
        }
        held_.insert(held_.end(), bytes.begin(), bytes.end());
        if (held_.size() > hold_)
            pass(held_.size() - hold_);
    }

    const range_result& finish()
    {
        // What is left of a record at the end is the stream's trailer.
        if (hold_ != 0)
            pass(held_.size() - (region_ + held_.size()) % record_length_);
        checker_.finish();
        return checker_.result();
    }

  private:
    void pass(std::size_t count)
    {
        checker_.feed(byte_span(held_.data(), count));
        region_ += count;
        held_.erase(held_.begin(), held_.begin() + static_cast<std::ptrdiff_t>(count));
    }

    record_checker checker_;
    std::uint64_t skip_;
    std::uint64_t hold_;
    std::uint64_t record_length_;
    std::uint64_t region_ = 0;
    std::vector<unsigned char> held_;
};

} // namespace

bool verify_file(platform_file file, std::uint64_t file_size, const file_layout& layout,
                 unsigned threads, std::atomic<std::uint64_t>* bytes_done, verify_outcome& outcome,
                 std::string& error)
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
    std::uint64_t region_end = region_end_of(file_size, layout);
    std::vector<record_range> ranges =
        plan_ranges(rules, region_end, std::max(1u, threads), WINDOW, RANGE_LEAST);
    auto make_reader = [&]() -> std::unique_ptr<window_reader> {
        return std::make_unique<buffered_reader>(file);
    };
    worker_runner runner = ranges.size() > 1 ? platform_run_workers : run_in_turn;
    return verify_region(rules, region_end, ranges, make_reader, runner, bytes_done, outcome,
                         error);
}

bool verify_stream(platform_file file, byte_span sample, const file_layout& layout,
                   std::atomic<std::uint64_t>* bytes_done, verify_outcome& outcome,
                   std::string& error)
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
        return verify_region(rules, region_end, ranges, make_reader, run_in_turn, bytes_done,
                             outcome, error);
    }
    stream_feeder feeder(rules, layout);
    feeder.take(sample);
    if (bytes_done != nullptr)
        bytes_done->fetch_add(sample.size());
    while (count > 0) {
        feeder.take(byte_span(piece.data(), static_cast<std::size_t>(count)));
        if (bytes_done != nullptr)
            bytes_done->fetch_add(static_cast<std::uint64_t>(count));
        count = platform_read_stream(file, piece.data(), piece.size());
        if (count < 0) {
            error = system_reason();
            return false;
        }
    }
    const range_result& result = feeder.finish();
    outcome.records = result.records;
    outcome.anomalies = result.anomalies;
    outcome.first_anomaly = result.first;
    return true;
}
