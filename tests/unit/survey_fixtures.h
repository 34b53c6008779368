// Files of known layout for the survey's tests, made in memory: records of
// a length with fields such real exports hold (a counter, a type, a name,
// an amount, padding), behind a header and before a trailer of given sizes.
#ifndef KORVALEN_SURVEY_FIXTURES_H
#define KORVALEN_SURVEY_FIXTURES_H

#include "../../src/survey/base/file_sample.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

struct fixture_file {
    std::vector<unsigned char> bytes;
    // Whole when the file fits the start of the sample; otherwise the
    // start and the later pieces the program would read.
    file_sample sample() const;
};

// Binary records of length bytes, count of them, seeded.
fixture_file binary_records(std::uint32_t length, std::uint32_t count, std::uint32_t header,
                            std::uint32_t trailer, std::uint32_t seed = 1);

// Text records of length bytes without line ends: an account number, a
// name padded with blanks, an amount of digits.
fixture_file text_records(std::uint32_t length, std::uint32_t count, std::uint32_t header,
                          std::uint32_t seed = 1);

// Lines of text joined by terminator, each given whole.
fixture_file text_lines(const std::vector<std::string>& lines, const std::string& terminator);

// A picture of width x height pixels of samples bytes each, smooth (a
// bright spot on a slope, a little noise) so that neighbouring rows are
// alike in value though hardly ever byte for byte; rows of zeros (a
// brush's empty border) above it when dark_rows.
std::vector<unsigned char> smooth_picture(int width, int height, int samples, int dark_rows = 0);

// Bytes that repeat nothing: what a compressed file looks like.
fixture_file random_bytes(std::uint32_t size, std::uint32_t seed = 1);

// The bytes of text, and its lines as views of it without their line
// ends, as the detection steps take them.
byte_span bytes_of(std::string_view text);
std::vector<std::string_view> line_views(std::string_view text);

#endif
