#include "prefix_chain.h"

#include "../base/prefix_chain.h"

#include <algorithm>
#include <vector>

namespace
{

// The chain is walked in one pass: a record's bytes are only skipped, so
// a buffer this size keeps reads large without holding much.
constexpr std::size_t CHAIN_WINDOW = std::size_t{256} << 10;

std::string system_reason()
{
    char text[256];
    platform_describe_error(platform_last_error(), text, sizeof text);
    return text;
}

void note_bytes(std::atomic<std::uint64_t>* bytes_done, std::uint64_t count)
{
    if (bytes_done != nullptr)
        bytes_done->fetch_add(count);
}

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
    std::vector<unsigned char> buffer(CHAIN_WINDOW);
    for (std::uint64_t offset = 0; offset < file_size;) {
        std::size_t wanted =
            static_cast<std::size_t>(std::min<std::uint64_t>(buffer.size(), file_size - offset));
        std::int64_t count = platform_read_at(file, offset, buffer.data(), wanted);
        if (count < 0) {
            error = system_reason();
            return false;
        }
        if (count == 0) {
            error = "the file ended early: it shrank while being read";
            return false;
        }
        offset += static_cast<std::uint64_t>(count);
        note_bytes(bytes_done, static_cast<std::uint64_t>(count));
        if (!chain.feed(byte_span(buffer.data(), static_cast<std::size_t>(count))))
            break;
    }
    take_outcome(chain, outcome);
    return true;
}

bool verify_prefix_stream(platform_file file, byte_span sample, const length_prefix_form& form,
                          std::atomic<std::uint64_t>* bytes_done, verify_outcome& outcome,
                          std::string& error)
{
    outcome = {};
    prefix_chain chain(form, nullptr);
    chain.feed(sample);
    note_bytes(bytes_done, sample.size());
    std::vector<unsigned char> buffer(CHAIN_WINDOW);
    for (;;) {
        std::int64_t count = platform_read_stream(file, buffer.data(), buffer.size());
        if (count < 0) {
            error = system_reason();
            return false;
        }
        if (count == 0)
            break;
        note_bytes(bytes_done, static_cast<std::uint64_t>(count));
        // The rest of the stream is read all the same, as for any layout.
        chain.feed(byte_span(buffer.data(), static_cast<std::size_t>(count)));
    }
    take_outcome(chain, outcome);
    return true;
}
