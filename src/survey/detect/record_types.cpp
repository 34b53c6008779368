#include "record_types.h"

#include "../base/byte_order.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cctype>
#include <cstring>
#include <map>
#include <string>
#include <unordered_map>
#include <vector>

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
// Text that has a few lines ends its segments at them: a terminator of
// its own stands last on nearly every line (`~` then LF), or the lines are
// one stream cut at one width. A byte inside a few long lines (a decimal
// point, a decimal comma) ends nothing.
constexpr double LEAST_ENDED_LINE_SHARE = 0.9;
// A stream cut at one width shows it in more lines than this before its
// last.
constexpr std::size_t FEWEST_CUT_LINES = 2;
// FIX messages start with BeginString and name their type in MsgType.
constexpr std::string_view FIX_BEGIN = "8=FIX";
constexpr std::string_view FIX_TYPE_FIELD = "35=";
// ISA is fixed-width: its last byte, the segment terminator, is here.
constexpr std::size_t ISA_LENGTH = 106;
constexpr std::size_t UNA_LENGTH = 9;
// A type code in the first column is one byte.
constexpr std::uint32_t POSITIONAL_TAG_WIDTH = 1;
// The records of a type put their usual kind of byte at each column this
// share of the time at least: prose whose lines start with capitals does
// not line its words up.
constexpr double LEAST_COLUMN_CONSISTENCY = 0.9;
// Two types differ in their columns when this share of the columns holds
// another usual kind of byte: a table whose first column holds a code
// gives every code the same columns.
constexpr double LEAST_TYPE_DIFFERENCE = 0.3;

constexpr bool is_tag_byte(unsigned char byte)
{
    return (byte >= 'A' && byte <= 'Z') || (byte >= '0' && byte <= '9');
}

// Bytes that stand inside numbers: a number's first digits before one of
// them are no tag.
constexpr bool is_number_punctuation(unsigned char byte)
{
    return byte == '.' || byte == ',' || byte == '-' || byte == '+' || byte == ':' || byte == '/';
}

// Bytes that may follow a tag as a delimiter: punctuation and the control
// bytes separators use, never a blank (prose) or a line end.
constexpr bool may_delimit(unsigned char byte)
{
    if (byte == '\r' || byte == '\n' || byte == ' ')
        return false;
    if (byte < 0x20 || byte == 0x7F)
        return true;
    return byte < 0x80 && !is_tag_byte(byte) && !(byte >= 'a' && byte <= 'z');
}

// What tag_of asks of each byte, looked up once: it is asked of the first
// bytes of every record of the sample.
enum tag_byte_kind : unsigned char {
    TAG_BYTE = 1,
    TAG_LETTER = 2,
    DELIMITS = 4,
    NUMBER_PUNCTUATION = 8
};

constexpr std::array<unsigned char, 256> tag_byte_kinds()
{
    std::array<unsigned char, 256> kinds{};
    for (unsigned byte = 0; byte < 256; byte++) {
        auto each = static_cast<unsigned char>(byte);
        kinds[byte] = static_cast<unsigned char>(
            (is_tag_byte(each) ? TAG_BYTE : 0) | (each >= 'A' && each <= 'Z' ? TAG_LETTER : 0) |
            (may_delimit(each) ? DELIMITS : 0) |
            (is_number_punctuation(each) ? NUMBER_PUNCTUATION : 0));
    }
    return kinds;
}

constexpr std::array<unsigned char, 256> TAG_BYTE_KINDS = tag_byte_kinds();

// The high bit of each byte of the word from low to high, both ASCII.
std::uint64_t bytes_between(std::uint64_t word, unsigned char low, unsigned char high)
{
    constexpr std::uint64_t EACH = 0x0101010101010101u;
    constexpr std::uint64_t HIGH_BITS = 0x8080808080808080u;
    std::uint64_t seven = word & ~HIGH_BITS;
    std::uint64_t from_low = seven + (0x80u - low) * EACH;
    std::uint64_t past_high = seven + (0x7Fu - high) * EACH;
    return from_low & ~past_high & ~word & HIGH_BITS;
}

