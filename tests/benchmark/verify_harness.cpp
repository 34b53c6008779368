// The benchmark's stand-in for `korvalen --verify` on two known files:
// writes them with a fixed seed, and checks them with the layout they were
// written to, through verify_file as the program calls it.
//
//   verify_harness write-lines FILE MIB   |-delimited lines, quoted fields
//   verify_harness write-fixed FILE MIB   records of 100 bytes, no line ends
//   verify_harness lines FILE | fixed FILE
//   verify_harness agree lines|fixed FILE   every kernel set this processor
//       runs, in memory, and verify_file on two workers give one answer
#include "../../src/survey/verify/verify_file.h"
#include "../../src/survey/base/byte_class.h"
#include "../../src/survey/verify/record_check.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace
{

constexpr std::uint64_t FIXED_LENGTH = 100;

// id|"name, maybe with a |"|code|amount|date|comment
void append_line(std::string& out, std::mt19937_64& random)
{
    static const char* const words[] = {"alpha", "beta",  "gamma", "delta", "epsilon", "zeta",
                                        "eta",   "theta", "iota",  "kappa", "lambda",  "mu"};
    out += std::to_string(random() % 10000000);
    out += random() % 3 == 0 ? "|\"" : "|";
    bool quoted = out.back() == '"';
    out += words[random() % 12];
    if (quoted) {
        out += random() % 2 ? " | " : " \"\"x\"\" ";
        out += words[random() % 12];
        out += '"';
    }
    out += '|';
    out += static_cast<char>('A' + random() % 26);
    out += std::to_string(random() % 1000);
    out += '|' + std::to_string(random() % 100000) + '.' + std::to_string(10 + random() % 90);
    out += "|2024-0" + std::to_string(1 + random() % 9) + "-1" + std::to_string(random() % 10);
    out += '|';
    for (std::uint64_t n = random() % 5; n > 0; n--)
        out += std::string(words[random() % 12]) + ' ';
    out += '\n';
}

// Ten digits, a blank, twenty letters, a blank, digits and a sign...
void append_record(std::string& out, std::mt19937_64& random)
{
    std::size_t start = out.size();
    for (int i = 0; i < 10; i++)
        out += static_cast<char>('0' + random() % 10);
    out += ' ';
    for (int i = 0; i < 20; i++)
        out += static_cast<char>('A' + random() % 26);
    out += ' ';
    while (out.size() - start < FIXED_LENGTH - 2)
        out += static_cast<char>('0' + random() % 10);
    out += random() % 2 ? "+;" : "-;";
}

file_layout fixed_layout()
{
    file_layout layout;
    layout.encoding = text_encoding::ascii;
    layout.kind = record_layout::fixed_length;
    layout.record_length = FIXED_LENGTH;
    for (std::uint64_t i = 0; i < FIXED_LENGTH; i++) {
        std::uint8_t classes = i < 10 || (i > 31 && i < 98) ? BYTE_DIGIT
                               : i == 10 || i == 31         ? BYTE_BLANK
                               : i < 31                     ? BYTE_UPPER
                                                            : BYTE_PUNCTUATION;
        layout.profile.allowed_classes.push_back(classes);
        layout.profile.constant_byte.push_back(i == 10 || i == 31 ? ' ' : i == 99 ? ';' : -1);
    }
    return layout;
}

file_layout lines_layout()
{
    file_layout layout;
    layout.encoding = text_encoding::ascii;
    layout.kind = record_layout::lines;
    layout.terminator = line_terminator::lf;
    layout.delimiter = '|';
    layout.quote = '"';
    layout.fields = 6;
    return layout;
}

int write_file(const char* name, std::uint64_t mib, bool lines)
{
    std::FILE* out = std::fopen(name, "wb");
    if (out == nullptr) {
        std::perror(name);
        return 2;
    }
    std::mt19937_64 random(20240611);
    std::string chunk;
    std::uint64_t left = mib << 20;
    while (left > 0) {
        chunk.clear();
        while (chunk.size() < (1u << 20))
            lines ? append_line(chunk, random) : append_record(chunk, random);
        std::size_t count = static_cast<std::size_t>(std::min<std::uint64_t>(left, chunk.size()));
        // Whole records only.
        if (!lines)
            count -= count % FIXED_LENGTH;
        else if (count < chunk.size())
            count = chunk.rfind('\n', count - 1) + 1;
        std::fwrite(chunk.data(), 1, count, out);
        left -= std::min<std::uint64_t>(left, count);
        if (count < FIXED_LENGTH)
            break;
    }
    return std::fclose(out) == 0 ? 0 : 2;
}

int check_file(const char* name, const file_layout& layout)
{
    platform_file file = platform_open_read_only(name);
    std::uint64_t size = 0;
    if (file == NO_FILE || !platform_size_of(file, size)) {
        std::fprintf(stderr, "verify_harness: %s: cannot open\n", name);
        return 2;
    }
    verify_outcome outcome;
    std::string error;
    if (!verify_file(file, size, layout, platform_processor_count(), nullptr, outcome, error)) {
        std::fprintf(stderr, "verify_harness: %s: %s\n", name, error.c_str());
        return 2;
    }
    std::printf("%llu records, %llu anomalies%s%s\n",
                static_cast<unsigned long long>(outcome.records),
                static_cast<unsigned long long>(outcome.anomalies),
                outcome.first_anomaly ? ", first: " : "",
                outcome.first_anomaly ? outcome.first_anomaly->what.c_str() : "");
    return outcome.anomalies == 0 ? 0 : 1;
}

std::string describe(const verify_outcome& outcome)
{
    std::string text = std::to_string(outcome.records) + " records, " +
                       std::to_string(outcome.anomalies) + " anomalies";
    if (outcome.first_anomaly)
        text += ", first: record " + std::to_string(outcome.first_anomaly->record) + " at " +
                std::to_string(outcome.first_anomaly->offset) + ": " + outcome.first_anomaly->what;
    return text;
}

void run_in_turn(unsigned count, void (*work)(void*, unsigned), void* context)
{
    for (unsigned worker = 0; worker < count; worker++)
        work(context, worker);
}

int agree(const char* name, const file_layout& layout)
{
    platform_file file = platform_open_read_only(name);
    std::uint64_t size = 0;
    if (file == NO_FILE || !platform_size_of(file, size)) {
        std::fprintf(stderr, "verify_harness: %s: cannot open\n", name);
        return 2;
    }
    std::vector<unsigned char> bytes(static_cast<std::size_t>(size));
    verify_outcome whole;
    std::string error;
    if (platform_read_at(file, 0, bytes.data(), bytes.size()) != static_cast<std::int64_t>(size) ||
        !verify_file(file, size, layout, 2, nullptr, whole, error)) {
        std::fprintf(stderr, "verify_harness: %s: cannot read %s\n", name, error.c_str());
        return 2;
    }
    std::string want = describe(whole);
    std::printf("verify_file: %s\n", want.c_str());
    int status = 0;
    for (const block_kernels& kernels : usable_kernels()) {
        record_rules rules = rules_for(layout, kernels);
        auto ranges = plan_ranges(rules, size, 5, 4096, 1);
        auto reader = [&]() -> std::unique_ptr<window_reader> {
            return std::make_unique<span_reader>(byte_span(bytes.data(), bytes.size()), 100003);
        };
        verify_outcome outcome;
        verify_region(rules, size, ranges, reader, run_in_turn, nullptr, outcome, error);
        std::string got = describe(outcome);
        std::printf("%s: %s\n", kernels.name, got.c_str());
        if (got != want)
            status = 1;
    }
    platform_close(file);
    return status;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc == 4 && std::strcmp(argv[1], "write-lines") == 0)
        return write_file(argv[2], std::strtoull(argv[3], nullptr, 10), true);
    if (argc == 4 && std::strcmp(argv[1], "write-fixed") == 0)
        return write_file(argv[2], std::strtoull(argv[3], nullptr, 10), false);
    if (argc == 4 && std::strcmp(argv[1], "agree") == 0)
        return agree(argv[3], std::strcmp(argv[2], "lines") == 0 ? lines_layout() : fixed_layout());
    if (argc == 3 && std::strcmp(argv[1], "lines") == 0)
        return check_file(argv[2], lines_layout());
    if (argc == 3 && std::strcmp(argv[1], "fixed") == 0)
        return check_file(argv[2], fixed_layout());
    std::fprintf(stderr, "usage: verify_harness write-lines|write-fixed FILE MIB\n"
                         "       verify_harness lines|fixed FILE\n"
                         "       verify_harness agree lines|fixed FILE\n");
    return 2;
}
