#include "prefix_chain.h"

#include "window_reading.h"

#include "../base/prefix_chain.h"

namespace
{

void take_outcome(prefix_chain& chain, verify_outcome& outcome)
{
    chain.finish(true);
    outcome.records = chain.records();
    if (chain.broken()) {
        outcome.records++;
        outcome.anomalies = 1;
        outcome.anomaly_kinds[static_cast<std::size_t>(anomaly_kind::length)] = 1;
        outcome.first_anomalies.push_back(*chain.broken());
    }
}

} // namespace

bool verify_prefix_chain(platform_file file, std::uint64_t file_size,
                         const length_prefix_form& form, std::atomic<std::uint64_t>* bytes_done,
                         verify_outcome& outcome, std::string& error)
{
    outcome = {};
    prefix_chain chain(form, nullptr);
    if (!read_file_windows(
            file, file_size, bytes_done, [&](byte_span bytes) { return chain.feed(bytes); }, error))
        return false;
    take_outcome(chain, outcome);
    return true;
}

bool verify_prefix_stream(platform_file file, byte_span sample, const length_prefix_form& form,
                          std::atomic<std::uint64_t>* bytes_done, verify_outcome& outcome,
                          std::string& error)
{
    outcome = {};
    prefix_chain chain(form, nullptr);
    auto feed = [&](byte_span bytes) {
        chain.feed(bytes);
        return true;
    };
    if (!read_stream_windows(file, sample, bytes_done, feed, error))
        return false;
    take_outcome(chain, outcome);
    return true;
}
