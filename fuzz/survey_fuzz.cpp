// Drives the survey's analyses and its output on arbitrary bytes: the
// sample is the input, cut into a start and later pieces of a file that
// may be larger than what was read. Every buffer is exactly as long as
// its bytes, so that a read past one is caught.
//
// A file seen whole is also checked by --verify's block checker and by the
// plain reference check, which must agree, on the layout the survey chose:
// the bytes are first turned into UTF-16 or EBCDIC text when asked, so that
// layouts of every kind are made.
//
// Input: one byte of choices (bit 0: the start is the whole file; bits 1-2:
// how many later pieces; bits 3-4: the bytes as they are, as UTF-16LE, as
// UTF-16BE, as EBCDIC with NEL for LF), four bytes of bytes between the
// pieces, then the sample.
#include "../src/survey/base/text_decode.h"
#include "../src/survey/detect/layout_survey.h"
#include "../src/survey/report/survey_json.h"
#include "../src/survey/report/survey_report.h"
#include "../src/survey/report/text_report.h"
#include "../src/survey/verify/record_check.h"
#include "../tests/unit/plain_record_check.h"

#include <algorithm>
#include <string>

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

std::string reencoded(const std::uint8_t* data, std::size_t size, unsigned form)
{
    std::string bytes;
    for (std::size_t i = 0; i < size; i++) {
        char c = static_cast<char>(data[i]);
        if (form == 1)
            bytes += std::string{c, '\0'};
        else if (form == 2)
            bytes += std::string{'\0', c};
        else if (form == 3)
            bytes += c == '\n' ? '\x15'
                               : static_cast<char>(encoded_byte(data[i], text_encoding::ebcdic));
        else
            bytes += c;
    }
    return bytes;
}

void run_in_turn(unsigned count, void (*work)(void*, unsigned), void* context)
{
    for (unsigned worker = 0; worker < count; worker++)
        work(context, worker);
}

bool same_anomaly(const record_anomaly& x, const record_anomaly& y)
{
    return x.record == y.record && x.offset == y.offset && x.kind == y.kind && x.what == y.what;
}

void check_records(byte_span file, const file_layout& layout, unsigned window)
{
    if (!has_records(layout))
        return;
    verify_outcome want = plain_record_check(file, layout);
    std::uint64_t end = file.size() - std::min<std::uint64_t>(file.size(), layout.trailer_length);
    record_rules rules = rules_for(layout, best_kernels());
    auto ranges = plan_ranges(rules, end, 1 + window % 8, 1 + window % 61, 1);
    auto reader = [&]() -> std::unique_ptr<window_reader> {
        return std::make_unique<span_reader>(file, 1 + window);
    };
    verify_outcome got;
    std::string error;
    bool same = verify_region(rules, end, ranges, reader, run_in_turn, nullptr, got, error) &&
                got.records == want.records && got.anomalies == want.anomalies &&
                got.anomaly_kinds == want.anomaly_kinds &&
                std::equal(got.first_anomalies.begin(), got.first_anomalies.end(),
                           want.first_anomalies.begin(), want.first_anomalies.end(), same_anomaly);
    if (!same)
        __builtin_trap();
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
    unsigned form = whole ? (data[0] >> 3) & 3 : 0;
    std::string text = reencoded(data + 5, size - 5, form);
    data = reinterpret_cast<const std::uint8_t*>(text.data());
    size = text.size();

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
    if (whole)
        check_records(sample.start, report.layout, gap % 256);
    return 0;
}
