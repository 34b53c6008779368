#include "period_search.h"

#include "../base/small_math.h"

#include "../base/byte_class.h"
#include "../base/byte_kernels.h"
#include "../base/text_lines.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>
#include <cstring>
#include <vector>

namespace
{

// Enough of the bytes to find a period and weigh it: periods are looked
// for in the first of these, and weighed over at most the second.
constexpr std::size_t SEARCHED_BYTES = std::size_t{1} << 18;
constexpr std::size_t WEIGHED_BYTES = std::size_t{1} << 16;
// Every short length is weighed, as repeats of byte sequences do not show
// them well.
constexpr std::uint32_t ALWAYS_WEIGHED_UP_TO = 16;
constexpr std::size_t MOST_REPEAT_CANDIDATES = 24;
// A distance at which one four-byte sequence recurs once is chance; twice
// makes it a candidate.
constexpr std::uint32_t FEWEST_REPEATS = 2;
// A field that changes from one record to the next repeats only every
// few records: a repeat distance is tried divided by up to this many.
constexpr std::uint32_t MOST_RECORDS_PER_REPEAT = 6;
// A record length repeats at its multiples too: it is weighed at this
// many of them, itself included.
constexpr std::uint32_t MULTIPLES_WEIGHED = 3;
// A length needs this many records in the bytes to be weighed at all.
constexpr std::size_t FEWEST_RECORDS = 3;
// Fewer bytes than this of binary data line up at some short length by
// chance as often as not (a few hundred bytes of numbers agree every two
// bytes): they are too little evidence to claim a length from.
constexpr std::size_t FEWEST_BINARY_BYTES = 512;
// Samples of sound and other numbers that change a little from record to
// record repeat no byte exactly, but each byte of a record keeps its own
// range of values: short records show in how much less it takes to write
// each column of bytes down on its own (in bits a byte) than all together.
// Records of a dozen floating-point numbers (a mesh's triangles) are
// within reach too: each number's sign and exponent bytes keep to a few
// values where its other bytes vary.
constexpr std::uint32_t LONGEST_COLUMN_PERIOD = 64;
constexpr std::size_t COLUMN_BYTES = std::size_t{1} << 16;
constexpr double LEAST_COLUMN_GAIN = 0.25;
// Fewer bytes than this teach the column codes nothing.
constexpr std::size_t FEWEST_COLUMN_BYTES = 64;
// A longer length must gain this much more than a shorter one: its own
// multiples gain about as much by chance.
constexpr double LONGER_COLUMN_GAIN = 1.05;
constexpr double LN2 = 0.69314718055994530942;
// The adaptive code's prior (Krichevsky and Trofimov): half a count for
// each byte value, so 128 for the 256 of them.
constexpr double VALUE_PSEUDO_COUNT = 0.5;
constexpr double ALPHABET_PSEUDO_COUNT = 256 * VALUE_PSEUDO_COUNT;
// Columns whose bytes are counted in one walk down the rows (a matter of
// speed alone).
constexpr std::uint32_t COLUMNS_COUNTED_AT_ONCE = 4;
// Frames of coded sound or messages whose first byte carries a mark in its
// high bits (GSM 06.10's 0xD nibble, a type code) and random bits after
// it: a column whose high four bits keep one value in this share of at
// least this many records, where that value is no commoner than this in
// the bytes at large, lines them up. By chance, such a column comes once
// in a million files or fewer.
constexpr std::uint32_t LONGEST_MARKED_PERIOD = 256;
constexpr std::size_t MARKED_BYTES = std::size_t{1} << 16;
constexpr std::size_t FEWEST_MARKED_RECORDS = 24;
constexpr double MARKED_SHARE = 0.97;
constexpr double COMMONEST_MARK = 0.5;
// Text with a line end in this many bytes at least, on average, is lines.
constexpr std::uint64_t LONGEST_WEAK_TEXT_LINE = 4096;

// The chance that two bytes drawn from bytes are equal.
double chance_agreement(byte_span bytes)
{
    std::array<std::uint64_t, 256> counts = count_byte_values(bytes.data(), bytes.size());
    double total = static_cast<double>(bytes.size());
    double chance = 0;
    for (std::uint64_t count : counts)
        chance += (count / total) * (count / total);
    return chance;
}

double strength_against_chance(byte_span bytes, std::uint32_t period, double chance)
{
    if (period == 0 || bytes.size() <= period)
        return 0;
    std::size_t compared = std::min(bytes.size() - period, WEIGHED_BYTES);
    double agreement =
        static_cast<double>(count_equal_bytes(bytes.data(), bytes.data() + period, compared)) /
        static_cast<double>(compared);
    if (chance >= 1)
        return 0;
    return (agreement - chance) / (1 - chance);
}

// The strengths of the periods of one run of bytes, each worked out once:
// a length comes up again as a multiple of another and as the neighbour
// of a divisor, and each costs a pass over the bytes.
class period_strengths
{
  public:
    period_strengths(byte_span bytes, double chance) : bytes_(bytes), chance_(chance)
    {
    }

