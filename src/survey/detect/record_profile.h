// What the records of one length hold at each byte offset, from the
// sample: the byte every record holds there, or the one kind of byte.
// --verify holds every record of the file to it.
#ifndef KORVALEN_RECORD_PROFILE_H
#define KORVALEN_RECORD_PROFILE_H

#include "../base/byte_class.h"
#include "../base/file_layout.h"
#include "../base/file_sample.h"

#include <cstdint>

// Records of length from file offset first_record up to records_end, as
// far as the sample holds them (at most a quarter MiB from each place it
// read). A column keeps one byte, or one kind of byte, only when every
// sampled record agrees: a column that varies at all in the sample may
// vary anywhere, and holding the file to less would name anomalies that
// are only the data's variety.
record_profile profile_records(const file_sample& sample, std::uint64_t first_record,
                               std::uint64_t records_end, std::uint32_t length,
                               const byte_class_table& classes);

#endif
