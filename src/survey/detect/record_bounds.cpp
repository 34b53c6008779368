#include "record_bounds.h"

#include "../base/byte_kernels.h"
#include "../base/small_math.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <functional>
#include <memory>
#include <vector>

namespace
{

// A header or trailer must explain the bytes this much better (in nats)
// than records do before it counts.
constexpr double LEAST_GAIN = 5;
// Records that do not fill the space between header and trailer must
// explain the bytes this much better than whole records do.
constexpr double SHORT_RECORD_GAIN = 5;
// Nor with fewer whole records than this between them: a few records say
// too little of where they end.
constexpr std::uint64_t FEWEST_BEFORE_SHORT = 16;
constexpr unsigned char END_OF_FILE_MARK = 0x1A;
constexpr double END_MARK_GAIN = 6;
// Headers and trailers are looked for this far into the start and back
// from the end.
constexpr std::uint64_t LONGEST_SEARCH = std::uint64_t{1} << 18;
// Records of one length must make up this share of the file.
constexpr double LEAST_COVER = 0.75;
// Stretches of the records that must look like records, not like chance.
constexpr double LEAST_RECORD_LIKE = 0.8;
// A place's phase is tried on this many of its bytes, on its side away
// from a header or trailer: enough records of any length tried here.
constexpr std::uint64_t ALIGNMENT_BYTES = std::uint64_t{1} << 16;
// Each phase is weighed over every column; past this length the phases
// would cost more than the rest of the search, and so few records fit in
// a place that a shift among them says little.
constexpr std::uint32_t LONGEST_ALIGNED = 1024;
// Records shifted by a byte still agree with themselves at many columns.
// Other phases are tried only where the place looks less like records at
// the reference's phase than this share of the reference does, and one is
// taken only where the place looks at least twice as much like records
// there (where the reference's phase shows no records, some will do).
constexpr double WEAK_SHARE = 0.5;
constexpr double SHIFT_EVIDENCE = 1;

// What two bytes a record length apart have in common.
enum pair_outcome { SAME_BYTE, SAME_CLASS, UNLIKE, OUTCOMES };

struct region {
    byte_span bytes;
    std::uint64_t offset; // in the file
    std::uint64_t end() const
    {
        return offset + bytes.size();
    }
    unsigned char at(std::uint64_t file_offset) const
    {
        return bytes[file_offset - offset];
    }
};

using outcome_counts = std::array<std::uint32_t, OUTCOMES>;

// How pairs of bytes a record apart turn out at each column of records,
// and how pairs of unrelated bytes turn out: the evidence that tells
// records from anything else.
struct pair_model {
    std::uint32_t length;
    std::uint64_t anchor; // file offset of a column 0
    const byte_class_table* classes;
    std::vector<std::array<double, OUTCOMES>> evidence_by_column;
    // The evidence of the reference's own pairs, each on average.
    double evidence_per_pair = 0;

    pair_outcome outcome(unsigned char first, unsigned char second) const
    {
        if (first == second)
            return SAME_BYTE;
        return (*classes)[first] == (*classes)[second] ? SAME_CLASS : UNLIKE;
    }

    std::uint32_t column_of(std::uint64_t offset) const
    {
        std::uint64_t phase = anchor % length;
        return static_cast<std::uint32_t>((offset + length - phase) % length);
    }

    // Positive where the pair looks unrelated, negative where it looks
    // like two records' bytes at column.
    double evidence(std::uint32_t column, pair_outcome outcome) const
    {
        return evidence_by_column[column][outcome];
    }

    // The next column to the right or left: the walks over the bytes step
    // their column along rather than divide for it at every byte.
    std::uint32_t next_column(std::uint32_t column) const
    {
        return column + 1 == length ? 0 : column + 1;
    }
    std::uint32_t previous_column(std::uint32_t column) const
    {
        return column == 0 ? length - 1 : column - 1;
    }
};

// Rows this long at least are tallied at once: short records are taken a
// few to a row, so that the kernels see long runs.
constexpr std::uint64_t LEAST_TALLY_ROW = 256;
// A byte counter wraps after 255 additions.
constexpr unsigned ROWS_PER_FOLD = 255;

// How the pairs of bytes distance apart in a run of bytes turn out at each
// column of records of length, the first byte at column: counted a block
// at a time by the wide kernels into byte counters, a row of a few records
// long, folded into the columns' counts before they could wrap.
struct pair_tallies {
    std::vector<std::uint32_t> same, same_class, pairs;
    std::vector<unsigned char> row_same, row_same_class;

