// --verify of a length-prefixed file: the chain of lengths is walked from
// the first byte to the last. A chain that breaks cannot be picked up
// again (where the next record starts is what broke), so the first break
// is the only anomaly, and the records counted are those before it and
// the one that broke it.
#ifndef KORVALEN_VERIFY_PREFIX_CHAIN_H
#define KORVALEN_VERIFY_PREFIX_CHAIN_H

#include "../../process/platform.h"
#include "../base/file_layout.h"
#include "../base/file_sample.h"

#include <atomic>
#include <string>

bool verify_prefix_chain(platform_file file, std::uint64_t file_size,
                         const length_prefix_form& form, std::atomic<std::uint64_t>* bytes_done,
                         verify_outcome& outcome, std::string& error);

// The same for a stream: sample holds what the survey already read of it.
bool verify_prefix_stream(platform_file file, byte_span sample, const length_prefix_form& form,
                          std::atomic<std::uint64_t>* bytes_done, verify_outcome& outcome,
                          std::string& error);

#endif