// A record of a word or more, the most of them: its first eight bytes
// asked at once where each byte would be looked up in turn, the first in
// the word's low byte.
[[gnu::always_inline]] inline std::pair<std::string_view, unsigned char>
tag_of_word(std::string_view record)
{
    static_assert(LONGEST_TAG < 7, "a tag and the byte past its longest fit a word");
    std::uint64_t word = 0;
    std::memcpy(&word, record.data(), sizeof word);
    std::uint64_t letters = bytes_between(word, 'A', 'Z');
    std::uint64_t others = ~(letters | bytes_between(word, '0', '9')) & 0x8080808080808080u;
    std::size_t length = others == 0 ? 8 : static_cast<std::size_t>(std::countr_zero(others)) / 8;
    if (length == 0 || length > LONGEST_TAG)
        return {{}, 0};
    letters &= (std::uint64_t{1} << (8 * length)) - 1;
    unsigned char after = static_cast<unsigned char>(record[length]);
    unsigned char kind = TAG_BYTE_KINDS[after];
    if ((kind & DELIMITS) == 0 || (letters == 0 && (kind & NUMBER_PUNCTUATION) != 0))
        return {{}, 0};
    return {record.substr(0, length), after};
}

// A record shorter than a word, a byte at a time.
[[gnu::noinline]] std::pair<std::string_view, unsigned char> tag_of_bytes(std::string_view record)
{
    std::size_t limit = std::min(record.size(), LONGEST_TAG + 1);
    std::size_t length = 0;
    unsigned char letters = 0;
    for (; length < limit; length++) {
        unsigned char kind = TAG_BYTE_KINDS[static_cast<unsigned char>(record[length])];
        if ((kind & TAG_BYTE) == 0)
            break;
        letters |= kind;
    }
    if (length == 0 || length > LONGEST_TAG || length == record.size())
        return {{}, 0};
    unsigned char after = static_cast<unsigned char>(record[length]);
    unsigned char kind = TAG_BYTE_KINDS[after];
    if ((kind & DELIMITS) == 0 || ((letters & TAG_LETTER) == 0 && (kind & NUMBER_PUNCTUATION) != 0))
        return {{}, 0};
    return {record.substr(0, length), after};
}

// The tag that starts a record and the byte after it; an empty tag when
// there is none. Inline, as every record of the sample is asked, most of
// them a word long or more.
[[gnu::always_inline]] inline std::pair<std::string_view, unsigned char>
tag_of(std::string_view record)
{
    if (std::endian::native == std::endian::little && record.size() >= sizeof(std::uint64_t))
        return tag_of_word(record);
    return tag_of_bytes(record);
}

// The tag of a record whose type is a field of its own: that field, key
// and value, found after a delimiter.
std::pair<std::string_view, unsigned char> field_tag_of(std::string_view record,
                                                        const stated_separators& stated)
{
    char delimiter = static_cast<char>(*stated.delimiter);
    std::size_t start = record.find(stated.type_field, 1);
    while (start != std::string_view::npos && record[start - 1] != delimiter)
        start = record.find(stated.type_field, start + 1);
    if (start == std::string_view::npos)
        return {{}, 0};
    std::size_t end = record.find(delimiter, start);
    std::string_view tag = record.substr(start, end == std::string_view::npos ? end : end - start);
    if (tag.size() == stated.type_field.size() || tag.size() > LONGEST_TAG)
        return {{}, 0};
    return {tag, *stated.delimiter};
}

std::pair<std::string_view, unsigned char> typed_tag_of(std::string_view record,
                                                        const stated_separators& stated)
{
    if (!stated.type_field.empty() && stated.delimiter)
        return field_tag_of(record, stated);
    return tag_of(record);
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
    // More tags than the types allowed: no census was taken.
    bool too_many = false;
};

// A tag of up to LONGEST_TAG bytes as one number, its length in the top
// byte: a key that compares and hashes at once.
std::uint64_t tag_key(std::string_view tag)
{
    static_assert(LONGEST_TAG < 8);
    std::uint64_t key = std::uint64_t{tag.size()} << 56;
    // A tag of four bytes or more read as its first four and its last
    // four, the bytes the two share put in the same place by both.
    constexpr std::size_t HALF = sizeof(std::uint32_t);
    if (std::endian::native == std::endian::little && tag.size() >= HALF) {
        std::uint32_t first = 0, last = 0;
        std::memcpy(&first, tag.data(), HALF);
        std::memcpy(&last, tag.data() + tag.size() - HALF, HALF);
        return key | first | std::uint64_t{last} << (8 * (tag.size() - HALF));
    }
    for (std::size_t at = 0; at < tag.size(); at++)
        key |= std::uint64_t{static_cast<unsigned char>(tag[at])} << (8 * at);
    return key;
}