    // A row is whole records: a record at a time, the columns need no
    // wrapping.
    void fold(std::uint32_t length)
    {
        for (std::size_t record = 0; record < row_same.size(); record += length) {
            const unsigned char* record_same = row_same.data() + record;
            const unsigned char* record_same_class = row_same_class.data() + record;
            for (std::uint32_t column = 0; column < length; column++) {
                same[column] += record_same[column];
                same_class[column] += record_same_class[column];
            }
        }
        std::fill(row_same.begin(), row_same.end(), 0);
        std::fill(row_same_class.begin(), row_same_class.end(), 0);
    }

    // classes: those of the bytes, count + distance of each.
    void tally(const unsigned char* bytes, const unsigned char* classes, std::uint64_t count,
               std::uint64_t distance, std::uint32_t length, std::uint32_t column)
    {
        std::uint64_t row = (LEAST_TALLY_ROW + length - 1) / length * length;
        same.assign(length, 0);
        same_class.assign(length, 0);
        row_same.assign(row, 0);
        row_same_class.assign(row, 0);
        std::uint64_t at = 0;
        std::uint64_t place = column;
        for (unsigned rows = 1; at < count; rows++) {
            std::uint64_t run = std::min(row - place, count - at);
            tally_byte_pairs(bytes + at, bytes + at + distance, classes + at,
                             classes + at + distance, run, row_same.data() + place,
                             row_same_class.data() + place);
            at += run;
            place = 0;
            if (rows % ROWS_PER_FOLD == 0)
                fold(length);
        }
        fold(length);
        pairs.assign(length, static_cast<std::uint32_t>(count / length));
        for (std::uint64_t extra = 0; extra < count % length; extra++)
            pairs[(column + extra) % length]++;
    }

    std::uint32_t unlike(std::uint32_t column) const
    {
        return pairs[column] - same[column] - same_class[column];
    }
};

// The classes of the bytes of each place the sample read, mapped a piece
// at a time when first asked for: the model, the walks for a header and a
// trailer and the stretches of records read much the same bytes, and
// mapping them is most of what a tally costs.
class sample_classes
{
  public:
    sample_classes(const file_sample& sample, const byte_class_table& table) : table_(table)
    {
        places_.push_back({sample.start, {}, {}});
        for (const sample_piece& piece : sample.later)
            places_.push_back({piece.bytes, {}, {}});
    }

    // The classes of count bytes from bytes, which lie in one place.
    const unsigned char* of(const unsigned char* bytes, std::size_t count)
    {
        place& where = place_of(bytes);
        std::size_t from = static_cast<std::size_t>(bytes - where.bytes.data());
        if (!where.classes) {
            where.classes.reset(new unsigned char[where.bytes.size()]);
            where.mapped.assign((where.bytes.size() + PIECE - 1) / PIECE, false);
        }
        for (std::size_t piece = from / PIECE; piece * PIECE < from + count; piece++) {
            if (!where.mapped[piece])
                map_piece(where, piece);
        }
        return where.classes.get() + from;
    }

  private:
    static constexpr std::size_t PIECE = 4096;

    struct place {
        byte_span bytes;
        std::unique_ptr<unsigned char[]> classes;
        std::vector<bool> mapped;
    };

    place& place_of(const unsigned char* bytes)
    {
        for (place& each : places_) {
            const unsigned char* data = each.bytes.data();
            if (!std::less<>{}(bytes, data) && std::less<>{}(bytes, data + each.bytes.size()))
                return each;
        }
        return places_.front();
    }

    void map_piece(place& where, std::size_t piece)
    {
        std::size_t from = piece * PIECE;
        std::size_t to = std::min(from + PIECE, where.bytes.size());
        map_byte_values(where.bytes.data() + from, to - from, table_.data(),
                        where.classes.get() + from);
        where.mapped[piece] = true;
    }

