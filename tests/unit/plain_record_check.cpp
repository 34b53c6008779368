#include "plain_record_check.h"

#include "../../src/survey/base/byte_class.h"
#include "../../src/survey/base/text_decode.h"

#include <cstdio>
#include <string>
#include <vector>

namespace
{

struct plain_checker {
    const file_layout& layout;
    verify_outcome outcome;

    void anomaly(std::uint64_t record, std::uint64_t offset, anomaly_kind kind,
                 const std::string& what)
    {
        outcome.anomalies++;
        outcome.anomaly_kinds[static_cast<std::size_t>(kind)]++;
        if (outcome.first_anomalies.size() < DEFAULT_MAX_ANOMALIES)
            outcome.first_anomalies.push_back({record, offset, what, kind, std::nullopt});
    }

    // "" when byte fits offset of the profile.
    std::string profile_miss(std::uint64_t offset, unsigned char byte) const
    {
        const record_profile& profile = layout.profile;
        const char* names[8] = {"NUL",
                                "a control byte",
                                "a blank",
                                "a digit",
                                "an upper-case letter",
                                "a lower-case letter",
                                "punctuation",
                                "a byte outside the basic letters"};
        std::uint8_t classes =
            offset < profile.allowed_classes.size() ? profile.allowed_classes[offset] : 0xFF;
        int constant = offset < profile.constant_byte.size() ? profile.constant_byte[offset] : -1;
        bool fits = (byte_classes_of(layout.encoding)[byte] & classes) != 0 &&
                    (constant < 0 || constant == byte);
        if (fits)
            return "";
        char text[64];
        std::string expected;
        if (constant >= 0) {
            std::snprintf(text, sizeof text, "0x%02X", constant);
            expected = text;
        } else {
            std::vector<std::string> chosen;
            for (int bit = 0; bit < 8; bit++)
                if (classes >> bit & 1)
                    chosen.push_back(names[bit]);
            for (std::size_t i = 0; i < chosen.size(); i++)
                expected += (i == 0 ? "" : i + 1 == chosen.size() ? " or " : ", ") + chosen[i];
            if (chosen.empty())
                expected = "no byte at all";
            if (classes == (0xFF & ~(BYTE_NUL | BYTE_CONTROL)))
                expected = "text";
        }
        std::snprintf(text, sizeof text, "byte %llu is 0x%02X, expected ",
                      static_cast<unsigned long long>(offset), byte);
        return text + expected;
    }

    bool has_profile() const
    {
        return !layout.profile.allowed_classes.empty() || !layout.profile.constant_byte.empty();
    }

    void check_fixed(byte_span region, std::uint64_t start)
    {
        std::uint64_t length = *layout.record_length;
        for (std::uint64_t at = 0; at < region.size(); at += length) {
            std::uint64_t record = ++outcome.records;
            std::uint64_t have = std::min<std::uint64_t>(length, region.size() - at);
            std::string what;
            anomaly_kind kind = anomaly_kind::byte_class;
            for (std::uint64_t i = 0; i < have && what.empty() && has_profile(); i++) {
                if (!(record == 1 && layout.header_row))
                    what = profile_miss(i, region[at + i]);
            }
            if (what.empty() && have < length) {
                kind = anomaly_kind::cut_short;
                what = "cut short: " + std::to_string(have) + " of " + std::to_string(length) +
                       " bytes";
            }
            if (!what.empty())
                anomaly(record, start + at, kind, what);
        }
    }