    byte_span bytes() const
    {
        return bytes_;
    }

    double of(std::uint32_t period)
    {
        auto at = std::lower_bound(
            known_.begin(), known_.end(), period,
            [](const known& each, std::uint32_t wanted) { return each.period < wanted; });
        if (at == known_.end() || at->period != period)
            at = known_.insert(at, {period, strength_against_chance(bytes_, period, chance_)});
        return at->strength;
    }

  private:
    struct known {
        std::uint32_t period;
        double strength;
    };
    byte_span bytes_;
    double chance_;
    std::vector<known> known_;
};

std::uint32_t gram_at(const unsigned char* at)
{
    return std::uint32_t{at[0]} | std::uint32_t{at[1]} << 8 | std::uint32_t{at[2]} << 16 |
           std::uint32_t{at[3]} << 24;
}

// Where the run of the byte before from ends, up to limit: a run is
// passed over a word at a time.
std::size_t end_of_run(byte_span bytes, std::size_t from, std::size_t limit)
{
    unsigned char byte = bytes[from - 1];
    std::uint64_t word_of_byte = byte * 0x0101010101010101u;
    for (; from + 8 <= limit; from += 8) {
        std::uint64_t word;
        std::memcpy(&word, bytes.data() + from, sizeof word);
        if (word != word_of_byte)
            break;
    }
    while (from < limit && bytes[from] == byte)
        from++;
    return from;
}

// Four bytes alike read the same turned by a byte.
bool is_run(std::uint32_t gram)
{
    return gram == std::rotr(gram, 8);
}

// The last place of each four-byte sequence is kept in the slot of its
// hash, of at most this many bits.
constexpr unsigned MOST_TABLE_BITS = 16;

// How far apart equal four-byte sequences stand, nearest first: records of
// one length put their fixed fields at distances of that length. Runs of
// one byte value (padding) are left out, as they repeat at every distance.
// The distances seen FEWEST_REPEATS times are noted as they reach it, in
// no order: most of the counts stay below it, and are not read again.
struct repeat_distances {
    std::vector<std::uint32_t> counts;
    std::vector<std::uint32_t> repeated;
};

repeat_distances count_repeat_distances(byte_span bytes)
{
    std::size_t searched = std::min(bytes.size(), SEARCHED_BYTES);
    std::size_t longest = std::min<std::size_t>(LONGEST_PERIOD, searched);
    repeat_distances distances{std::vector<std::uint32_t>(longest + 1, 0), {}};
    std::vector<std::uint32_t>& counts = distances.counts;
    if (searched < 8)
        return distances;
    // Of the table, a part about as large as the bytes searched: small
    // files stay cheap.
    unsigned table_bits = 8;
    while (table_bits < MOST_TABLE_BITS && (std::size_t{1} << table_bits) < searched)
        table_bits++;
    // Each slot holds a gram in its low half and where it was seen in its
    // high half, one word stored in one go. The table is kept for the
    // thread and not cleared for each run of bytes: places are counted on
    // from the last run's, and a slot from before this run's first place
    // is one never written in it.
    thread_local std::vector<std::uint64_t> last_seen(std::size_t{1} << MOST_TABLE_BITS, 0);
    thread_local std::uint64_t run_start = 0;
    if (run_start + searched + 1 > UINT32_MAX) {
        std::fill(last_seen.begin(), last_seen.end(), 0);
        run_start = 0;
    }
    const std::uint64_t before = run_start;
    run_start += searched;
    const unsigned shift = 32 - table_bits;
    // Held apart from their vectors: the note of a repeated distance could
    // otherwise move them, and they would be read again at every byte.
    std::uint64_t* table = last_seen.data();
    std::uint32_t* count_of = counts.data();
    const std::size_t grams = searched - 3;
    for (std::size_t at = 0; at < grams; at++) {
        std::uint32_t gram = gram_at(bytes.data() + at);
        if (is_run(gram)) {
            // Every gram up to where the run of one byte ends is a run too.
            at = end_of_run(bytes, at + 4, searched) - 4;
            continue;
        }
        std::uint64_t& seen = table[(gram * 2654435761u) >> shift];
        std::uint64_t place = before + at + 1;
        if (static_cast<std::uint32_t>(seen) == gram && (seen >> 32) > before) {
            // Both bounds in one test: a distance below the shortest wraps
            // round to one past the longest.
            std::size_t distance = place - (seen >> 32);
            if (distance - SHORTEST_PERIOD <= longest - SHORTEST_PERIOD &&
                ++count_of[distance] == FEWEST_REPEATS)
                distances.repeated.push_back(static_cast<std::uint32_t>(distance));
        }
        seen = gram | place << 32;
    }
    return distances;
}

void add_candidate(std::vector<std::uint32_t>& candidates, std::uint32_t length, std::size_t size)
{
    if (length < SHORTEST_PERIOD || length > LONGEST_PERIOD || length * FEWEST_RECORDS > size)
        return;
    if (std::find(candidates.begin(), candidates.end(), length) == candidates.end())
        candidates.push_back(length);
}

std::vector<std::uint32_t> candidate_lengths(byte_span bytes)
{
    repeat_distances distances = count_repeat_distances(bytes);
    const std::vector<std::uint32_t>& counts = distances.counts;
    // The order below is total: the distances kept are the same in
    // whatever order they were noted.
    std::vector<std::uint32_t>& by_count = distances.repeated;
    std::size_t kept = std::min(by_count.size(), MOST_REPEAT_CANDIDATES);
    std::partial_sort(by_count.begin(), by_count.begin() + kept, by_count.end(),
                      [&](std::uint32_t a, std::uint32_t b) {
                          return counts[a] != counts[b] ? counts[a] > counts[b] : a < b;
                      });
    std::vector<std::uint32_t> candidates;
    for (std::uint32_t length = SHORTEST_PERIOD; length <= ALWAYS_WEIGHED_UP_TO; length++)
        add_candidate(candidates, length, bytes.size());
    for (std::size_t i = 0; i < kept; i++) {
        std::uint32_t distance = by_count[i];
        for (std::uint32_t parts = 1; parts <= MOST_RECORDS_PER_REPEAT; parts++) {
            if (distance % parts == 0)
                add_candidate(candidates, distance / parts, bytes.size());
        }
    }
    return candidates;
}

// A record length repeats at its multiples too; a repeat inside a record
// does not. The score is the mean over the first multiples that fit.
double score_with_multiples(period_strengths& strengths, std::uint32_t length)
{
    double sum = strengths.of(length);
    int weighed = 1;
    for (std::uint32_t times = 2; times <= MULTIPLES_WEIGHED; times++) {
        std::uint64_t multiple = std::uint64_t{length} * times;
        if (multiple * 2 > strengths.bytes().size())
            break;
        sum += strengths.of(static_cast<std::uint32_t>(multiple));
        weighed++;
    }
    return sum / weighed;
}

double log2_gamma(double x)
{
    return log_gamma(x) / LN2;
}

// log2_gamma(count + offset) for each count a column can have, worked out
// the first time it is asked for: the same few counts come up in every
// column at every length, and each costs a logarithm of a series.
class log2_gammas
{
  public:
    log2_gammas(double offset, std::size_t most_count)
        : offset_(offset), values_(most_count + 1), known_(most_count + 1, false)
    {
    }

