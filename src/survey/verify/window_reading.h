// The one reading loop of the checkers that walk a file or a stream once
// from its first byte: each window is handed on in order, and the bytes
// read are counted for the progress line.
#ifndef KORVALEN_VERIFY_WINDOW_READING_H
#define KORVALEN_VERIFY_WINDOW_READING_H

#include "../../process/platform.h"
#include "../base/file_sample.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>

// What the platform says of its last failure, for an error message.
std::string system_reason();

// Why a file gave fewer bytes than its size said.
constexpr const char* FILE_SHRANK = "the file ended early: it shrank while being read";

// Reads what one read gives at `offset`, up to `wanted` bytes, into
// `into`; nothing at all means the file shrank while being read.
bool read_some_at(platform_file file, std::uint64_t offset, unsigned char* into, std::size_t wanted,
                  byte_span& bytes, std::string& error);

// Returns false to stop the walk early; the read still counts as done.
using window_taker = std::function<bool(byte_span)>;

// Reads [0, file_size) of a file. A file that ends early has shrunk while
// being read, and that is an error, not the end of the records.
bool read_file_windows(platform_file file, std::uint64_t file_size,
                       std::atomic<std::uint64_t>* bytes_done, const window_taker& take,
                       std::string& error);

// Hands on what the survey already read of a stream, then the rest of it.
// The rest is read to its end even once `take` stops, as for any layout.
bool read_stream_windows(platform_file file, byte_span sample,
                         std::atomic<std::uint64_t>* bytes_done, const window_taker& take,
                         std::string& error);

#endif
