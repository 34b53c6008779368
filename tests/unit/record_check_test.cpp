// The record check: each kind of anomaly at a known record, exact counts,
// and the block-wise checker against the plain one on random files cut
// into tiny windows and many ranges.
#include "../../src/process/platform.h"
#include "../../src/survey/base/text_decode.h"
#include "../../src/survey/verify/record_check.h"
#include "plain_record_check.h"
#include "same_outcome.h"

#include <gtest/gtest.h>

#include <random>

namespace
{

byte_span bytes_of(const std::string& text)
{
    return {reinterpret_cast<const unsigned char*>(text.data()), text.size()};
}

file_layout lines_layout(line_terminator terminator)
{
    file_layout layout;
    layout.encoding = text_encoding::ascii;
    layout.kind = record_layout::lines;
    layout.terminator = terminator;
    return layout;
}

file_layout delimited(line_terminator terminator, std::uint32_t fields, bool quoted)
{
    file_layout layout = lines_layout(terminator);
    layout.delimiter = '|';
    layout.fields = fields;
    if (quoted)
        layout.quote = '"';
    return layout;
}

file_layout fixed(std::uint64_t length)
{
    file_layout layout;
    layout.encoding = text_encoding::ascii;
    layout.kind = record_layout::fixed_length;
    layout.record_length = length;
    return layout;
}

file_layout with_profile(file_layout layout, std::vector<std::uint8_t> classes,
                         std::vector<std::int16_t> constants = {})
{
    layout.profile.allowed_classes = std::move(classes);
    layout.profile.constant_byte = std::move(constants);
    return layout;
}

void run_in_turn(unsigned count, void (*work)(void*, unsigned), void* context)
{
    for (unsigned worker = 0; worker < count; worker++)
        work(context, worker);
}

// The block-wise check of a file in memory, read window bytes at a time
// by up to `ranges` workers whose ranges start at multiples of alignment.
verify_outcome block_check(const std::string& file, const file_layout& layout,
                           std::size_t window = 1 << 16, unsigned ranges = 1,
                           std::uint64_t alignment = 1, block_kernels kernels = best_kernels(),
                           worker_runner runner = run_in_turn)
{
    verify_outcome outcome;
    if (!has_records(layout))
        return outcome;
    record_rules rules = rules_for(layout, kernels);
    std::uint64_t end = file.size() - std::min<std::uint64_t>(file.size(), layout.trailer_length);
    auto plan = plan_ranges(rules, end, ranges, alignment, 1);
    auto reader = [&]() -> std::unique_ptr<window_reader> {
        return std::make_unique<span_reader>(bytes_of(file), window);
    };
    std::string error;
    EXPECT_TRUE(verify_region(rules, end, plan, reader, runner, nullptr, outcome, error));
    return outcome;
}

struct anomaly_case {
    const char* name;
    std::string file;
    file_layout layout;
    std::uint64_t records;
    std::uint64_t anomalies;
    std::uint64_t record; // of the first anomaly, 0 for none
    std::uint64_t offset;
    const char* what;
};

std::vector<anomaly_case> anomaly_cases()
{
    file_layout digits = with_profile(fixed(4), {BYTE_DIGIT, BYTE_DIGIT, BYTE_DIGIT, BYTE_DIGIT});
    file_layout semicolon = with_profile(fixed(4), {}, {-1, -1, -1, ';'});
    file_layout with_header = delimited(line_terminator::lf, 2, false);
    with_header.header_length = 5;
    with_header.trailer_length = 1;
    file_layout columns =
        with_profile(lines_layout(line_terminator::lf),
                     {BYTE_DIGIT, BYTE_DIGIT, BYTE_BLANK, BYTE_UPPER, BYTE_CONTROL});
    columns.record_length = 5;
    columns.header_row = true;
    file_layout ebcdic = lines_layout(line_terminator::nel);
    ebcdic.encoding = text_encoding::ebcdic;
    ebcdic.record_length = 3;
    file_layout ebcdic_lf = ebcdic;
    ebcdic_lf.terminator = line_terminator::lf;
    file_layout fed = delimited(line_terminator::lf, 2, false);
    fed.returns_inside = true;
    file_layout utf16 = delimited(line_terminator::crlf, 2, false);
    utf16.encoding = text_encoding::utf16le;
    utf16.header_length = 2;
    using enum line_terminator;
    return {
        {"fields fit", "a|b\nc|d\n", delimited(lf, 2, false), 2, 0, 0, 0, ""},
        {"a field short", "a|b\nc\ne|f\n", delimited(lf, 2, false), 3, 1, 2, 4,
         "1 field, expected 2"},
        {"two bad records", "a|b|c\nc\ne|f\n", delimited(lf, 2, false), 3, 2, 1, 0,
         "3 fields, expected 2"},
        {"quoted delimiter", "\"a|x\"|b\nc|d\n", delimited(lf, 2, true), 2, 0, 0, 0, ""},
        {"doubled quotes stay inside", "\"a\"\"|\"|b\nc|d\n", delimited(lf, 2, true), 2, 0, 0, 0,
         ""},
        {"line end inside quotes", "\"a\nb\"|c\nd|e\n", delimited(lf, 2, true), 2, 0, 0, 0, ""},
        {"quote not closed", "a|b\n\"c|d\ne|f\n", delimited(lf, 2, true), 2, 1, 2, 4,
         "quote not closed at end of file"},
        {"lone LF in CR LF lines", "a\r\nb\nc\r\n", lines_layout(crlf), 3, 1, 2, 3,
         "ends with LF, expected CR LF"},
        {"lone CR in CR LF lines", "a\r\nb\rc\r\n", lines_layout(crlf), 3, 1, 2, 3,
         "ends with CR, expected CR LF"},
        {"CR LF in LF lines", "a\nb\r\nc\n", lines_layout(lf), 3, 1, 2, 2,
         "ends with CR LF, expected LF"},
        {"lone CRs inside fields of LF lines", "a\rx|b\nc|d\r\n", fed, 2, 0, 0, 0, ""},
        {"CR lines, last unterminated", "a\rb\rc", lines_layout(cr), 3, 0, 0, 0, ""},
        {"mixed line ends", "a\rb\r\nc\n", lines_layout(mixed), 3, 0, 0, 0, ""},
        {"blank line", "a|b\n\nc|d\n", delimited(lf, 2, false), 3, 1, 2, 4, "1 field, expected 2"},
        {"length", "abc\nabcd\nabc\n",
         [] {
             file_layout layout = lines_layout(lf);
             layout.record_length = 4;
             return layout;
         }(),
         3, 1, 2, 4, "length 5, expected 4"},
        {"last line without line end", "abc\nab",
         [] {
             file_layout layout = lines_layout(lf);
             layout.record_length = 4;
             return layout;
         }(),
         2, 1, 2, 4, "length 2, expected 3"},
        {"header and trailer", "HEAD\na|b\nc|d\n\x1A", with_header, 2, 0, 0, 0, ""},
        {"byte class", "123412a45678", digits, 3, 1, 2, 4, "byte 2 is 0x61, expected a digit"},
        {"constant byte", "abc;abc,abc;", semicolon, 3, 1, 2, 4, "byte 3 is 0x2C, expected 0x3B"},
        {"cut short", "1234567890", digits, 3, 1, 3, 8, "cut short: 2 of 4 bytes"},
        {"columns, names row exempt", "NO X\n12 C\n\n1x D\n12 E\n", columns, 5, 2, 3, 10,
         "length 1, expected 5"},
        {"column miss", "ab C\n12 C\n12 c\n",
         [&] {
             file_layout layout = columns;
             layout.header_row = false;
             return layout;
         }(),
         3, 2, 1, 0, "byte 0 is 0x61, expected a digit"},
        {"EBCDIC NEL lines", "\xC1\xC2\x15\xC1\x15\xC1\xC2\x15", ebcdic, 3, 1, 2, 3,
         "length 2, expected 3"},
        {"EBCDIC LF lines", "\xC1\xC2\x25\xC1\x25\xC1\xC2\x25", ebcdic_lf, 3, 1, 2, 3,
         "length 2, expected 3"},
        {"UTF-16 fields",
         std::string("\xFF\xFE"
                     "a\0|\0b\0\r\0\n\0\x0A\x01|\0\r\0\n\0c\0\r\0\n\0",
                     26),
         utf16, 3, 1, 3, 20, "1 field, expected 2"},
        {"empty region", "HEAD\n", with_header, 0, 0, 0, 0, ""},
    };
}

TEST(RecordCheck, EachAnomalyAtItsRecord)
{
    for (const anomaly_case& test : anomaly_cases()) {
        SCOPED_TRACE(test.name);
        for (block_kernels kernels : usable_kernels()) {
            verify_outcome outcome = block_check(test.file, test.layout, 1 << 16, 1, 1, kernels);
            EXPECT_EQ(outcome.records, test.records);
            EXPECT_EQ(outcome.anomalies, test.anomalies);
            ASSERT_EQ(!outcome.first_anomalies.empty(), test.record != 0);
            if (test.record != 0) {
                EXPECT_EQ(outcome.first_anomalies[0].record, test.record);
                EXPECT_EQ(outcome.first_anomalies[0].offset, test.offset);
                EXPECT_EQ(outcome.first_anomalies[0].what, test.what);
            }
            verify_outcome plain = plain_record_check(bytes_of(test.file), test.layout);
            EXPECT_EQ(plain.records, test.records);
            EXPECT_EQ(plain.anomalies, test.anomalies);
        }
    }
}

// Random files of a few bytes that matter, random layouts over them.
struct random_file {
    std::string bytes;
    file_layout layout;
};

// The characters of the alphabet in another encoding: UTF-16 units (now
// and then one that is no ASCII character, and a last odd byte) or EBCDIC
// bytes, with NEL for the line end.
std::string encode(const std::string& ascii, text_encoding encoding, std::mt19937_64& random)
{
    if (encoding == text_encoding::ebcdic) {
        std::string bytes;
        for (char c : ascii)
            bytes += c == '\n' ? '\x15' : static_cast<char>(encoded_byte(c, encoding));
        return bytes;
    }
    if (encoding == text_encoding::ascii)
        return ascii;
    bool big = encoding == text_encoding::utf16be;
    std::string bytes;
    for (char c : ascii) {
        char high = random() % 30 == 0 ? '\x26' : '\0';
        bytes += big ? std::string{high, c} : std::string{c, high};
    }
    if (random() % 4 == 0)
        bytes += 'z';
    return bytes;
}

random_file make_random_file(std::mt19937_64& random)
{
    static const char alphabet[] = "a|\"\n\r  bc1|\n";
    static const line_terminator terminators[] = {line_terminator::lf, line_terminator::crlf,
                                                  line_terminator::cr, line_terminator::mixed};
    static const text_encoding encodings[] = {text_encoding::ascii, text_encoding::ascii,
                                              text_encoding::utf16le, text_encoding::utf16be,
                                              text_encoding::ebcdic};
    random_file made;
    std::size_t length = random() % 700;
    std::string text;
    for (std::size_t i = 0; i < length; i++)
        text += alphabet[random() % (sizeof alphabet - 1)];
    text_encoding encoding = encodings[random() % 5];
    made.bytes = encode(text, encoding, random);
    bool lines = random() % 4 != 0;
    made.layout = lines ? delimited(terminators[random() % 4], 1 + random() % 4, random() % 3)
                        : fixed(1 + random() % 90);
    made.layout.encoding = encoding;
    if (lines && encoding == text_encoding::ebcdic)
        made.layout.terminator = line_terminator::nel;
    if (lines && random() % 3 == 0)
        made.layout.record_length = 2 + random() % 6;
    if (lines && made.layout.terminator == line_terminator::lf && random() % 4 == 0)
        made.layout.returns_inside = true;
    if (lines && random() % 4 == 0)
        made.layout.delimiter.reset();
    else if (lines && random() % 4 == 0)
        made.layout.delimiter = ' ';
    if (made.layout.delimiter && random() % 3 == 0) {
        made.layout.fewest_fields = std::max<std::uint32_t>(1, *made.layout.fields - 1);
        made.layout.most_fields = *made.layout.fields + 1;
    }
    std::uint64_t profiled = made.layout.record_length.value_or(0);
    if (profiled > 0 && random() % 2 == 0) {
        for (std::uint64_t i = 0; i < profiled; i++) {
            made.layout.profile.allowed_classes.push_back(static_cast<std::uint8_t>(random()));
            made.layout.profile.constant_byte.push_back(
                random() % 4 == 0 ? static_cast<std::int16_t>(alphabet[random() % 12]) : -1);
        }
        made.layout.header_row = random() % 2;
    }
    made.layout.header_length = random() % 4 == 0 ? random() % 20 : 0;
    made.layout.trailer_length = random() % 4 == 0 ? random() % 5 : 0;
    return made;
}

TEST(RecordCheck, BlockWiseAgreesWithPlainAcrossWindowsAndRanges)
{
    std::mt19937_64 random(12);
    for (int round = 0; round < 3000; round++) {
        random_file made = make_random_file(random);
        SCOPED_TRACE("round " + std::to_string(round));
        verify_outcome plain = plain_record_check(bytes_of(made.bytes), made.layout);
        std::size_t window = 1 + random() % 150;
        unsigned ranges = 1 + random() % 9;
        std::uint64_t alignment = 1 + random() % 70;
        expect_same(block_check(made.bytes, made.layout), plain);
        expect_same(block_check(made.bytes, made.layout, window, ranges, alignment), plain);
        expect_same(
            block_check(made.bytes, made.layout, window, ranges, alignment, portable_kernels()),
            plain);
        if (testing::Test::HasFailure())
            return;
    }
}

// A quoted field full of line ends that spans whole ranges: ranges after
// its start guess wrong and are read again; workers run at once.
TEST(RecordCheck, RangesThatStartInsideQuotesAreReadAgain)
{
    std::string file = "a|b\n\"";
    for (int i = 0; i < 300; i++)
        file += "x|y\n";
    file += "\"|z\nc|d\ne\n";
    file_layout layout = delimited(line_terminator::lf, 2, true);
    verify_outcome outcome =
        block_check(file, layout, 37, 8, 64, best_kernels(), platform_run_workers);
    expect_same(outcome, plain_record_check(bytes_of(file), layout));
    EXPECT_EQ(outcome.records, 4u);
    EXPECT_EQ(outcome.anomalies, 1u);
    EXPECT_EQ(outcome.first_anomalies[0].record, 4u);
}

TEST(BlockMasks, WideKernelsMatchThePortableOnes)
{
    std::mt19937_64 random(7);
    block_kernels plain = portable_kernels();
    for (block_kernels wide : usable_kernels())
        for (text_encoding encoding : {text_encoding::ascii, text_encoding::ebcdic}) {
            class_sets classes = class_sets_of(byte_classes_of(encoding));
            ASSERT_TRUE(classes.one_class_per_byte);
            for (int round = 0; round < 2000; round++) {
                unsigned char block[64], allowed[64], value[64], care[64];
                for (int i = 0; i < 64; i++) {
                    block[i] =
                        static_cast<unsigned char>(random() % 3 ? random() : "|\"\n\r"[i % 4]);
                    allowed[i] =
                        static_cast<unsigned char>(random() % 2 ? random() : 1 << random() % 8);
                    value[i] = random() % 2 ? block[i] : static_cast<unsigned char>(random());
                    care[i] = random() % 3 == 0 ? 0xFF : 0;
                }
                block_targets targets{'\n', '\r', '|', static_cast<unsigned char>(random())};
                block_masks want, got;
                plain.find(block, 1, targets, &want);
                wide.find(block, 1, targets, &got);
                EXPECT_EQ(got.line_end, want.line_end);
                EXPECT_EQ(got.carriage_return, want.carriage_return);
                EXPECT_EQ(got.delimiter, want.delimiter);
                EXPECT_EQ(got.quote, want.quote);
                EXPECT_EQ(got.quoted, want.quoted);
                profile_lanes lanes{allowed, value, care};
                EXPECT_EQ(wide.profile_misses(block, lanes, classes),
                          plain.profile_misses(block, lanes, classes));

                std::uint64_t ends = random() & random(), delimiters = random() & ~ends;
                unsigned char want_counts[65], got_counts[65];
                unsigned starts = plain.count_between(ends, delimiters, want_counts);
                ASSERT_EQ(wide.count_between(ends, delimiters, got_counts), starts);
                EXPECT_EQ(std::vector(got_counts, got_counts + starts + 1),
                          std::vector(want_counts, want_counts + starts + 1));
                // Ends every few delimiters, now and then one off.
                std::uint32_t fields = 1 + random() % 6;
                auto patterns = field_patterns(fields);
                ends = 0;
                for (unsigned lane = random() % 8; lane < 64; lane += fields)
                    ends |= std::uint64_t{1} << lane;
                ends ^= random() % 2 ? std::uint64_t{1} << random() % 64 : 0;
                delimiters = ~ends & (random() % 2 ? ~std::uint64_t{0} : random());
                std::uint64_t want_carried = random() % fields, got_carried = want_carried;
                EXPECT_EQ(wide.fields_fit(ends, delimiters, patterns.data(), got_carried),
                          plain.fields_fit(ends, delimiters, patterns.data(), want_carried));
                EXPECT_EQ(got_carried, want_carried);
            }
        }
}

} // namespace