    double of(std::uint64_t count)
    {
        if (!known_[count]) {
            values_[count] = log2_gamma(count + offset_);
            known_[count] = true;
        }
        return values_[count];
    }

  private:
    double offset_;
    std::vector<double> values_;
    std::vector<bool> known_;
};

// The adaptive code's terms: for a column's count of bytes, and for each
// byte value's count in it.
struct code_terms {
    log2_gammas column;
    log2_gammas value;
    double column_start;
    double value_start;

    explicit code_terms(std::size_t most_count)
        : column(ALPHABET_PSEUDO_COUNT, most_count), value(VALUE_PSEUDO_COUNT, most_count),
          column_start(log2_gamma(ALPHABET_PSEUDO_COUNT)),
          value_start(log2_gamma(VALUE_PSEUDO_COUNT))
    {
    }
};

// Bits to write bytes down column by column for records of length, each
// column learning its own byte frequencies as it goes (the adaptive code of
// Krichevsky and Trofimov). A few neighbouring columns are counted in one
// walk down the rows, each in counts of its own: a column of one repeated
// byte would otherwise wait at every byte on its count's last store.
double column_code_length(byte_span bytes, std::uint32_t length, code_terms& terms)
{
    std::array<std::array<std::uint32_t, 256>, COLUMNS_COUNTED_AT_ONCE> counts{};
    // The byte values of each column in the order first seen, at most all
    // 256 of them.
    std::array<std::array<unsigned char, 256>, COLUMNS_COUNTED_AT_ONCE> seen;
    std::array<std::uint32_t, COLUMNS_COUNTED_AT_ONCE> values_seen{};
    std::array<std::uint64_t, COLUMNS_COUNTED_AT_ONCE> in_column{};
    auto note = [&](std::uint32_t lane, unsigned char byte) {
        if (counts[lane][byte]++ == 0)
            seen[lane][values_seen[lane]++] = byte;
    };
    double total = 0;
    for (std::uint32_t first = 0; first < length; first += COLUMNS_COUNTED_AT_ONCE) {
        std::uint32_t width = std::min(COLUMNS_COUNTED_AT_ONCE, length - first);
        values_seen = {};
        std::uint64_t rows = 0;
        std::size_t at = first;
        for (; at + width <= bytes.size(); at += length, rows++) {
            for (std::uint32_t lane = 0; lane < width; lane++)
                note(lane, bytes[at + lane]);
        }
        in_column.fill(rows);
        // A last row the bytes end in, whose next row lies past them all.
        for (std::uint32_t lane = 0; lane < width && at + lane < bytes.size(); lane++) {
            note(lane, bytes[at + lane]);
            in_column[lane]++;
        }
        for (std::uint32_t lane = 0; lane < width; lane++) {
            double bits = terms.column.of(in_column[lane]) - terms.column_start;
            for (std::uint32_t i = 0; i < values_seen[lane]; i++) {
                unsigned char value = seen[lane][i];
                bits -= terms.value.of(counts[lane][value]) - terms.value_start;
                counts[lane][value] = 0;
            }
            total += bits;
        }
    }
    return total;
}

period_guess find_column_period(byte_span bytes)
{
    byte_span weighed = bytes.first(std::min(bytes.size(), COLUMN_BYTES));
    period_guess best;
    if (weighed.size() < FEWEST_COLUMN_BYTES)
        return best;
    code_terms terms(weighed.size());
    double whole = column_code_length(weighed, 1, terms);
    double best_gain = LEAST_COLUMN_GAIN;
    for (std::uint32_t length = SHORTEST_PERIOD; length <= LONGEST_COLUMN_PERIOD; length++) {
        double gain = (whole - column_code_length(weighed, length, terms)) / weighed.size();
        // Of a length and its multiples, the multiples gain no more.
        if (gain > best_gain * LONGER_COLUMN_GAIN) {
            best_gain = gain;
            best = {length, WEAKEST_REPEAT};
        }
    }
    return best;
}

// The column of records of length that keeps its high nibble in nearly all
// of them, where that nibble is not common in the bytes at large. Each
// column is read down its records and left as soon as no nibble can reach
// the share any more: in most columns a few records in.
std::optional<column_mark> marked_column(byte_span bytes, std::uint32_t length,
                                         const std::array<std::uint64_t, 16>& nibbles,
                                         unsigned first_nibble)
{
    std::size_t records = bytes.size() / length;
    double least = MARKED_SHARE * static_cast<double>(records);
    std::array<bool, 16> may_mark{};
    for (unsigned nibble = first_nibble; nibble < 16; nibble++)
        may_mark[nibble] = static_cast<double>(nibbles[nibble]) <=
                               COMMONEST_MARK * static_cast<double>(bytes.size()) &&
                           static_cast<double>(nibbles[nibble]) >= least;
    for (std::uint32_t column = 0; column < length; column++) {
        std::array<std::uint32_t, 16> counts{};
        std::uint32_t most = 0;
        std::size_t record = 0;
        for (; record < records; record++) {
            unsigned nibble = bytes[record * length + column] >> 4;
            counts[nibble]++;
            if (may_mark[nibble])
                most = std::max(most, counts[nibble]);
            if (static_cast<double>(most + (records - record - 1)) < least)
                break;
        }
        if (record < records)
            continue;
        for (unsigned nibble = first_nibble; nibble < 16; nibble++) {
            if (may_mark[nibble] && counts[nibble] >= least)
                return column_mark{column, nibble};
        }
    }
    return std::nullopt;
}

std::array<std::uint64_t, 16> count_nibbles(byte_span bytes)
{
    std::array<std::uint64_t, 16> nibbles{};
    for (unsigned char byte : bytes)
        nibbles[byte >> 4]++;
    return nibbles;
}

// The shortest length at which a column carries a mark in its high bits.
period_guess find_marked_period(byte_span bytes)
{
    byte_span weighed = bytes.first(std::min(bytes.size(), MARKED_BYTES));
    std::array<std::uint64_t, 16> nibbles = count_nibbles(weighed);
    for (std::uint32_t length = SHORTEST_PERIOD;
         length <= LONGEST_MARKED_PERIOD && weighed.size() / length >= FEWEST_MARKED_RECORDS;
         length++) {
        if (marked_column(weighed, length, nibbles, 0))
            return {length, WEAKEST_REPEAT};
    }
    return {};
}

// The column code's period, else a marked column's.
period_guess find_weak_period(byte_span bytes)
{
    period_guess columns = find_column_period(bytes);
    return columns.length != 0 ? columns : find_marked_period(bytes);
}

// Each byte as its kind: digit, letter, blank... Records of text whose
// values differ in every record keep their kinds of byte column by column.
std::vector<unsigned char> kinds_of(byte_span bytes, const byte_class_table& classes)
{
    std::size_t kept = std::min(bytes.size(), SEARCHED_BYTES);
    std::vector<unsigned char> kinds(kept);
    map_byte_values(bytes.data(), kept, classes.data(), kinds.data());
    return kinds;
}

void add_candidates(std::vector<std::uint32_t>& into, const std::vector<std::uint32_t>& more)
{
    for (std::uint32_t length : more) {
        if (std::find(into.begin(), into.end(), length) == into.end())
            into.push_back(length);
    }
}

} // namespace

