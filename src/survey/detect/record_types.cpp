#include "record_types.h"

#include <algorithm>
#include <array>
#include <string>
#include <unordered_map>

namespace
{

// Tags are short codes of capitals and digits: MSH, PID, ISA, N1, UNB, 5.
constexpr std::size_t LONGEST_TAG = 6;
// Fewer records than this do not show types that repeat; a format that
// states its separators shows them in fewer.
constexpr std::size_t LEAST_TYPED_RECORDS = 8;
constexpr std::size_t LEAST_STATED_RECORDS = 3;
// Nearly every record starts with a tag and the delimiter: a service
// segment or two (EDIFACT's UNA) may differ.
constexpr double LEAST_TAGGED_SHARE = 0.9;
// A tag is a type's only when types repeat: first fields that are mostly
// different (keys, names) are values, not types.
constexpr double MOST_TYPES_PER_RECORD = 0.6;
// Each type's records mostly have one number of fields (its commonest):
// delimiters that also stand inside values (a code's dash) split records
// of one type into many counts. A format that states its separators may
// leave optional elements off freely.
constexpr double LEAST_TYPE_CONSISTENCY = 0.8;
// Segments of X12 and EDIFACT are seldom longer; a terminator that gives
// longer pieces is a byte inside them.
constexpr std::size_t LONGEST_USUAL_SEGMENT = 4096;
// ISA is fixed-width: its last byte, the segment terminator, is here.
constexpr std::size_t ISA_LENGTH = 106;
constexpr std::size_t UNA_LENGTH = 9;

bool is_tag_byte(unsigned char byte)
{
    return (byte >= 'A' && byte <= 'Z') || (byte >= '0' && byte <= '9');
}

// Bytes that stand inside numbers: a number's first digits before one of
// them are no tag.
bool is_number_punctuation(unsigned char byte)
{
    return byte == '.' || byte == ',' || byte == '-' || byte == '+' || byte == ':' || byte == '/';
}

bool has_letter(std::string_view tag)
{
    return std::any_of(tag.begin(), tag.end(),
                       [](char each) { return each >= 'A' && each <= 'Z'; });
}

// Bytes that may follow a tag as a delimiter: punctuation and the control
// bytes separators use, never a blank (prose) or a line end.
bool may_delimit(unsigned char byte)
{
    if (byte == '\r' || byte == '\n' || byte == ' ')
        return false;
    if (byte < 0x20 || byte == 0x7F)
        return true;
    return byte < 0x80 && !is_tag_byte(byte) && !(byte >= 'a' && byte <= 'z');
}

// The tag that starts a record and the byte after it; an empty tag when
// there is none.
std::pair<std::string_view, unsigned char> tag_of(std::string_view record)
{
    std::size_t length = 0;
    while (length < record.size() && length <= LONGEST_TAG &&
           is_tag_byte(static_cast<unsigned char>(record[length])))
        length++;
    if (length == 0 || length > LONGEST_TAG || length == record.size())
        return {{}, 0};
    std::string_view tag = record.substr(0, length);
    unsigned char after = static_cast<unsigned char>(record[length]);
    if (!may_delimit(after) || (!has_letter(tag) && is_number_punctuation(after)))
        return {{}, 0};
    return {tag, after};
}

std::uint32_t count_typed_fields(std::string_view record, unsigned char delimiter,
                                 std::optional<unsigned char> release)
{
    std::uint32_t fields = 1;
    for (std::size_t at = 0; at < record.size(); at++) {
        unsigned char byte = static_cast<unsigned char>(record[at]);
        if (release && byte == *release)
            at++;
        else if (byte == delimiter)
            fields++;
    }
    return fields;
}

struct typed_census {
    std::vector<record_type> types;
    // The share of records with their type's commonest field count.
    double consistency = 0;
};

// A tag of up to LONGEST_TAG bytes as one number, its length in the top
// byte: a key that compares and hashes at once.
std::uint64_t tag_key(std::string_view tag)
{
    static_assert(LONGEST_TAG < 8);
    std::uint64_t key = std::uint64_t{tag.size()} << 56;
    for (std::size_t at = 0; at < tag.size(); at++)
        key |= std::uint64_t{static_cast<unsigned char>(tag[at])} << (8 * at);
    return key;
}

// Stops, with the types so far, once there are more than most_types: so
// many tags are counters or keys, not types, and the count is not needed.
typed_census types_of(const std::vector<std::string_view>& records, unsigned char delimiter,
                      std::optional<unsigned char> release, std::size_t most_types)
{
    std::vector<record_type> types;
    std::unordered_map<std::uint64_t, std::size_t> index;
    std::unordered_map<std::uint64_t, std::size_t> counts; // type and field count
    for (std::string_view record : records) {
        // A service record whose tag another byte follows (EDIFACT's UNA
        // stating the separators) is a type of its own all the same.
        std::string_view tag = tag_of(record).first;
        if (tag.empty())
            continue;
        std::uint32_t fields = count_typed_fields(record, delimiter, release);
        auto [at, added] = index.emplace(tag_key(tag), types.size());
        if (added) {
            types.push_back({std::string(tag), 0, fields, fields});
            if (types.size() > most_types)
                return {std::move(types), 0};
        }
        record_type& type = types[at->second];
        type.records++;
        type.fewest_fields = std::min(type.fewest_fields, fields);
        type.most_fields = std::max(type.most_fields, fields);
        counts[std::uint64_t{at->second} << 32 | fields]++;
    }
    std::vector<std::size_t> commonest(types.size(), 0);
    for (const auto& [key, count] : counts)
        commonest[key >> 32] = std::max(commonest[key >> 32], count);
    std::size_t consistent = 0;
    for (std::size_t each : commonest)
        consistent += each;
    double share =
        records.empty() ? 0 : static_cast<double>(consistent) / static_cast<double>(records.size());
    return {std::move(types), share};
}

// Types differ in their fields: a file whose records all have as many
// fields is delimited text with a code in its first column.
bool fields_differ(const std::vector<record_type>& types)
{
    for (const record_type& type : types) {
        if (type.fewest_fields != types.front().fewest_fields ||
            type.most_fields != types.front().most_fields)
            return true;
    }
    return false;
}

} // namespace

