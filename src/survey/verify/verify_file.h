// --verify: reads a whole file once and checks every record against the
// layout the survey found (record_check.h says what a record must be). A
// layout without records (empty, unknown) has nothing to check: the
// outcome is all zero and nothing is read.
#ifndef KORVALEN_VERIFY_FILE_H
#define KORVALEN_VERIFY_FILE_H

#include "../../process/platform.h"
#include "../base/file_layout.h"
#include "../base/file_sample.h"

#include <atomic>
#include <string>

// Both stop at Ctrl+C within a window's reading, false with error
// "interrupted". The first kept_anomalies anomalies are described; for
// lines without a quote byte each names its physical line.

// Reads the whole file once and checks every record against layout, with
// up to `threads` workers. bytes_done (may be null) grows as bytes are
// checked, for a progress line. False with error set when a read fails.
bool verify_file(platform_file file, std::uint64_t file_size, const file_layout& layout,
                 unsigned threads, std::atomic<std::uint64_t>* bytes_done, verify_outcome& outcome,
                 std::string& error, std::size_t kept_anomalies = DEFAULT_MAX_ANOMALIES);

// The same for a stream without a size (standard input): sample holds what the survey
// already read from it; reading goes on from there to its end. (The run keeps a
// stream longer than the sample in a temporary file and verifies that instead.)
// When the stream ends within the sample, the layout's trailer holds as for a file.
// Otherwise the survey could not see the end and there is no trailer: a tail
// shorter than one fixed-length record is a record cut short.
bool verify_stream(platform_file file, byte_span sample, const file_layout& layout,
                   std::atomic<std::uint64_t>* bytes_done, verify_outcome& outcome,
                   std::string& error, std::size_t kept_anomalies = DEFAULT_MAX_ANOMALIES);

#endif