std::optional<column_mark> find_column_mark(byte_span bytes, std::uint32_t length)
{
    byte_span weighed = bytes.first(std::min(bytes.size(), MARKED_BYTES));
    if (length < SHORTEST_PERIOD || weighed.size() / length < FEWEST_MARKED_RECORDS)
        return std::nullopt;
    // Zeros fill headers and padding as well as records: high bits of zero
    // mark no record apart from them.
    return marked_column(weighed, length, count_nibbles(weighed), 1);
}

period_choice find_period(byte_span bytes, const byte_class_table* text_classes)
{
    period_choice result;
    if (bytes.size() < FEWEST_RECORDS * SHORTEST_PERIOD ||
        (text_classes == nullptr && bytes.size() < FEWEST_BINARY_BYTES))
        return result;
    period_guess best;
    double chance = chance_agreement(bytes.first(std::min(bytes.size(), WEIGHED_BYTES * 2)));
    std::vector<std::uint32_t> candidates = candidate_lengths(bytes);
    std::vector<unsigned char> kind_bytes;
    if (text_classes != nullptr)
        kind_bytes = kinds_of(bytes, *text_classes);
    byte_span kinds(kind_bytes.data(), kind_bytes.size());
    double kind_chance = 0;
    if (!kinds.empty()) {
        kind_chance = chance_agreement(kinds.first(std::min(kinds.size(), WEIGHED_BYTES * 2)));
        add_candidates(candidates, candidate_lengths(kinds));
    }
    period_strengths byte_strengths(bytes, chance), kind_strengths(kinds, kind_chance);
    std::vector<scored<std::uint32_t>>& scored_lengths = result.candidates;
    for (std::uint32_t length : candidates) {
        double score = score_with_multiples(byte_strengths, length);
        if (!kinds.empty())
            score = std::max(score, score_with_multiples(kind_strengths, length));
        scored_lengths.push_back({length, score});
        if (score > best.strength || (score == best.strength && length < best.length))
            best = {length, score};
    }
    // Text in lines has its records told by its lines; the adaptive code
    // over every length is for bytes that repeat no value exactly.
    bool lines = text_classes != nullptr &&
                 ends_lines_often(bytes.data(), bytes.size(), LONGEST_WEAK_TEXT_LINE);
    if (best.length == 0) {
        result.choice = lines ? period_guess{} : find_weak_period(bytes);
        return result;
    }
    // The shortest divisor that repeats about as strongly is the record;
    // the longer length is a run of such records. Bytes a record apart
    // agree more than bytes a byte nearer or farther: bytes of text agree
    // a few bytes apart wherever they stand (letters beside letters), and
    // less the farther apart, which is no record.
    auto agreement = [&](std::uint32_t length) {
        double score = byte_strengths.of(length);
        if (!kinds.empty())
            score = std::max(score, kind_strengths.of(length));
        return score;
    };
    period_guess shortest = best;
    for (auto [length, score] : scored_lengths) {
        if (length >= shortest.length || best.length % length != 0 ||
            score < best.strength * DIVISOR_SHARE)
            continue;
        double at = agreement(length);
        if (at > agreement(length - 1) && at > agreement(length + 1))
            shortest = {length, score};
    }
    result.choice = shortest.strength >= WEAKEST_REPEAT ? shortest
                    : lines                             ? period_guess{}
                                                        : find_weak_period(bytes);
    return result;
}