    const byte_class_table& table_;
    std::vector<place> places_;
};

// Probabilities of the outcomes, drawn toward prior where counts are few:
// a column seen in few records says little either way.
std::array<double, OUTCOMES> probabilities(const outcome_counts& counts,
                                           const std::array<double, OUTCOMES>& prior,
                                           double prior_weight)
{
    double total = 0;
    for (std::uint32_t count : counts)
        total += count;
    std::array<double, OUTCOMES> result{};
    for (int outcome = 0; outcome < OUTCOMES; outcome++)
        result[outcome] =
            (counts[outcome] + prior_weight * prior[outcome]) / (total + prior_weight);
    return result;
}

pair_model learn_pairs(const region& reference, std::uint32_t length,
                       const byte_class_table& classes, sample_classes& mapped)
{
    pair_model model{length, reference.offset, &classes, {}};
    std::size_t size = reference.bytes.size();
    std::uint32_t column = model.column_of(reference.offset);
    const unsigned char* bytes = reference.bytes.data();
    const unsigned char* byte_classes = mapped.of(bytes, size);
    pair_tallies tallies;
    tallies.tally(bytes, byte_classes, size - length, length, length, column);
    std::vector<outcome_counts> by_column(length, outcome_counts{});
    for (std::uint32_t each = 0; each < length; each++)
        by_column[each] = {tallies.same[each], tallies.same_class[each], tallies.unlike(each)};
    // Bytes a record and one apart stand in different columns: unrelated.
    outcome_counts unrelated{};
    if (size > std::uint64_t{length} + 1) {
        tallies.tally(bytes, byte_classes, size - length - 1, length + 1, length, column);
        for (std::uint32_t each = 0; each < length; each++) {
            unrelated[SAME_BYTE] += tallies.same[each];
            unrelated[SAME_CLASS] += tallies.same_class[each];
            unrelated[UNLIKE] += tallies.unlike(each);
        }
    }
    std::array<double, OUTCOMES> even{1.0 / 3, 1.0 / 3, 1.0 / 3};
    std::array<double, OUTCOMES> chance = probabilities(unrelated, even, 1.5);
    std::array<double, OUTCOMES> log_chance;
    for (int outcome = 0; outcome < OUTCOMES; outcome++)
        log_chance[outcome] = natural_log(chance[outcome]);
    model.evidence_by_column.resize(length);
    for (std::uint32_t column = 0; column < length; column++) {
        std::array<double, OUTCOMES> in_records = probabilities(by_column[column], chance, 2);
        for (int outcome = 0; outcome < OUTCOMES; outcome++)
            model.evidence_by_column[column][outcome] =
                log_chance[outcome] - natural_log(in_records[outcome]);
    }
    double sum = 0, pairs = 0;
    for (std::uint32_t column = 0; column < length; column++) {
        for (int outcome = 0; outcome < OUTCOMES; outcome++) {
            sum += by_column[column][outcome] * model.evidence_by_column[column][outcome];
            pairs += by_column[column][outcome];
        }
    }
    model.evidence_per_pair = pairs > 0 ? sum / pairs : 0;
    return model;
}

// The middle of the file holds records if anything does: a piece from the
// middle of a large file, or the middle third of a small one, widened to
// hold a few records of length.
region reference_region(const file_sample& sample, std::uint32_t length)
{
    if (sample.later.size() >= 2 && sample.later.front().bytes.size() > 3 * std::uint64_t{length})
        return {sample.later.front().bytes, sample.later.front().offset};
    std::uint64_t size = sample.start.size();
    std::uint64_t wanted = std::max<std::uint64_t>(size / 3, 4 * std::uint64_t{length});
    if (wanted >= size)
        return {sample.start, 0};
    std::uint64_t from = (size - wanted) / 2;
    return {sample.start.subspan(from, wanted), from};
}

// The best place for a boundary in each phase of the record length: for
// every remainder modulo the length, the highest gain and where it is.
struct boundary_gains {
    std::vector<double> gain;
    std::vector<std::uint64_t> at;
};

boundary_gains no_boundary(std::uint32_t length, std::uint64_t at)
{
    boundary_gains gains{std::vector<double>(length, -1e300),
                         std::vector<std::uint64_t>(length, 0)};
    gains.gain[at % length] = 0;
    gains.at[at % length] = at;
    return gains;
}

// Pairs weighed at once by the walks for a header and a trailer, their
// agreement told a block at a time by the wide kernels.
constexpr std::uint64_t WALK_BLOCK = 4096;

// The evidence of a pair at each phase of a walk, by how far its bytes
// agree (as agree_byte_pairs tells): at phase, the column of column_at +
// phase - phase_at. Laid out flat, a walk steps along one index rather
// than a column and a phase.
std::vector<double> evidence_by_phase(const pair_model& model, std::uint32_t column_at,
                                      std::uint32_t phase_at)
{
    std::uint32_t length = model.length;
    std::vector<double> table(std::size_t{length} * OUTCOMES);
    std::uint32_t column = static_cast<std::uint32_t>(
        (std::uint64_t{column_at} + length - phase_at % length) % length);
    for (std::uint32_t phase = 0; phase < length; phase++) {
        for (int agree = 0; agree < OUTCOMES; agree++)
            table[std::size_t{phase} * OUTCOMES + agree] =
                model.evidence(column, static_cast<pair_outcome>(UNLIKE - agree));
        column = model.next_column(column);
    }
    return table;
}

// The running sum of count pairs' evidence, each weighed at its own phase
// from weights on: the one chain of adds the walks must take in order, as
// a change of order could flip a near tie. top rises to the highest sum;
// each is kept in sums where KEEP, which is left alone otherwise.
template <bool KEEP>
double add_up(const double* weights, const unsigned char* agree, std::uint64_t count, double sum,
              double* sums, double& top)
{
    auto take = [&](const double* at, unsigned char agreed, double* kept) {
        sum += at[agreed];
        top = std::max(sum, top);
        if constexpr (KEEP)
            *kept = sum;
    };
    // Four pairs a turn: the loop's own count and test cost as much as a
    // pair's add.
    std::uint64_t step = 0;
    for (; step + 4 <= count; step += 4, weights += 4 * OUTCOMES) {
        take(weights, agree[step], sums + step);
        take(weights + OUTCOMES, agree[step + 1], sums + step + 1);
        take(weights + 2 * OUTCOMES, agree[step + 2], sums + step + 2);
        take(weights + 3 * OUTCOMES, agree[step + 3], sums + step + 3);
    }
    for (; step < count; step++, weights += OUTCOMES)
        take(weights, agree[step], sums + step);
    return sum;
}

// Likewise from the pair before agree back, its weights the phase before
// weights, each sum kept at its pair's place before sums.
template <bool KEEP>
double add_up_back(const double* weights, const unsigned char* agree, std::uint64_t count,
                   double sum, double* sums, double& top)
{
    auto take = [&](const double* at, unsigned char agreed, double* kept) {
        sum += at[agreed];
        top = std::max(sum, top);
        if constexpr (KEEP)
            *kept = sum;
    };
    std::uint64_t left = count;
    for (; left >= 4; left -= 4) {
        weights -= 4 * OUTCOMES;
        agree -= 4;
        sums -= 4;
        take(weights + 3 * OUTCOMES, agree[3], sums + 3);
        take(weights + 2 * OUTCOMES, agree[2], sums + 2);
        take(weights + OUTCOMES, agree[1], sums + 1);
        take(weights, agree[0], sums);
    }
    for (; left > 0; left--) {
        weights -= OUTCOMES;
        take(weights, *--agree, --sums);
    }
    return sum;
}

// A block of a walk's pairs from phase on, a run at a time up to the last
// phase, which the next starts over.
template <bool KEEP>
double add_up_block(const std::vector<double>& evidence, const unsigned char* agree,
                    std::uint64_t count, std::uint64_t phase, std::uint32_t length, double sum,
                    double* sums, double& top)
{
    for (std::uint64_t each = 0; each < count;) {
        std::uint64_t run = std::min<std::uint64_t>(count - each, length - phase);
        sum = add_up<KEEP>(evidence.data() + phase * OUTCOMES, agree + each, run, sum, sums + each,
                           top);
        each += run;
        phase = 0;
    }
    return sum;
}

// Likewise from the last pair back, down to phase 0, after which the last
// comes: each sum kept at its pair's place.
template <bool KEEP>
double add_up_block_back(const std::vector<double>& evidence, const unsigned char* agree,
                         std::uint64_t count, std::uint64_t phase, std::uint32_t length, double sum,
                         double* sums, double& top)
{
    for (std::uint64_t left = count; left > 0;) {
        std::uint64_t run = std::min<std::uint64_t>(left, phase + 1);
        sum = add_up_back<KEEP>(evidence.data() + (phase + 1) * OUTCOMES, agree + left, run, sum,
                                sums + left, top);
        left -= run;
        phase = length - 1;
    }
    return sum;
}

// The lowest best gain of count phases from first on, around past the
// last: no sum of a block whose highest weighs no more can raise one. The
// lowest of all phases, which most blocks ask for, is kept until a block
// raises one.
class lowest_gains
{
  public:
    explicit lowest_gains(const boundary_gains& gains) : gains_(gains.gain)
    {
    }