// A tag's place in the order of tags by length, then by bytes: a rising
// run of numbers is one, with leading zeros or none. The key's bytes
// moved so that the first is the most significant after the length.
std::uint64_t tag_order(std::string_view tag)
{
    constexpr std::uint64_t BYTES = (std::uint64_t{1} << 56) - 1;
    return std::uint64_t{tag.size()} << 56 | swapped(tag_key(tag) & BYTES) >> 8;
}

// Tags from the first, passing over records with none, that rise each
// past the one before: tags that rise differ, and a file's keys or
// counters mostly rise from the start.
struct rising_tags {
    std::uint64_t last = 0;
    std::size_t count = 0;
    bool rising = true;

    // Whether tag rises too; once one does not, none is asked again.
    bool take(std::string_view tag)
    {
        if (!rising)
            return false;
        std::uint64_t order = tag_order(tag);
        rising = order > last;
        last = order;
        count += rising;
        return rising;
    }
};

// How many different tags the records start with, up to more than most:
// keys in a flat table, with no allocation per tag, as a file of keys or
// counters has nearly as many tags as records.
std::size_t distinct_tags(const std::vector<std::string_view>& tags, std::size_t most)
{
    // The count stops past most: the table never holds more keys than
    // that, and a table sized for every tag would be cleared for nothing.
    std::size_t held = std::min(tags.size(), most + 1);
    std::size_t slots = 16;
    while (slots < 2 * held)
        slots *= 2;
    // A tag's key is never 0: its length is in the top byte.
    std::vector<std::uint64_t> keys(slots, 0);
    std::size_t distinct = 0;
    for (std::string_view tag : tags) {
        if (tag.empty())
            continue;
        std::uint64_t key = tag_key(tag);
        std::size_t slot =
            static_cast<std::size_t>((key * 0x9E3779B97F4A7C15u) >> 32) & (slots - 1);
        while (keys[slot] != 0 && keys[slot] != key)
            slot = (slot + 1) & (slots - 1);
        if (keys[slot] == 0) {
            keys[slot] = key;
            if (++distinct > most)
                return distinct;
        }
    }
    return distinct;
}

