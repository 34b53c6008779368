// Drives the survey's analyses and its output on arbitrary bytes: the
// sample is the input, cut into a start and later pieces of a file that
// may be larger than what was read. Every buffer is exactly as long as
// its bytes, so that a read past one is caught.
//
// Input: one byte of choices (bit 0: the start is the whole file; bits 1-2:
// how many later pieces), four bytes of bytes between the pieces, then the
// sample.
#include "../src/survey/detect/layout_survey.h"
#include "../src/survey/report/survey_json.h"
#include "../src/survey/report/survey_report.h"
#include "../src/survey/report/text_report.h"

#include <cstring>
#include <memory>
#include <vector>

namespace
{

struct owned_bytes {
    std::unique_ptr<unsigned char[]> bytes;
    std::size_t size;
};

owned_bytes copy_of(const std::uint8_t* data, std::size_t size)
{
    owned_bytes copy{std::make_unique<unsigned char[]>(size == 0 ? 1 : size), size};
    if (size > 0)
        std::memcpy(copy.bytes.get(), data, size);
    return copy;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 5)
        return 0;
    bool whole = data[0] & 1;
    std::size_t pieces = whole ? 0 : (data[0] >> 1) & 3;
    std::uint32_t gap = 0;
    std::memcpy(&gap, data + 1, 4);
    gap %= 1 << 20;
    data += 5;
    size -= 5;

    std::size_t start_size = pieces == 0 ? size : size / 2;
    std::vector<owned_bytes> owned;
    owned.push_back(copy_of(data, start_size));
    file_sample sample;
    sample.start = byte_span(owned[0].bytes.get(), start_size);
    std::uint64_t offset = start_size;
    std::size_t rest = size - start_size;
    for (std::size_t piece = 0; piece < pieces; piece++) {
        std::size_t length = piece + 1 == pieces ? rest - rest / pieces * piece : rest / pieces;
        offset += gap;
        owned.push_back(copy_of(data + size - rest + rest / pieces * piece, length));
        sample.later.push_back({offset, byte_span(owned.back().bytes.get(), length)});
        offset += length;
    }
    sample.file_size = whole ? start_size : offset;

    survey_report report;
    report.name = "fuzz.dat";
    report.size = sample.file_size;
    report.layout = survey_layout(sample);
    report.first_records = pick_first_records(report.layout, sample.start, whole);
    text_report(report, 40 + (gap % 100));
    survey_json_line(report);
    return 0;
}