stated_separators read_stated_separators(std::string_view text)
{
    stated_separators stated;
    if (text.size() >= ISA_LENGTH && text.substr(0, 3) == "ISA") {
        stated.delimiter = static_cast<unsigned char>(text[3]);
        stated.terminator = static_cast<unsigned char>(text[ISA_LENGTH - 1]);
    } else if (text.size() >= UNA_LENGTH && text.substr(0, 3) == "UNA") {
        stated.delimiter = static_cast<unsigned char>(text[4]);
        stated.release = static_cast<unsigned char>(text[6]);
        stated.terminator = static_cast<unsigned char>(text[8]);
    } else if (text.size() > 3 && text.substr(0, 3) == "MSH") {
        stated.delimiter = static_cast<unsigned char>(text[3]);
    }
    // A separator that is a letter, a digit or a blank is no separator:
    // the text only starts with those letters.
    if (stated.delimiter && !may_delimit(*stated.delimiter))
        return {};
    if (stated.terminator && !may_delimit(*stated.terminator) && *stated.terminator != '\r' &&
        *stated.terminator != '\n')
        stated.terminator.reset();
    return stated;
}

record_types_choice find_record_types(const std::vector<std::string_view>& records,
                                      const stated_separators& stated)
{
    record_types_choice result;
    std::array<std::size_t, 256> votes{};
    for (std::string_view record : records) {
        auto [tag, after] = tag_of(record);
        if (!tag.empty())
            votes[after]++;
    }
    for (unsigned byte = 0; byte < votes.size(); byte++) {
        if (votes[byte] > 0)
            result.candidates.push_back(
                {static_cast<unsigned char>(byte),
                 static_cast<double>(votes[byte]) / static_cast<double>(records.size())});
    }
    if (result.candidates.empty())
        return result;
    auto best = std::max_element(result.candidates.begin(), result.candidates.end(),
                                 [](const scored<unsigned char>& a,
                                    const scored<unsigned char>& b) { return a.score < b.score; });
    unsigned char delimiter = stated.delimiter.value_or(best->value);
    bool is_stated = stated.delimiter.has_value();
    double share = static_cast<double>(votes[delimiter]) / static_cast<double>(records.size());
    std::size_t least = is_stated ? LEAST_STATED_RECORDS : LEAST_TYPED_RECORDS;
    if (records.size() < least || share < LEAST_TAGGED_SHARE)
        return result;
    // Past this many types the records are not typed, unless the separators
    // were stated; the census can stop there.
    std::size_t most_types =
        is_stated
            ? records.size()
            : static_cast<std::size_t>(MOST_TYPES_PER_RECORD * static_cast<double>(records.size()));
    typed_census census = types_of(records, delimiter, stated.release, most_types);
    if (census.types.size() < 2 || !fields_differ(census.types))
        return result;
    if (!is_stated && (static_cast<double>(census.types.size()) >
                           MOST_TYPES_PER_RECORD * static_cast<double>(records.size()) ||
                       census.consistency < LEAST_TYPE_CONSISTENCY))
        return result;
    result.found = true;
    result.delimiter = delimiter;
    result.release = stated.release;
    result.types = std::move(census.types);
    return result;
}

std::vector<std::string_view> split_segments(std::string_view text, unsigned char terminator,
                                             bool at_end)
{
    std::vector<std::string_view> segments;
    std::size_t start = 0;
    while (start < text.size()) {
        while (start < text.size() && (text[start] == '\r' || text[start] == '\n'))
            start++;
        std::size_t end = text.find(static_cast<char>(terminator), start);
        if (end == std::string_view::npos) {
            if (at_end && start < text.size())
                segments.push_back(text.substr(start));
            break;
        }
        if (end > start)
            segments.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return segments;
}

segment_terminator_choice
find_segment_terminator(std::string_view text, const stated_separators& stated, std::size_t lines)
{
    segment_terminator_choice result;
    bool own_terminator =
        stated.terminator && *stated.terminator != '\r' && *stated.terminator != '\n';
    if (!own_terminator && lines >= LEAST_TYPED_RECORDS)
        return result;
    if (own_terminator) {
        result.candidates.push_back({*stated.terminator, 1});
        result.choice = stated.terminator;
        return result;
    }
    std::array<std::size_t, 256> counts{};
    for (char each : text)
        counts[static_cast<unsigned char>(each)]++;
    double best = 0;
    for (unsigned byte = 0; byte < counts.size(); byte++) {
        unsigned char terminator = static_cast<unsigned char>(byte);
        if (counts[byte] < LEAST_TYPED_RECORDS || !may_delimit(terminator) ||
            text.size() / counts[byte] > LONGEST_USUAL_SEGMENT)
            continue;
        std::vector<std::string_view> segments = split_segments(text, terminator, false);
        std::size_t tagged = 0;
        for (std::string_view segment : segments)
            tagged += tag_of(segment).first.empty() ? 0 : 1;
        double score = segments.empty()
                           ? 0
                           : static_cast<double>(tagged) / static_cast<double>(segments.size());
        result.candidates.push_back({terminator, score});
        if (score >= LEAST_TAGGED_SHARE && score > best) {
            best = score;
            result.choice = terminator;
        }
    }
    return result;
}
