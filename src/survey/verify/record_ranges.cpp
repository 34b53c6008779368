// Splits the records region across workers and joins what they found.
#include "record_check.h"

#include "../../process/platform.h"

#include <algorithm>

namespace
{

struct range_job {
    const record_rules* rules;
    std::uint64_t region_end;
    std::vector<record_range> ranges;
    const std::function<std::unique_ptr<window_reader>()>* make_reader;
    std::atomic<std::uint64_t>* bytes_done;
    std::vector<range_result> results;
    std::vector<std::string> errors;
};

// Checks one range from the state given for its start. A range of lines
// reads on past its end until its last record ends.
bool check_range(range_job& job, std::size_t index, bool quote_open, bool again)
{
    const record_rules& rules = *job.rules;
    record_range range = job.ranges[index];
    bool first = index == 0;
    bool lines = rules.layout == record_layout::lines;
    std::uint64_t end = lines ? job.region_end : range.to;
    std::unique_ptr<window_reader> reader = (*job.make_reader)();
    std::string& error = job.errors[index];
    std::uint64_t at = range.from;
    unsigned char before[2] = {0, 0};
    byte_span bytes;
    if (!first && lines) {
        // The two units before the range tell whether it starts right
        // after a line end.
        unsigned char raw[4] = {0, 0, 0, 0};
        std::uint64_t back = 2 * std::uint64_t{rules.unit};
        at = range.from - back;
        while (at < range.from) {
            if (!reader->view(at, end, bytes, error))
                return false;
            std::size_t taken = std::min<std::uint64_t>(bytes.size(), range.from - at);
            std::copy_n(bytes.begin(), taken, raw + (at - (range.from - back)));
            bytes = bytes.subspan(taken);
            at += taken;
        }
        for (unsigned i = 0; i < 2; i++) {
            unsigned char low = raw[i * rules.unit + (rules.big_endian ? rules.unit - 1 : 0)];
            unsigned char high = rules.unit == 1 ? 0 : raw[i * 2 + (rules.big_endian ? 0 : 1)];
            before[i] = high == 0 ? low : 0xFF;
        }
    }
    record_checker checker(rules, range, first, quote_open, before);
    for (;;) {
        // A window takes a fraction of a millisecond: Ctrl+C is seen at once.
        if (platform_interrupted()) {
            error = "interrupted";
            return false;
        }
        if (!bytes.empty()) {
            bool more = checker.feed(bytes);
            std::uint64_t next = at + bytes.size();
            if (job.bytes_done != nullptr && !again && at < range.to)
                job.bytes_done->fetch_add(std::min(next, range.to) - at);
            at = next;
            if (!more)
                break;
        }
        if (at >= end) {
            checker.finish();
            break;
        }
        if (!reader->view(at, end, bytes, error))
            return false;
    }
    if (!reader->held(error))
        return false;
    job.results[index] = checker.result();
    return true;
}

// Fixed-length records that went out of line and lined up again within
// a range leave its end inside a record: that record goes on into the
// next range, not cut short, and the next range is read again from where
// it ends. Says whether the range must be read again.
bool go_on_in_line(const record_rules& rules, range_job& job, std::size_t index,
                   verify_outcome& outcome)
{
    const range_result& before = job.results[index - 1];
    if (rules.layout != record_layout::fixed_length || before.fixed_tail == 0)
        return false;
    if (before.tail_counted) {
        std::size_t kind = static_cast<std::size_t>(anomaly_kind::cut_short);
        outcome.anomalies--;
        outcome.anomaly_kinds[kind]--;
        if (!outcome.first_anomalies.empty() &&
            outcome.first_anomalies.back().kind == anomaly_kind::cut_short &&
            outcome.first_anomalies.back().record == outcome.records)
            outcome.first_anomalies.pop_back();
    }
    record_range& range = job.ranges[index];
    range.from = std::min(range.to, range.from + (rules.record_length - before.fixed_tail));
    return true;
}

void run_range(void* context, unsigned worker)
{
    auto* job = static_cast<range_job*>(context);
    check_range(*job, worker, false, false);
}

} // namespace