    double of(std::uint64_t first, std::uint64_t count)
    {
        std::uint64_t length = gains_.size();
        if (count >= length) {
            if (!known_)
                lowest_ = *std::min_element(gains_.begin(), gains_.end());
            known_ = true;
            return lowest_;
        }
        double lowest = gains_[first];
        for (std::uint64_t each = 1, at = first; each < count; each++) {
            at = at + 1 == length ? 0 : at + 1;
            lowest = std::min(lowest, gains_[at]);
        }
        return lowest;
    }

    void raised()
    {
        known_ = false;
    }

  private:
    const std::vector<double>& gains_;
    double lowest_ = 0;
    bool known_ = false;
};

// Where the header may end: the gain of each end is how much better the
// bytes before it look unlike records than like them, less what claiming
// a header at all must overcome.
boundary_gains header_gains(const pair_model& model, const region& start, sample_classes& mapped)
{
    std::uint32_t length = model.length;
    boundary_gains gains = no_boundary(length, 0);
    std::uint64_t limit = std::min(start.end(), LONGEST_SEARCH);
    std::uint64_t pairs = limit > length ? limit - length : 0;
    double sum = 0;
    // Byte at stands at the column of its own offset, and a header
    // ending after it at the phase of the next.
    std::uint32_t phase = 1 % length;
    std::vector<double> evidence = evidence_by_phase(model, model.column_of(0), phase);
    std::vector<unsigned char> agree(std::min(pairs, WALK_BLOCK));
    std::vector<double> sums(agree.size());
    double* gain = gains.gain.data();
    std::uint64_t* gain_at = gains.at.data();
    lowest_gains lowest(gains);
    for (std::uint64_t block = 0; block < pairs; block += WALK_BLOCK) {
        std::uint64_t count = std::min(pairs - block, WALK_BLOCK);
        const unsigned char* first = start.bytes.data() + block;
        const unsigned char* classes = mapped.of(first, count + length);
        agree_byte_pairs(first, first + length, classes, classes + length, count, agree.data());
        // The sums in order, then each run's against the best of its
        // phases, as wide as the kernels go. Most blocks raise none: their
        // sums are added up again, in the same order, only where one may.
        double top = -HUGE_VAL;
        double before = sum;
        sum = add_up_block<false>(evidence, agree.data(), count, phase, length, sum, sums.data(),
                                  top);
        if (!(top + 0 - LEAST_GAIN > lowest.of(phase, count))) {
            phase = static_cast<std::uint32_t>((phase + count) % length);
            continue;
        }
        add_up_block<true>(evidence, agree.data(), count, phase, length, before, sums.data(), top);
        for (std::uint64_t each = 0; each < count;) {
            std::uint64_t run = std::min<std::uint64_t>(count - each, length - phase);
            raise_best_sums(sums.data() + each, run, 0, LEAST_GAIN, gain + phase, gain_at + phase,
                            block + each + 1);
            each += run;
            phase = phase + run == length ? 0 : static_cast<std::uint32_t>(phase + run);
        }
        lowest.raised();
    }
    return gains;
}

// Where the trailer may start, likewise from the end of the file back. A
// last byte 0x1A is the end-of-file mark of DOS and CP/M programs, not
// part of a record.
boundary_gains trailer_gains(const pair_model& model, const region& end, sample_classes& mapped)
{
    std::uint32_t length = model.length;
    boundary_gains gains = no_boundary(length, end.end());
    double end_mark =
        !end.bytes.empty() && end.bytes.back() == END_OF_FILE_MARK ? END_MARK_GAIN : 0;
    std::uint64_t from = end.end() > LONGEST_SEARCH ? end.end() - LONGEST_SEARCH : 0;
    from = std::max(from, end.offset + length);
    double sum = 0;
    if (end.end() <= from)
        return gains;
    // A trailer starting at a byte has the phase of its offset.
    std::uint32_t phase = static_cast<std::uint32_t>((end.end() - 1) % length);
    std::vector<double> evidence = evidence_by_phase(model, model.column_of(end.end() - 1), phase);
    std::vector<unsigned char> agree(std::min(end.end() - from, WALK_BLOCK));
    std::vector<double> sums(agree.size());
    double* gain = gains.gain.data();
    std::uint64_t* gain_at = gains.at.data();
    lowest_gains lowest(gains);
    // Blocks of the pairs' later bytes, from the last back.
    for (std::uint64_t to = end.end(); to > from;) {
        std::uint64_t count = std::min(to - from, WALK_BLOCK);
        std::uint64_t first = to - count;
        const unsigned char* earlier = end.bytes.data() + (first - length - end.offset);
        const unsigned char* classes = mapped.of(earlier, count + length);
        agree_byte_pairs(earlier, earlier + length, classes, classes + length, count, agree.data());
        // The sums in order from the last pair back, as for a header.
        double top = -HUGE_VAL;
        double before = sum;
        sum = add_up_block_back<false>(evidence, agree.data(), count, phase, length, sum,
                                       sums.data(), top);
        std::uint64_t lowest_phase = (phase + length - count % length + 1) % length;
        if (!(top + end_mark - LEAST_GAIN > lowest.of(lowest_phase, count))) {
            phase = static_cast<std::uint32_t>((phase + length - count % length) % length);
            to = first;
            continue;
        }
        add_up_block_back<true>(evidence, agree.data(), count, phase, length, before, sums.data(),
                                top);
        for (std::uint64_t left = count; left > 0;) {
            std::uint64_t run = std::min<std::uint64_t>(left, phase + std::uint64_t{1});
            std::uint64_t low = phase + 1 - run;
            raise_best_sums(sums.data() + left - run, run, end_mark, LEAST_GAIN, gain + low,
                            gain_at + low, first + left - run);
            left -= run;
            phase = low == 0 ? length - 1 : static_cast<std::uint32_t>(low - 1);
        }
        lowest.raised();
        to = first;
    }
    return gains;
}

region end_region(const file_sample& sample)
{
    if (!sample.later.empty())
        return {sample.later.back().bytes, sample.later.back().offset};
    return {sample.start, 0};
}

bool end_is_seen(const file_sample& sample)
{
    return sample.file_size && end_region(sample).end() == *sample.file_size;
}

// The header's end and the trailer's start lie a whole number of records
// apart unless the bytes say otherwise: of all such pairs, the one the
// bytes favour most.
record_bounds place_whole_records(std::uint64_t size, std::uint32_t length,
                                  const boundary_gains& header, const boundary_gains& trailer,
                                  double& gain)
{
    record_bounds bounds;
    gain = -1e300;
    for (std::uint32_t phase = 0; phase < length; phase++) {
        double total = header.gain[phase] + trailer.gain[phase];
        if (total <= gain || header.at[phase] >= trailer.at[phase])
            continue;
        gain = total;
        bounds.header = header.at[phase];
        bounds.records = (trailer.at[phase] - header.at[phase]) / length;
    }
    bounds.trailer = size - bounds.header - bounds.records * length;
    bounds.found = bounds.records > 0;
    return bounds;
}

std::uint64_t best_boundary(const boundary_gains& gains, double& gain)
{
    std::size_t best = static_cast<std::size_t>(
        std::max_element(gains.gain.begin(), gains.gain.end()) - gains.gain.begin());
    gain = gains.gain[best];
    return gains.at[best];
}

// Where the bytes favour a header's end and a trailer's start that are not
// a whole number of records apart by much, the records between run short:
// bytes that look like records belong to them, and a last record left
// short of the length is a record cut short, for --verify to report, not
// a trailer; a record with a byte too many or too few shifts those after
// it, which --verify reports too.
record_bounds place_records(std::uint64_t size, std::uint32_t length, const boundary_gains& header,
                            const boundary_gains& trailer)
{
    double whole_gain = 0, header_gain = 0, trailer_gain = 0;
    record_bounds whole = place_whole_records(size, length, header, trailer, whole_gain);
    std::uint64_t from = best_boundary(header, header_gain);
    std::uint64_t to = best_boundary(trailer, trailer_gain);
    if (from >= to || (to - from) / length < FEWEST_BEFORE_SHORT ||
        header_gain + trailer_gain <= whole_gain + SHORT_RECORD_GAIN)
        return whole;
    record_bounds bounds;
    bounds.header = from;
    bounds.records = (to - from + length - 1) / length;
    bounds.trailer = size - to;
    bounds.found = bounds.records > 0;
    return bounds;
}

// Up to the last whole record.
std::uint64_t size_of_records(const record_bounds& bounds, std::uint32_t length)
{
    return bounds.header + (bounds.records - 1) * std::uint64_t{length};
}

// One stretch's evidence: its pairs tallied by column, each column's
// counts weighed by the evidence of their outcome there.
double stretch_evidence(const pair_model& model, pair_tallies& tallies, sample_classes& mapped,
                        const unsigned char* bytes, std::uint64_t count, std::uint32_t column)
{
    tallies.tally(bytes, mapped.of(bytes, count + model.length), count, model.length, model.length,
                  column);
    double sum = 0;
    for (std::uint32_t each = 0; each < model.length; each++) {
        const std::array<double, OUTCOMES>& evidence = model.evidence_by_column[each];
        sum += tallies.same[each] * evidence[SAME_BYTE] +
               tallies.same_class[each] * evidence[SAME_CLASS] +
               tallies.unlike(each) * evidence[UNLIKE];
    }
    return sum;
}

// The model with its columns where a place's own records stand. A byte
// added or lost between the reference and the place shifts every record
// after it; read at the reference's columns, the place's records would
// look like a header or trailer and the walks would make one up (--verify
// names the shift). Only a place that looks like no records at the
// reference's columns, and like records at others, is shifted.
pair_model aligned_to(const pair_model& model, const region& place, bool from_end,
                      sample_classes& mapped)
{
    std::uint32_t length = model.length;
    // The tail of the start, the head of the end piece: away from a header
    // and a trailer.
    std::uint64_t count = std::min<std::uint64_t>(place.bytes.size(), ALIGNMENT_BYTES);
    byte_span bytes = from_end ? place.bytes.last(count) : place.bytes.first(count);
    std::uint64_t offset = from_end ? place.end() - count : place.offset;
    if (length > LONGEST_ALIGNED || bytes.size() < 4 * std::uint64_t{length})
        return model;
    pair_tallies tallies;
    tallies.tally(bytes.data(), mapped.of(bytes.data(), bytes.size()), bytes.size() - length,
                  length, length, model.column_of(offset));
    auto weigh = [&](std::uint32_t shift) {
        double sum = 0;
        for (std::uint32_t column = 0, at = shift; column < length;
             column++, at = model.next_column(at)) {
            const std::array<double, OUTCOMES>& evidence = model.evidence_by_column[at];
            sum += tallies.same[column] * evidence[SAME_BYTE] +
                   tallies.same_class[column] * evidence[SAME_CLASS] +
                   tallies.unlike(column) * evidence[UNLIKE];
        }
        return sum;
    };
    double at_reference = weigh(0);
    double pairs = static_cast<double>(bytes.size() - length);
    if (at_reference < WEAK_SHARE * model.evidence_per_pair * pairs)
        return model;
    std::uint32_t best = 0;
    double lowest = 0;
    for (std::uint32_t shift = 1; shift < length; shift++) {
        double sum = weigh(shift);
        if (sum < lowest) {
            lowest = sum;
            best = shift;
        }
    }
    if (lowest >= at_reference - SHIFT_EVIDENCE * std::abs(at_reference))
        return model;
    pair_model shifted = model;
    shifted.anchor = model.anchor % length + length - best;
    return shifted;
}

// Stretches of the records, wherever the sample saw them, must look like
// records; a file of several tables has one length only in some of them.
// Each place is read at its own model's columns (models: the start's,
// then each later piece's).
bool records_hold_throughout(const std::vector<pair_model>& models, const file_sample& sample,
                             const record_bounds& bounds, sample_classes& mapped)
{
    const pair_model& model = models.front();
    std::uint64_t records_end = size_of_records(bounds, model.length);
    std::uint64_t stretch = std::max<std::uint64_t>(8 * std::uint64_t{model.length}, 4096);
    std::vector<region> places{{sample.start, 0}};
    for (const sample_piece& piece : sample.later)
        places.push_back({piece.bytes, piece.offset});
    auto stretches_in = [&](const region& where, std::uint64_t& from) -> std::uint64_t {
        from = std::max(where.offset, bounds.header);
        std::uint64_t to = std::min(where.end(), records_end);
        if (from + stretch + model.length > to)
            return 0;
        return (to - model.length - from - stretch) / stretch + 1;
    };
    std::uint64_t stretches = 0;
    for (const region& where : places) {
        std::uint64_t from = 0;
        stretches += stretches_in(where, from);
    }
    if (stretches == 0)
        return true;
    // The walk stops once the stretches left could not change the answer.
    double least = LEAST_RECORD_LIKE * static_cast<double>(stretches);
    std::uint64_t record_like = 0, weighed = 0;
    auto decided = [&] {
        return static_cast<double>(record_like) >= least ||
               static_cast<double>(record_like + stretches - weighed) < least;
    };
    pair_tallies tallies;
    for (const region& where : places) {
        std::uint64_t from = 0;
        std::uint64_t count = stretches_in(where, from);
        const unsigned char* base = where.bytes.data() + (from - where.offset);
        const pair_model& own = models[static_cast<std::size_t>(&where - places.data())];
        for (std::uint64_t each = 0; each < count && !decided(); each++) {
            std::uint64_t at = each * stretch;
            record_like += stretch_evidence(own, tallies, mapped, base + at, stretch,
                                            own.column_of(from + at)) < 0;
            weighed++;
        }
    }
    return static_cast<double>(record_like) >= least;
}

} // namespace