// Takes no census when there are more than most_types tags: so many tags
// are counters or keys, not types, and the count is not needed.
// tags[i] is the tag records[i] starts with, empty for none.
typed_census types_of(const std::vector<std::string_view>& records,
                      const std::vector<std::string_view>& tags, unsigned char delimiter,
                      const stated_separators& stated, std::size_t most_types, bool last_cut)
{
    if (distinct_tags(tags, most_types) > most_types)
        return {{}, 0, true};
    std::vector<record_type> types;
    std::unordered_map<std::uint64_t, std::size_t> index;
    std::unordered_map<std::uint64_t, std::size_t> counts; // type and field count
    for (std::size_t each = 0; each < records.size(); each++) {
        std::string_view record = records[each];
        // A service record whose tag another byte follows (EDIFACT's UNA
        // stating the separators) is a type of its own all the same.
        std::string_view tag = tags[each];
        if (tag.empty())
            continue;
        std::uint32_t fields = count_typed_fields(record, delimiter, stated.release);
        auto [at, added] = index.emplace(tag_key(tag), types.size());
        if (added)
            types.push_back({std::string(tag), 0, fields, fields});
        record_type& type = types[at->second];
        type.records++;
        // A last record that the file's end cuts short says nothing of
        // its type's fields, where others of the type do: --verify holds
        // it to theirs.
        if (last_cut && !added && each + 1 == records.size())
            continue;
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
    return {std::move(types), share, false};
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

// The kinds of byte that line up in columns: blanks, digits, letters,
// the rest, and past the record's end.
enum column_kind { BLANK, DIGIT, LETTER, OTHER, PAST_END, KINDS };

column_kind kind_of(unsigned char byte)
{
    if (byte == ' ')
        return BLANK;
    if (byte >= '0' && byte <= '9')
        return DIGIT;
    if ((byte | 0x20) >= 'a' && (byte | 0x20) <= 'z')
        return LETTER;
    return OTHER;
}

// Per column, how many of a type's records hold each kind there.
using column_census = std::vector<std::array<std::size_t, KINDS>>;

std::vector<column_kind> usual_kinds(const column_census& census)
{
    std::vector<column_kind> usual;
    for (const auto& counts : census)
        usual.push_back(static_cast<column_kind>(std::max_element(counts.begin(), counts.end()) -
                                                 counts.begin()));
    return usual;
}

double share_unlike(const std::vector<column_kind>& one, const std::vector<column_kind>& other)
{
    std::size_t columns = std::max(one.size(), other.size()), unlike = 0;
    for (std::size_t column = 0; column < columns; column++) {
        column_kind a = column < one.size() ? one[column] : PAST_END;
        column_kind b = column < other.size() ? other[column] : PAST_END;
        unlike += a != b;
    }
    return columns == 0 ? 0 : static_cast<double>(unlike) / static_cast<double>(columns);
}

} // namespace

positional_types_choice find_positional_types(const std::vector<std::string_view>& records)
{
    positional_types_choice result;
    if (records.size() < LEAST_TYPED_RECORDS)
        return result;
    // Records of one length, each led by a digit: a table or a CSV file
    // whose first column holds a number has lines of many lengths, or a
    // row of names before them.
    std::size_t longest = records.front().size();
    for (std::string_view record : records) {
        if (record.size() != longest || record.size() <= POSITIONAL_TAG_WIDTH || record[0] < '0' ||
            record[0] > '9')
            return result;
    }
    std::vector<record_type> types;
    std::vector<std::size_t> type_of(records.size());
    // A tag of one byte indexes its type directly, where a map of
    // strings would compare tags at every record.
    static_assert(POSITIONAL_TAG_WIDTH == 1, "a tag is one byte");
    constexpr std::size_t UNSEEN = ~std::size_t{0};
    std::array<std::size_t, 256> index;
    index.fill(UNSEEN);
    for (std::size_t record = 0; record < records.size(); record++) {
        std::string_view tag = records[record].substr(0, POSITIONAL_TAG_WIDTH);
        std::size_t& type = index[static_cast<unsigned char>(tag[0])];
        if (type == UNSEEN) {
            type = types.size();
            types.push_back({std::string(tag), 0, 1, 1});
        }
        types[type].records++;
        type_of[record] = type;
    }
    // Asked before the bytes are counted: records led by one digit (ids
    // below a power of ten) are one type.
    if (types.size() < 2 || static_cast<double>(types.size()) >
                                MOST_TYPES_PER_RECORD * static_cast<double>(records.size()))
        return result;
    std::vector<column_census> census(types.size(),
                                      column_census(longest, std::array<std::size_t, KINDS>{}));
    for (std::size_t record = 0; record < records.size(); record++) {
        column_census& columns = census[type_of[record]];
        std::string_view bytes = records[record];
        for (std::size_t column = 0; column < longest; column++)
            columns[column][column < bytes.size()
                                ? kind_of(static_cast<unsigned char>(bytes[column]))
                                : PAST_END]++;
    }
    std::size_t usual_cells = 0;
    std::vector<std::vector<column_kind>> usual;
    for (const column_census& columns : census) {
        usual.push_back(usual_kinds(columns));
        for (std::size_t column = 0; column < columns.size(); column++)
            usual_cells += columns[column][usual.back()[column]];
    }
    double consistency =
        static_cast<double>(usual_cells) / static_cast<double>(records.size() * longest);
    std::size_t commonest = 0;
    for (std::size_t type = 0; type < types.size(); type++)
        commonest = types[type].records > types[commonest].records ? type : commonest;
    for (const std::vector<column_kind>& each : usual)
        result.difference = std::max(result.difference, share_unlike(usual[commonest], each));
    if (consistency < LEAST_COLUMN_CONSISTENCY || result.difference < LEAST_TYPE_DIFFERENCE)
        return result;
    result.found = true;
    result.tag_width = POSITIONAL_TAG_WIDTH;
    result.types = std::move(types);
    return result;
}

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
    } else if (text.size() > 3 && (text.substr(0, 3) == "MSH" || text.substr(0, 3) == "FHS" ||
                                   text.substr(0, 3) == "BHS")) {
        stated.delimiter = static_cast<unsigned char>(text[3]);
    } else if (text.substr(0, FIX_BEGIN.size()) == FIX_BEGIN) {
        std::size_t end = FIX_BEGIN.size();
        while (end < text.size() &&
               (is_tag_byte(static_cast<unsigned char>(text[end])) || text[end] == '.'))
            end++;
        if (end < text.size()) {
            stated.delimiter = static_cast<unsigned char>(text[end]);
            stated.type_field = FIX_TYPE_FIELD;
        }
    }
    // A separator that is a letter, a digit or a blank is no separator:
    // the text only starts with those letters.
    if (stated.delimiter && !may_delimit(*stated.delimiter))
        return {};
    if (stated.terminator && !may_delimit(*stated.terminator) && *stated.terminator != '\r' &&
        *stated.terminator != '\n')
        stated.terminator.reset();
    // One byte plays one part (ISO 9735's service string advice says so);
    // a header that gives one two, an ISA cut short, states nothing of it.
    if (stated.terminator && stated.terminator == stated.delimiter)
        stated.terminator.reset();
    if (stated.release &&
        (stated.release == stated.delimiter || stated.release == stated.terminator))
        stated.release.reset();
    return stated;
}