void add_range_result(const record_rules& rules, const range_result& result,
                      verify_outcome& outcome)
{
    for (const record_anomaly& anomaly : result.first) {
        if (outcome.first_anomalies.size() >= rules.kept_anomalies)
            break;
        outcome.first_anomalies.push_back(anomaly);
        outcome.first_anomalies.back().record += outcome.records;
    }
    for (std::size_t kind = 0; kind < ANOMALY_KINDS; kind++)
        outcome.anomaly_kinds[kind] += result.anomaly_kinds[kind];
    outcome.records += result.records;
    outcome.anomalies += result.anomalies;
    outcome.stray_bytes += result.stray_bytes;
}

std::vector<record_range> plan_ranges(const record_rules& rules, std::uint64_t region_end,
                                      unsigned count, std::uint64_t alignment,
                                      std::uint64_t min_bytes)
{
    std::uint64_t start = rules.region_start;
    std::uint64_t size = region_end > start ? region_end - start : 0;
    std::uint64_t wanted = std::max<std::uint64_t>(
        1, std::min<std::uint64_t>(count, size / std::max<std::uint64_t>(1, min_bytes)));
    std::vector<record_range> ranges;
    std::uint64_t from = start;
    for (std::uint64_t i = 1; i < wanted; i++) {
        std::uint64_t cut = start + size / wanted * i;
        if (rules.layout == record_layout::fixed_length) {
            cut = start + (cut - start) / rules.record_length * rules.record_length;
        } else {
            // Ranges of lines start on the unit grid of the region, with
            // room for the two units before them.
            cut = cut / alignment * alignment;
            if (cut < start + 2 * rules.unit)
                continue;
            cut -= (cut - start) % rules.unit;
        }
        if (cut <= from || cut >= region_end)
            continue;
        ranges.push_back({from, cut});
        from = cut;
    }
    ranges.push_back({from, std::max(from, region_end)});
    return ranges;
}

bool verify_region(const record_rules& rules, std::uint64_t region_end,
                   const std::vector<record_range>& ranges,
                   const std::function<std::unique_ptr<window_reader>()>& make_reader,
                   worker_runner run_workers, std::atomic<std::uint64_t>* bytes_done,
                   verify_outcome& outcome, std::string& error)
{
    range_job job{&rules,
                  region_end,
                  ranges,
                  &make_reader,
                  bytes_done,
                  std::vector<range_result>(ranges.size()),
                  std::vector<std::string>(ranges.size())};
    run_workers(static_cast<unsigned>(ranges.size()), run_range, &job);
    outcome = {};
    for (std::size_t i = 0; i < ranges.size(); i++) {
        if (!job.errors[i].empty()) {
            error = job.errors[i];
            return false;
        }
        // Each range after the first took its start to lie outside
        // quotes; when the range before ends inside them, it is read again.
        bool quote_open = i > 0 && rules.find_quote && job.results[i - 1].quote_open_at_end;
        bool out_of_line = i > 0 && go_on_in_line(rules, job, i, outcome);
        if ((quote_open || out_of_line) && !check_range(job, i, quote_open, true)) {
            error = job.errors[i];
            return false;
        }
        const range_result& result = job.results[i];
        add_range_result(rules, result, outcome);
    }
    return true;
}

span_reader::span_reader(byte_span bytes, std::size_t window) : bytes_(bytes), window_(window)
{
}

bool span_reader::view(std::uint64_t offset, std::uint64_t end, byte_span& bytes, std::string&)
{
    end = std::min<std::uint64_t>(end, bytes_.size());
    std::uint64_t length = std::min<std::uint64_t>(window_, end - std::min(offset, end));
    bytes = bytes_.subspan(static_cast<std::size_t>(std::min<std::uint64_t>(offset, end)),
                           static_cast<std::size_t>(length));
    return true;
}
