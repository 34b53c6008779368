// Drives the analyses on arbitrary bytes, as the program runs them: the
// field report, then the line-terminator scan or the fixed-length analysis.
// The sample is allocated at exactly its valid length, so that any read
// past it is caught. An end of the run arrives as an exception. Before the
// analyses run, the repeat-distance count is checked against a plain
// recount: a table that differs in any entry aborts. Then --verify's record
// check reads the sample as a whole file, block by block in small windows
// and ranges, and must agree with the plain byte-by-byte check.
//
// Input: one byte choosing the analysis, eight bytes of file size, one
// byte counting the keystrokes that follow, one byte counting the bytes
// of the show-limit argument that follow (0: no argument), then the sample.
// The choice and the size bytes also choose the record check's layout.
#include "../src/analysis/field_report.h"
#include "../src/analysis/line_terminator_scan.h"
#include "../src/analysis/repeat_distances.h"
#include "../src/process/input_state.h"
#include "../src/survey/verify/record_check.h"
#include "../tests/unit/fake_driver.h"
#include "../tests/unit/plain_record_check.h"
#include "../tests/unit/reference_repeat_distances.h"

#include <cstdlib>
#include <cstring>
#include <string>

namespace
{

struct reader {
    const std::uint8_t* at;
    std::size_t left;

    std::string take(std::size_t count)
    {
        count = count < left ? count : left;
        std::string taken(reinterpret_cast<const char*>(at), count);
        at += count;
        left -= count;
        return taken;
    }
};

std::FILE* discard()
{
    static std::FILE* null_stream = std::fopen("/dev/null", "w");
    return null_stream;
}

void run_in_turn(unsigned count, void (*work)(void*, unsigned), void* context)
{
    for (unsigned worker = 0; worker < count; worker++)
        work(context, worker);
}

file_layout layout_from(unsigned choice, const std::string& parameters)
{
    auto parameter = [&](std::size_t i) -> unsigned {
        return i < parameters.size() ? static_cast<unsigned char>(parameters[i]) : 0;
    };
    static const line_terminator terminators[] = {line_terminator::lf, line_terminator::crlf,
                                                  line_terminator::cr, line_terminator::mixed};
    file_layout layout;
    layout.encoding = choice & 0x80 ? text_encoding::ebcdic : text_encoding::ascii;
    layout.kind = choice & 0x10 ? record_layout::fixed_length : record_layout::lines;
    layout.terminator = terminators[choice >> 1 & 3];
    if (choice & 0x08)
        layout.quote = '"';
    layout.delimiter = choice & 0x40 ? ',' : '|';
    layout.fields = 1 + parameter(0) % 8;
    if (layout.kind == record_layout::fixed_length || (choice & 0x20))
        layout.record_length = 1 + parameter(1) % 100;
    layout.header_length = parameter(2) % 32;
    layout.trailer_length = parameter(3) % 8;
    if (parameter(4) & 1) {
        layout.profile.allowed_classes.assign(layout.record_length.value_or(0),
                                              static_cast<std::uint8_t>(parameter(5) | 1));
        layout.profile.constant_byte.assign(layout.record_length.value_or(0), -1);
        if (!layout.profile.constant_byte.empty())
            layout.profile.constant_byte[parameter(6) % layout.profile.constant_byte.size()] = ' ';
    }
    layout.header_row = parameter(4) & 2;
    return layout;
}

void check_records(const std::string& file, unsigned choice, const std::string& parameters)
{
    file_layout layout = layout_from(choice, parameters);
    byte_span bytes(reinterpret_cast<const unsigned char*>(file.data()), file.size());
    verify_outcome want = plain_record_check(bytes, layout);
    std::uint64_t end = file.size() - std::min<std::uint64_t>(file.size(), layout.trailer_length);
    std::size_t window = 1 + static_cast<unsigned char>(parameters.size() > 7 ? parameters[7] : 0);
    for (const block_kernels& kernels : usable_kernels()) {
        record_rules rules = rules_for(layout, kernels);
        auto ranges = plan_ranges(rules, end, 1 + window % 8, 1 + window % 61, 1);
        auto reader = [&]() -> std::unique_ptr<window_reader> {
            return std::make_unique<span_reader>(bytes, window);
        };
        verify_outcome got;
        std::string error;
        bool same =
            verify_region(rules, end, ranges, reader, run_in_turn, nullptr, got, error) &&
            got.records == want.records && got.anomalies == want.anomalies &&
            got.first_anomaly.has_value() == want.first_anomaly.has_value() &&
            (!want.first_anomaly || (got.first_anomaly->record == want.first_anomaly->record &&
                                     got.first_anomaly->offset == want.first_anomaly->offset &&
                                     got.first_anomaly->what == want.first_anomaly->what));
        if (!same)
            __builtin_trap();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    reader input{data, size};
    std::string choice = input.take(1);
    std::string size_bytes = input.take(8);
    std::int64_t size_of_file = 0;
    std::memcpy(&size_of_file, size_bytes.data(), size_bytes.size());
    std::string count = input.take(1);
    std::string keys = input.take(count.empty() ? 0 : static_cast<std::uint8_t>(count[0]));
    count = input.take(1);
    std::string limit = input.take(count.empty() ? 0 : static_cast<std::uint8_t>(count[0]));
    std::string sample = input.take(SAMPLE_SIZE);

    set_sample(sample, size_of_file);
    script_keys(keys);
    auto valid_length = static_cast<std::uint32_t>(sample.size());
    count_repeat_distances(valid_length);
    if (candidate_entries() != reference_repeat_distances(sample_buffer, valid_length))
        std::abort();
    char program[] = "korvalen", file[] = "fuzz.dat";
    char* arguments[] = {program, file, limit.data(), nullptr};
    int argument_count = limit.empty() ? 2 : 3;
    try {
        report_fields(discard(), file, sample_buffer, static_cast<std::int32_t>(valid_length));
        if (!choice.empty() && (choice[0] & 1))
            scan_repeat_distances(discard(), valid_length);
        else
            scan_line_terminators(discard(), valid_length, argument_count, arguments);
    } catch (const run_ended&) {
    }
    check_records(sample, choice.empty() ? 0 : static_cast<unsigned char>(choice[0]), size_bytes);
    return 0;
}