// Fixed-length records out of line after a byte put in or left out line up
// again where the profile shows it, whatever the windows and ranges; a
// profile that cannot tell a shift (zeros and anything) does not realign.
TEST(RecordCheck, OutOfLineRecordsLineUpAgain)
{
    file_layout counters = with_profile(fixed(6), {0xFF, 0xFF, BYTE_DIGIT, BYTE_DIGIT, BYTE_DIGIT},
                                        {'A', 'C', -1, -1, -1, ';'});
    file_layout zeros = with_profile(fixed(6), {}, {0, 0, 0, -1, -1, -1});
    std::string records, images;
    for (int i = 0; i < 40; i++) {
        records += "AC" + std::string(1, '0' + i / 100) + std::string(1, '0' + i / 10 % 10) +
                   std::string(1, '0' + i % 10) + ";";
        images += std::string(3, '\0') + "abc";
    }
    auto put_in = [](std::string file, std::size_t at) { return file.insert(at, "Z"); };
    auto left_out = [](std::string file, std::size_t at) { return file.erase(at, 1); };
    struct realign_case {
        const char* name;
        std::string file;
        const file_layout& layout;
        std::uint64_t records, anomalies;
        std::int64_t stray;
        std::vector<std::string> whats;
    } cases[] = {
        {"put in",
         put_in(records, 9 * 6 + 3),
         counters,
         40,
         1,
         1,
         {"1 byte too many before the next record lines up"}},
        {"left out",
         left_out(records, 9 * 6 + 3),
         counters,
         40,
         1,
         -1,
         {"1 byte too few before the next record lines up"}},
        {"put in, then left out",
         left_out(put_in(records, 9 * 6 + 3), 29 * 6 + 3),
         counters,
         40,
         2,
         0,
         {"1 byte too many before the next record lines up",
          "1 byte too few before the next record lines up"}},
        {"two put in near the end",
         put_in(put_in(records, 37 * 6 + 1), 37 * 6 + 1),
         counters,
         40,
         1,
         2,
         {"2 bytes too many before the next record lines up"}},
        {"a shift the profile cannot tell",
         put_in(images, 9 * 6),
         zeros,
         41,
         32,
         0,
         {"byte 0 is 0x5A, expected 0x00", "byte 0 is 0x63, expected 0x00"}},
    };
    for (const realign_case& test : cases) {
        SCOPED_TRACE(test.name);
        for (std::size_t window : {1, 5, 64, 1 << 16}) {
            for (unsigned ranges : {1u, 3u}) {
                verify_outcome outcome = block_check(test.file, test.layout, window, ranges);
                EXPECT_EQ(outcome.records, test.records);
                EXPECT_EQ(outcome.anomalies, test.anomalies);
                EXPECT_EQ(outcome.stray_bytes, test.stray);
                ASSERT_GE(outcome.first_anomalies.size(), test.whats.size());
                for (std::size_t i = 0; i < test.whats.size(); i++)
                    EXPECT_EQ(outcome.first_anomalies[i].what, test.whats[i]);
            }
        }
    }
}