record_bounds find_record_bounds(const file_sample& sample, std::uint32_t length,
                                 const byte_class_table& classes)
{
    record_bounds none;
    region reference = reference_region(sample, length);
    if (reference.bytes.size() < 2 * std::uint64_t{length} + 1)
        return none;
    sample_classes mapped(sample, classes);
    pair_model model = learn_pairs(reference, length, classes, mapped);
    std::uint64_t size = sample.file_size ? *sample.file_size : sample.start.size();
    // The reference is a piece of a large file: the start and the end piece
    // are read at their own records' columns.
    std::vector<pair_model> models(1 + sample.later.size(), model);
    if (sample.later.size() >= 2 && reference.offset == sample.later.front().offset) {
        models.front() = aligned_to(model, {sample.start, 0}, true, mapped);
        models.back() = aligned_to(model, end_region(sample), false, mapped);
    }
    boundary_gains header = header_gains(models.front(), {sample.start, 0}, mapped);
    boundary_gains trailer = end_is_seen(sample)
                                 ? trailer_gains(models.back(), end_region(sample), mapped)
                                 : no_boundary(length, size);
    record_bounds bounds = place_records(size, length, header, trailer);
    // A last record cut short is no evidence of the length.
    std::uint64_t whole = (size - bounds.header - bounds.trailer) / length;
    if (!bounds.found || whole < 2 ||
        static_cast<double>(whole) * length < LEAST_COVER * static_cast<double>(size))
        return none;
    if (!records_hold_throughout(models, sample, bounds, mapped))
        return none;
    return bounds;
}