    // Lines, on units: ASCII units of UTF-16 become their byte, others 0xFF.
    void check_lines(byte_span region, std::uint64_t start)
    {
        unsigned unit = 1;
        bool big = layout.encoding == text_encoding::utf16be;
        if (big || layout.encoding == text_encoding::utf16le)
            unit = 2;
        std::vector<unsigned char> units;
        // A last unit cut short (an odd byte of UTF-16) is a unit of no
        // line end, delimiter or quote.
        for (std::size_t i = 0; i < region.size(); i += unit) {
            if (i + unit > region.size()) {
                units.push_back(0xFF);
                break;
            }
            unsigned char low = region[i + (unit == 2 && big ? 1 : 0)];
            unsigned char high = unit == 1 ? 0 : region[i + (big ? 0 : 1)];
            units.push_back(high == 0 ? low : 0xFF);
        }
        // Runs of blanks separate fields however long: their count says
        // nothing. Fields may range from the fewest to the most.
        std::uint32_t fewest = 0, most = 0;
        // A byte that may also be the second of a double-byte character
        // cannot be counted as a delimiter without decoding: its fields are
        // not held to a count.
        if (layout.delimiter && *layout.delimiter != ' ' && layout.fields.value_or(0) > 0 &&
            !may_trail_a_lead(layout.encoding, *layout.delimiter)) {
            fewest = most = *layout.fields;
            if (layout.fewest_fields > 0 && layout.most_fields >= layout.fewest_fields) {
                fewest = layout.fewest_fields;
                most = layout.most_fields;
            }
        }
        bool nel = layout.terminator == line_terminator::nel ||
                   (layout.encoding == text_encoding::ebcdic &&
                    layout.terminator == line_terminator::none);
        unsigned char line_end = nel ? 0x15 : line_feed_byte(layout.encoding);
        bool find_return = !nel && !layout.returns_inside;
        std::uint64_t record_length = layout.record_length.value_or(0);
        bool profile = record_length > 0 && unit == 1 && has_profile();
        std::uint64_t profile_length =
            std::min<std::uint64_t>(record_length, std::max(layout.profile.allowed_classes.size(),
                                                            layout.profile.constant_byte.size()));
        std::string wanted = nel                                          ? "NEL"
                             : layout.terminator == line_terminator::lf   ? "LF"
                             : layout.terminator == line_terminator::crlf ? "CR LF"
                             : layout.terminator == line_terminator::cr   ? "CR"
                                                                          : "";
        // The layout names the delimiter and quote as ASCII; EBCDIC
        // records hold them encoded.
        std::optional<unsigned char> delimiter, quote;
        if (layout.delimiter)
            delimiter = encoded_byte(*layout.delimiter, layout.encoding);
        if (layout.quote)
            quote = encoded_byte(*layout.quote, layout.encoding);
        bool quote_open = false;
        std::size_t record_start = 0;
        std::uint64_t delimiters = 0;
        std::string miss;
        auto close = [&](std::size_t end, const std::string& ending) {
            std::uint64_t record = ++outcome.records;
            std::uint64_t length = (end - record_start) * unit;
            if (end == units.size())
                length = region.size() - record_start * unit;
            std::uint64_t expected = record_length;
            // The line end a last line lacks is units long.
            if (ending.empty() && expected > 0)
                expected -= std::min<std::uint64_t>(
                    expected, unit * (layout.terminator == line_terminator::crlf ? 2 : 1));
            std::string what;
            anomaly_kind kind = anomaly_kind::byte_class;
            std::uint64_t fields = delimiters + 1;
            if (ending == "open") {
                kind = anomaly_kind::quote;
                what = "quote not closed at end of file";
            } else if (!wanted.empty() && !ending.empty() && ending != wanted) {
                kind = anomaly_kind::line_end;
                what = "ends with " + ending + ", expected " + wanted;
            } else if (expected > 0 && length != expected) {
                kind = anomaly_kind::length;
                what =
                    "length " + std::to_string(length) + ", expected " + std::to_string(expected);
            } else if (most > 0 && (fields < fewest || fields > most)) {
                kind = anomaly_kind::field_count;
                what = std::to_string(fields) + (fields == 1 ? " field" : " fields") +
                       ", expected " + std::to_string(fewest) +
                       (most > fewest ? " to " + std::to_string(most) : "");
            } else {
                what = miss;
            }
            if (!what.empty())
                anomaly(record, start + record_start * unit, kind, what);
            record_start = end;
            delimiters = 0;
            miss.clear();
        };
        for (std::size_t i = 0; i < units.size(); i++) {
            unsigned char byte = units[i];
            std::uint64_t offset = i - record_start;
            bool names = outcome.records == 0 && layout.header_row;
            if (profile && miss.empty() && offset < profile_length && !names)
                miss = profile_miss(offset, byte);
            if (quote && byte == *quote) {
                quote_open = !quote_open;
                continue;
            }
            if (quote_open)
                continue;
            if (delimiter && byte == *delimiter)
                delimiters++;
            if (byte == line_end) {
                bool pair = find_return && i > record_start && units[i - 1] == '\r';
                close(i + 1, nel ? "NEL" : pair ? "CR LF" : "LF");
            } else if (find_return && byte == '\r' &&
                       (i + 1 == units.size() || units[i + 1] != line_end)) {
                close(i + 1, "CR");
            }
        }
        if (quote_open && quote)
            close(units.size(), "open");
        else if (record_start * unit < region.size())
            close(units.size(), "");
    }
};

} // namespace

verify_outcome plain_record_check(byte_span file, const file_layout& layout)
{
    plain_checker checker{layout, {}};
    std::uint64_t size = file.size();
    std::uint64_t start = std::min<std::uint64_t>(layout.header_length, size);
    std::uint64_t end = size - std::min<std::uint64_t>(layout.trailer_length, size);
    if (end < start)
        end = start;
    byte_span region = file.subspan(start, end - start);
    if (layout.kind == record_layout::fixed_length && layout.record_length.value_or(0) > 0)
        checker.check_fixed(region, start);
    else if (layout.kind == record_layout::lines)
        checker.check_lines(region, start);
    return checker.outcome;
}