// Whether a byte other than except splits this share of the records
// into one count of fields, two or more: a table whose first column holds
// a code with a mark inside it ("AD.06"), not records of several types.
constexpr double ONE_COUNT_SHARE = 0.98;

bool another_byte_splits_alike(const std::vector<std::string_view>& records, unsigned char except)
{
    // For each byte, the count of it in the first record, and how many
    // records hold that count; bytes that split nothing are passed over.
    std::array<std::size_t, 256> first{}, alike{};
    std::array<std::size_t, 256> counts{};
    for (std::size_t index = 0; index < records.size(); index++) {
        counts.fill(0);
        for (char byte : records[index])
            counts[static_cast<unsigned char>(byte)]++;
        for (unsigned byte = 0; byte < 256; byte++) {
            if (index == 0)
                first[byte] = counts[byte];
            alike[byte] += counts[byte] == first[byte];
        }
    }
    for (unsigned byte = 0; byte < 256; byte++) {
        bool splits = byte == '\t' || (std::ispunct(byte) && byte != except);
        if (splits && first[byte] > 0 &&
            static_cast<double>(alike[byte]) >=
                ONE_COUNT_SHARE * static_cast<double>(records.size()))
            return true;
    }
    return false;
}

record_types_choice find_record_types(const std::vector<std::string_view>& records,
                                      const stated_separators& stated, bool last_cut)
{
    record_types_choice result;
    std::array<std::size_t, 256> votes{};
    // Once too many records lack a tag for any byte to reach its share,
    // the rest need not be read: most text is not typed records.
    std::size_t untagged = 0;
    double records_count = static_cast<double>(records.size());
    // Past this many types the records are not typed, unless the separators
    // were stated; the census can stop there.
    bool is_stated = stated.delimiter.has_value();
    std::size_t most_types =
        is_stated
            ? records.size()
            : static_cast<std::size_t>(MOST_TYPES_PER_RECORD * static_cast<double>(records.size()));
    // More tags than that which rise from the first all differ: the census
    // would find too many, and the rest need not be read either.
    rising_tags rising;
    // Kept for the census, which would find each again.
    std::vector<std::string_view> tags;
    tags.reserve(records.size());
    for (std::string_view record : records) {
        auto [tag, after] = typed_tag_of(record, stated);
        tags.push_back(tag);
        if (!tag.empty()) {
            votes[after]++;
            if (rising.take(tag) && rising.count > most_types)
                return result;
        } else if (static_cast<double>(records.size() - ++untagged) / records_count <
                   LEAST_TAGGED_SHARE) {
            return result;
        }
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
    double share = static_cast<double>(votes[delimiter]) / static_cast<double>(records.size());
    std::size_t least = is_stated ? LEAST_STATED_RECORDS : LEAST_TYPED_RECORDS;
    if (records.size() < least || share < LEAST_TAGGED_SHARE)
        return result;
    typed_census census = types_of(records, tags, delimiter, stated, most_types, last_cut);
    if (census.too_many || census.types.size() < 2 || !fields_differ(census.types))
        return result;
    if (!is_stated && (static_cast<double>(census.types.size()) >
                           MOST_TYPES_PER_RECORD * static_cast<double>(records.size()) ||
                       census.consistency < LEAST_TYPE_CONSISTENCY ||
                       another_byte_splits_alike(records, delimiter)))
        return result;
    result.found = true;
    result.delimiter = delimiter;
    result.release = stated.release;
    result.types = std::move(census.types);
    return result;
}

namespace
{

std::size_t find_unreleased(std::string_view text, unsigned char terminator, std::size_t from,
                            std::optional<unsigned char> release)
{
    for (std::size_t at = from; at < text.size(); at++) {
        unsigned char byte = static_cast<unsigned char>(text[at]);
        if (release && byte == *release)
            at++;
        else if (byte == terminator)
            return at;
    }
    return std::string_view::npos;
}

} // namespace

std::vector<std::string_view> split_segments(std::string_view text, unsigned char terminator,
                                             bool at_end, std::optional<unsigned char> release)
{
    std::vector<std::string_view> segments;
    std::size_t start = 0;
    while (start < text.size()) {
        while (start < text.size() && (text[start] == '\r' || text[start] == '\n'))
            start++;
        std::size_t end = find_unreleased(text, terminator, start, release);
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

std::size_t last_segment_end(std::string_view text, unsigned char terminator,
                             std::optional<unsigned char> release)
{
    std::size_t last = std::string_view::npos;
    for (std::size_t at = find_unreleased(text, terminator, 0, release);
         at != std::string_view::npos; at = find_unreleased(text, terminator, at + 1, release))
        last = at;
    return last;
}

line_terminator line_end_after_segments(std::string_view text, unsigned char terminator,
                                        std::optional<unsigned char> release)
{
    std::size_t ends = 0, lf = 0, crlf = 0, cr = 0;
    for (std::size_t at = find_unreleased(text, terminator, 0, release);
         at != std::string_view::npos; at = find_unreleased(text, terminator, at + 1, release)) {
        ends++;
        std::string_view after = text.substr(at + 1, 2);
        if (after.starts_with("\r\n"))
            crlf++;
        else if (after.starts_with('\n'))
            lf++;
        else if (after.starts_with('\r'))
            cr++;
    }
    double least = LEAST_ENDED_LINE_SHARE * static_cast<double>(ends);
    if (ends == 0)
        return line_terminator::none;
    if (static_cast<double>(crlf) >= least)
        return line_terminator::crlf;
    if (static_cast<double>(lf) >= least)
        return line_terminator::lf;
    if (static_cast<double>(cr) >= least)
        return line_terminator::cr;
    if (static_cast<double>(crlf + lf + cr) >= least)
        return line_terminator::mixed;
    return line_terminator::none;
}

namespace
{

struct line_ends_seen {
    std::size_t lines = 0;
    std::array<std::size_t, 256> last_bytes{}; // how often each byte ends a line
    bool one_width = true;                     // every line but the last as long
};

line_ends_seen read_line_ends(std::string_view text)
{
    line_ends_seen seen;
    std::size_t start = 0, first_width = 0, width = 0;
    for (std::size_t at = 0; at < text.size(); at++) {
        if (text[at] != '\n' && text[at] != '\r')
            continue;
        std::size_t end = at;
        if (text[at] == '\r' && at + 1 < text.size() && text[at + 1] == '\n')
            at++;
        if (end > start)
            seen.last_bytes[static_cast<unsigned char>(text[end - 1])]++;
        // The line before this one was not the last: it has the cut's width.
        if (seen.lines >= 2 && width != first_width)
            seen.one_width = false;
        width = end - start;
        if (seen.lines == 0)
            first_width = width;
        seen.lines++;
        start = at + 1;
    }
    return seen;
}

bool ends_the_lines(const line_ends_seen& seen, unsigned char terminator)
{
    if (seen.lines == 0 || (seen.lines > FEWEST_CUT_LINES && seen.one_width))
        return true;
    return static_cast<double>(seen.last_bytes[terminator]) >=
           LEAST_ENDED_LINE_SHARE * static_cast<double>(seen.lines);
}

} // namespace

segment_terminator_choice
find_segment_terminator(std::string_view text, const stated_separators& stated, std::size_t lines)
{
    segment_terminator_choice result;
    // FIX messages run on without a terminator byte: a byte between them
    // is a field separator, not a segment's end.
    if (!stated.type_field.empty())
        return result;
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
    line_ends_seen seen = read_line_ends(text);
    double best = 0;
    for (unsigned byte = 0; byte < counts.size(); byte++) {
        unsigned char terminator = static_cast<unsigned char>(byte);
        if (counts[byte] < LEAST_TYPED_RECORDS || !may_delimit(terminator) ||
            text.size() / counts[byte] > LONGEST_USUAL_SEGMENT || !ends_the_lines(seen, terminator))
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
