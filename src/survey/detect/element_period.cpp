#include "element_period.h"

#include "../base/byte_kernels.h"
#include "../base/byte_order.h"

#include <algorithm>
#include <array>
#include <bit>
#include <complex>
#include <cstring>
#include <new>
#include <numbers>
#include <utility>
#include <vector>

namespace
{

// An allocator that leaves numbers unset: the buffers below are as long
// as the values sampled and each is written whole before it is read, so
// zeroing them first costs as much again as filling them.
template <typename T> struct unzeroed : std::allocator<T> {
    template <typename U> struct rebind {
        using other = unzeroed<U>;
    };

    unzeroed() = default;
    template <typename U> unzeroed(const unzeroed<U>&) noexcept
    {
    }

    template <typename U> void construct(U* place) noexcept
    {
        ::new (static_cast<void*>(place)) U;
    }

    template <typename U, typename... Args> void construct(U* place, Args&&... args)
    {
        ::new (static_cast<void*>(place)) U(std::forward<Args>(args)...);
    }
};

using double_list = std::vector<double, unzeroed<double>>;
using raw_list = std::vector<std::uint64_t, unzeroed<std::uint64_t>>;

// Values read from the bytes; fewer than the least of these are too few
// to tell rows from chance (a few hundred bytes of anything line up at
// some length).
constexpr std::size_t MOST_VALUES = std::size_t{1} << 13;
constexpr std::size_t FEWEST_VALUES = 2048;
// A row length needs this many rows among the values read, and a row
// holds at least this many values: shorter repeats are the period
// search's, length by length.
constexpr std::size_t FEWEST_ROWS = 4;
constexpr std::size_t SHORTEST_ROW_VALUES = 4;
// Values a row apart are compared with values at lengths within this
// share of the row on either side: the same place in a row shifted a
// little.
constexpr double NEAR_LENGTHS_SHARE = 0.25;
// The share as a part, for the dips asked at every length: a length times
// a quarter is exact as a double, so its whole part is the length divided
// by four.
constexpr std::size_t NEAR_LENGTHS_PARTS = 4;
static_assert(NEAR_LENGTHS_SHARE * NEAR_LENGTHS_PARTS == 1.0);
constexpr std::size_t FEWEST_NEAR_LENGTHS = 2;
// A row lines up at its multiples too (two, three rows apart); a length
// inside a row does not.
constexpr std::size_t MULTIPLES_WEIGHED = 3;
// Values a row apart must differ at most 0.7 times as much as near it: a
// model's or an instrument's grid changes from row to row by more than a
// picture does, and its rows line up the less; so do pixels of several
// samples read byte by byte, weighed against lengths of their own phase
// alone (the same sample a little to the side). A shorter length that
// lines up on its own is a tone or a pattern when values that far apart
// differ at most half as much.
constexpr double LEAST_ROW_STRENGTH = 0.3;
constexpr double LEAST_TONE_STRENGTH = 0.5;
// Rows line up in a second stretch of the bytes too, nearly as strongly as
// the row bar asks; where that stretch holds a noisier quantity (a model's
// rain after its pressure), at least this strongly and better than any
// length near the row. A tone's length stands out in no other stretch.
constexpr double LEAST_AGAIN_STRENGTH = 0.1;
// Of a row length and a divisor that lines up this share as strongly, the
// divisor is the row: a slice of an image is a run of rows.
constexpr double ROW_DIVISOR_SHARE = 0.8;
// A slice of a volume, or a volume of a series, lines up far better than
// its rows do (a whole picture against its neighbour row): a divisor that
// lines up on its own, this share as strongly, is the row all the same.
constexpr double NESTED_ROW_SHARE = 0.5;
// A picture slanted in one part lines up as well a value to the side of
// a row down there: lengths near the row that line up this share as well
// in the stretch searched are told apart by both stretches together.
constexpr double ROW_TIE_SHARE = 0.95;
// Stretches whose bytes change less than this share as often as the
// busiest hold too little to show rows (counted at every stride-th byte).
constexpr double BUSY_SHARE = 0.25;
constexpr std::size_t CHANGES_STRIDE = 7;
// The byte order and form of numbers are told from this many of them.
constexpr std::size_t READING_VALUES = 1024;

// The ways a value of 2, 4 or 8 bytes may be written: either byte order,
// and unsigned, two's complement, or sign and magnitude (IEEE floating
// point, whose bits as a magnitude keep the order of the values).
enum class number_form { unsigned_number, twos_complement, sign_magnitude };

// The bytes of each value as an unsigned number in the reading's byte
// order: every form of a reading is ordered from these.
template <typename Word>
void read_raw(const unsigned char* bytes, std::size_t count, bool big_endian, raw_list& raws)
{
    raws.resize(count);
    for (std::size_t i = 0; i < count; i++)
        raws[i] = word_in_order<Word>(bytes + i * sizeof(Word), big_endian);
}

void read_raw(byte_span bytes, std::uint32_t width, std::size_t count, bool big_endian,
              raw_list& raws)
{
    if (width == 2)
        read_raw<std::uint16_t>(bytes.data(), count, big_endian, raws);
    else if (width == 4)
        read_raw<std::uint32_t>(bytes.data(), count, big_endian, raws);
    else
        read_raw<std::uint64_t>(bytes.data(), count, big_endian, raws);
}

double number_of(std::uint64_t raw, std::uint64_t sign, number_form form)
{
    if (form == number_form::unsigned_number || (raw & sign) == 0)
        return static_cast<double>(raw);
    if (form == number_form::sign_magnitude)
        return -static_cast<double>(raw & (sign - 1));
    return static_cast<double>(raw & (sign - 1)) - static_cast<double>(sign);
}

// The places of the values in the order of their bytes read unsigned, a
// byte at a time from the lowest; a byte every value shares moves none.
// Integers are sorted so: the same on their doubles costs more, as their
// exponents are all alike and their low bytes many.
void order_by_raw(const raw_list& raws, std::uint32_t width, std::vector<std::uint32_t>& order,
                  std::vector<std::uint32_t>& spare)
{
    std::size_t count = raws.size();
    std::uint64_t varying = 0;
    for (std::uint64_t raw : raws)
        varying |= raw ^ raws[0];
    order.resize(count);
    spare.resize(count);
    bool ordered = false;
    for (std::uint32_t b = 0; b < width; b++) {
        unsigned shift = 8 * b;
        if ((varying >> shift & 0xFF) == 0)
            continue;
        std::array<std::uint32_t, 256> next{};
        for (std::uint64_t raw : raws)
            next[raw >> shift & 0xFF]++;
        std::uint32_t sum = 0;
        for (std::uint32_t& each : next) {
            std::uint32_t held = each;
            each = sum;
            sum += held;
        }
        if (!ordered) {
            for (std::size_t place = 0; place < count; place++)
                order[next[raws[place] >> shift & 0xFF]++] = static_cast<std::uint32_t>(place);
            ordered = true;
            continue;
        }
        for (std::uint32_t place : order)
            spare[next[raws[place] >> shift & 0xFF]++] = place;
        order.swap(spare);
    }
    for (std::size_t place = 0; !ordered && place < count; place++)
        order[place] = static_cast<std::uint32_t>(place);
}

// The ranks of the values taken in the order of places, equal values
// sharing theirs. The form is fixed for the compiler: reading a number is
// then no choice made again at every value.
template <number_form form>
void rank_in_order(const raw_list& raws, const std::vector<std::uint32_t>& places,
                   std::uint64_t sign, double_list& values)
{
    std::size_t count = raws.size();
    double scale = count > 1 ? 1.0 / static_cast<double>(count - 1) : 1;
    double value = count > 0 ? number_of(raws[places[0]], sign, form) : 0;
    for (std::size_t first = 0; first < count;) {
        std::size_t last = first;
        double next = 0;
        while (last + 1 < count && (next = number_of(raws[places[last + 1]], sign, form)) == value)
            last++;
        double rank = static_cast<double>(first + last) / 2 * scale;
        for (std::size_t i = first; i <= last; i++)
            values[places[i]] = rank;
        first = last + 1;
        value = next;
    }
}

// Each value as its rank among them, 0 to 1, equal values sharing theirs:
// what matters is which values are near each other, and no outlier (a
// no-data mark, a header read as numbers) outweighs the rest. The values
// come in order from the unsigned order: a form with a sign puts those
// with the sign bit first, in that order for two's complement and the
// reverse for sign and magnitude (where -0 meets +0).
void rank_values(const raw_list& raws, const std::vector<std::uint32_t>& order, std::uint32_t width,
                 number_form form, std::vector<std::uint32_t>& places, double_list& values)
{
    std::size_t count = raws.size();
    std::uint64_t sign = std::uint64_t{1} << (width * 8 - 1);
    std::size_t unsigned_end = count;
    if (form != number_form::unsigned_number) {
        unsigned_end = static_cast<std::size_t>(
            std::partition_point(order.begin(), order.end(),
                                 [&](std::uint32_t place) { return (raws[place] & sign) == 0; }) -
            order.begin());
    }
    std::size_t negatives = count - unsigned_end;
    places.resize(count);
    if (form == number_form::sign_magnitude)
        std::reverse_copy(order.begin() + static_cast<std::ptrdiff_t>(unsigned_end), order.end(),
                          places.begin());
    else
        std::copy(order.begin() + static_cast<std::ptrdiff_t>(unsigned_end), order.end(),
                  places.begin());
    std::copy(order.begin(), order.begin() + static_cast<std::ptrdiff_t>(unsigned_end),
              places.begin() + static_cast<std::ptrdiff_t>(negatives));
    values.resize(count);
    if (form == number_form::unsigned_number)
        rank_in_order<number_form::unsigned_number>(raws, places, sign, values);
    else if (form == number_form::twos_complement)
        rank_in_order<number_form::twos_complement>(raws, places, sign, values);
    else
        rank_in_order<number_form::sign_magnitude>(raws, places, sign, values);
}

// How much neighbouring values differ against how much any two do: near 0
// for smooth values, near 1 for noise. The reading of the bytes that
// makes values smoothest is the one they were written in.
double roughness(const double_list& values)
{
    double mean = 0;
    for (double value : values)
        mean += value;
    mean /= static_cast<double>(values.size());
    double spread = 0, steps = 0;
    for (std::size_t i = 0; i < values.size(); i++) {
        spread += (values[i] - mean) * (values[i] - mean);
        if (i > 0)
            steps += (values[i] - values[i - 1]) * (values[i] - values[i - 1]);
    }
    return spread > 0 ? steps / (2 * spread) : 2;
}

double_list numbers_of(byte_span bytes, std::uint32_t width)
{
    static constexpr number_form forms[] = {
        number_form::unsigned_number, number_form::twos_complement, number_form::sign_magnitude};
    std::size_t count = std::min(bytes.size() / width, MOST_VALUES);
    raw_list raws;
    std::vector<std::uint32_t> order, spare;
    double_list values;
    // The reading is chosen on the first values alone, to keep it cheap;
    // one sort of a byte order serves its three forms.
    bool big_endian = false;
    number_form best = forms[0];
    double smoothest = 0;
    for (bool big : {false, true}) {
        read_raw(bytes, width, std::min(count, READING_VALUES), big, raws);
        order_by_raw(raws, width, order, spare);
        for (number_form form : forms) {
            rank_values(raws, order, width, form, spare, values);
            double rough = roughness(values);
            if ((!big && form == forms[0]) || rough < smoothest) {
                smoothest = rough;
                big_endian = big;
                best = form;
            }
        }
    }
    read_raw(bytes, width, count, big_endian, raws);
    order_by_raw(raws, width, order, spare);
    rank_values(raws, order, width, best, spare, values);
    return values;
}

// What a transform of one size needs besides the values: where each value
// goes before the first pass, and each pass's turns side by side (the pass
// of half h at [h, 2h)), so that a pass reads them in order. Each
// transform is followed by its inverse of the same size, and a file's rows
// are read at several lengths, so the last of each way is kept for this
// thread.
struct transform_tables {
    std::vector<std::uint32_t> source;
    double_list turn_real;
    double_list turn_imag;
};

const transform_tables& tables_of(std::size_t size, bool inverse)
{
    thread_local transform_tables kept[2];
    transform_tables& tables = kept[inverse ? 1 : 0];
    if (tables.source.size() == size)
        return tables;
    tables.source.resize(size);
    for (std::size_t i = 0, j = 0; i < size; i++) {
        tables.source[i] = static_cast<std::uint32_t>(j);
        std::size_t bit = size >> 1;
        for (; j & bit; bit >>= 1)
            j ^= bit;
        j ^= bit;
    }
    tables.turn_real.assign(size, 0);
    tables.turn_imag.assign(size, 0);
    for (std::size_t half = 1; half < size; half <<= 1) {
        std::size_t stride = size / (2 * half);
        for (std::size_t k = 0; k < half; k++) {
            std::complex<double> turn =
                std::polar(1.0, (inverse ? 2 : -2) * std::numbers::pi *
                                    static_cast<double>(k * stride) / static_cast<double>(size));
            tables.turn_real[half + k] = turn.real();
            tables.turn_imag[half + k] = turn.imag();
        }
    }
    return tables;
}

// One butterfly of a short pass, the arithmetic of the long passes'.
[[gnu::always_inline]] inline void butterfly(double& even_real, double& even_imag, double& odd_real,
                                             double& odd_imag, double turn_real, double turn_imag)
{
    double turned_real = odd_real * turn_real - odd_imag * turn_imag;
    double turned_imag = odd_real * turn_imag + odd_imag * turn_real;
    double was_real = even_real;
    double was_imag = even_imag;
    even_real = was_real + turned_real;
    even_imag = was_imag + turned_imag;
    odd_real = was_real - turned_real;
    odd_imag = was_imag - turned_imag;
}

// The parts of a transform's values: count of them given, zeros past.
struct transform_input {
    const double* values;
    std::size_t count;

    double operator[](std::size_t at) const
    {
        return at < count ? values[at] : 0.0;
    }
};

// A value of a transform's input, read without asking whether it is past
// the count where every place read is known to be inside it.
template <bool inside> double value_at(transform_input in, std::size_t at)
{
    return inside ? in.values[at] : in[at];
}

// The first two passes, a block of four at a time as the values are
// gathered.
template <bool inside>
void first_passes(transform_input in_real, transform_input in_imag, std::size_t size,
                  const transform_tables& tables, double_list& real, double_list& imag)
{
    const std::uint32_t* source = tables.source.data();
    const double* turn_real = tables.turn_real.data();
    const double* turn_imag = tables.turn_imag.data();
    for (std::size_t block = 0; block < size; block += 4) {
        double r0 = value_at<inside>(in_real, source[block]),
               i0 = value_at<inside>(in_imag, source[block]);
        double r1 = value_at<inside>(in_real, source[block + 1]),
               i1 = value_at<inside>(in_imag, source[block + 1]);
        double r2 = value_at<inside>(in_real, source[block + 2]),
               i2 = value_at<inside>(in_imag, source[block + 2]);
        double r3 = value_at<inside>(in_real, source[block + 3]),
               i3 = value_at<inside>(in_imag, source[block + 3]);
        butterfly(r0, i0, r1, i1, turn_real[1], turn_imag[1]);
        butterfly(r2, i2, r3, i3, turn_real[1], turn_imag[1]);
        butterfly(r0, i0, r2, i2, turn_real[2], turn_imag[2]);
        butterfly(r1, i1, r3, i3, turn_real[3], turn_imag[3]);
        real[block] = r0, imag[block] = i0;
        real[block + 1] = r1, imag[block + 1] = i1;
        real[block + 2] = r2, imag[block + 2] = i2;
        real[block + 3] = r3, imag[block + 3] = i3;
    }
}

// The first two passes where the values' second half is all zeros, as
// when they are padded to find products at every length: every odd place
// then holds 0, and the first pass's turn is 1, so that its butterflies
// add an exact +0 to the even value and leave its copy in the odd place
// as it was. Only the adding is kept, for the sign of a zero.
template <bool inside>
void first_passes_of_padded(transform_input in_real, transform_input in_imag, std::size_t size,
                            const transform_tables& tables, double_list& real, double_list& imag)
{
    const std::uint32_t* source = tables.source.data();
    const double* turn_real = tables.turn_real.data();
    const double* turn_imag = tables.turn_imag.data();
    for (std::size_t block = 0; block < size; block += 4) {
        double r0 = value_at<inside>(in_real, source[block]),
               i0 = value_at<inside>(in_imag, source[block]);
        double r2 = value_at<inside>(in_real, source[block + 2]),
               i2 = value_at<inside>(in_imag, source[block + 2]);
        double r1 = r0, i1 = i0, r3 = r2, i3 = i2;
        r0 = r0 + 0.0, i0 = i0 + 0.0;
        r2 = r2 + 0.0, i2 = i2 + 0.0;
        butterfly(r0, i0, r2, i2, turn_real[2], turn_imag[2]);
        butterfly(r1, i1, r3, i3, turn_real[3], turn_imag[3]);
        real[block] = r0, imag[block] = i0;
        real[block + 1] = r1, imag[block + 1] = i1;
        real[block + 2] = r2, imag[block + 2] = i2;
        real[block + 3] = r3, imag[block + 3] = i3;
    }
}

// The discrete Fourier transform of size values (real and imaginary parts
// apart), size a power of two, into real and imag. Blocks of two and four
// hold too few butterflies to run at once: those two passes are taken
// a block of four at a time as the values are gathered, in registers.
void fourier_transform(transform_input in_real, transform_input in_imag, std::size_t size,
                       bool inverse, double_list& real, double_list& imag)
{
    const transform_tables& tables = tables_of(size, inverse);
    const std::uint32_t* source = tables.source.data();
    const double* turn_real = tables.turn_real.data();
    const double* turn_imag = tables.turn_imag.data();
    real.resize(size);
    imag.resize(size);
    if (size < 4) {
        for (std::size_t i = 0; i < size; i++) {
            real[i] = in_real[source[i]];
            imag[i] = in_imag[source[i]];
        }
        if (size == 2)
            butterfly(real[0], imag[0], real[1], imag[1], turn_real[1], turn_imag[1]);
        return;
    }
    // The padded transform reads only the first half's places, the other
    // every place.
    if (in_real.count <= size / 2 && in_imag.count <= size / 2) {
        if (in_real.count == size / 2 && in_imag.count == size / 2)
            first_passes_of_padded<true>(in_real, in_imag, size, tables, real, imag);
        else
            first_passes_of_padded<false>(in_real, in_imag, size, tables, real, imag);
    } else if (in_real.count >= size && in_imag.count >= size) {
        first_passes<true>(in_real, in_imag, size, tables, real, imag);
    } else {
        first_passes<false>(in_real, in_imag, size, tables, real, imag);
    }
    for (std::size_t half = 4; half < size; half <<= 1)
        fourier_pass(real.data(), imag.data(), size, half, turn_real + half, turn_imag + half);
}

struct centred_values {
    double_list squares_before; // sums of squares of the first i
    double mean = 0;
};

// The values less their mean go into centred in the same pass, for the
// transform.
centred_values centre(const double_list& values, double_list& centred)
{
    centred_values result;
    for (double value : values)
        result.mean += value;
    if (!values.empty())
        result.mean /= static_cast<double>(values.size());
    result.squares_before.resize(values.size() + 1);
    result.squares_before[0] = 0;
    centred.resize(values.size());
    for (std::size_t i = 0; i < values.size(); i++) {
        centred[i] = values[i] - result.mean;
        result.squares_before[i + 1] = result.squares_before[i] + centred[i] * centred[i];
    }
    return result;
}

// Mean square differences from the sums of products a length apart, as
// the inverse transform leaves them (size times over).
double_list differences_from(const centred_values& centred, std::size_t count, const double* sums,
                             std::size_t size, std::size_t longest)
{
    double_list differences(longest + 1);
    const double_list& squares_before = centred.squares_before;
    differences[0] = 0;
    std::size_t length = 1;
    for (; length <= longest && length < count; length++) {
        double squares =
            squares_before[count - length] + squares_before[count] - squares_before[length];
        double products = sums[length] / static_cast<double>(size);
        differences[length] =
            std::max(0.0, squares - 2 * products) / static_cast<double>(count - length);
    }
    for (; length <= longest; length++)
        differences[length] = 0;
    return differences;
}

// For every length up to half their count, the mean square difference of
// values that length apart, in two runs of values at once: all lengths
// through the autocorrelation, the two runs as the real and imaginary
// parts of one transform.
std::array<double_list, 2> differences_by_length(const double_list& first,
                                                 const double_list& second)
{
    std::size_t count = std::max(first.size(), second.size());
    std::size_t size = 1;
    while (size < 2 * count)
        size <<= 1;
    // Kept for the thread, as the transform's tables are: a file's rows
    // are read at several lengths, each as long.
    thread_local double_list centred_first, centred_second, real, imag, powers_real, powers_imag;
    centred_values centred[2] = {centre(first, centred_first), centre(second, centred_second)};
    fourier_transform({centred_first.data(), first.size()}, {centred_second.data(), second.size()},
                      size, false, real, imag);
    powers_real.resize(size);
    powers_imag.resize(size);
    // The sums at k and at its mirror are each other's turned about,
    // added and squared in the same order: their powers are the same to
    // the last bit, worked out once for both.
    for (std::size_t k = 0; k <= size / 2; k++) {
        std::complex<double> value(real[k], imag[k]);
        std::size_t opposite = k == 0 ? 0 : size - k;
        std::complex<double> mirror =
            std::conj(std::complex<double>(real[opposite], imag[opposite]));
        powers_real[k] = powers_real[opposite] = std::norm(value + mirror) / 4;
        powers_imag[k] = powers_imag[opposite] = std::norm(value - mirror) / 4;
    }
    fourier_transform({powers_real.data(), size}, {powers_imag.data(), size}, size, true, real,
                      imag);
    std::array<double_list, 2> differences;
    const double_list* runs[2] = {&first, &second};
    for (int run = 0; run < 2; run++) {
        std::size_t run_count = runs[run]->size();
        differences[run] = differences_from(
            centred[run], run_count, run == 0 ? real.data() : imag.data(), size, run_count / 2);
    }
    return differences;
}

// How much less values a length apart differ than values at lengths near
// it (of the same phase in step), 0 to 1.
struct dip_finder {
    const double_list& differences;
    std::size_t step;
    double_list sum_before; // over lengths of one phase

    dip_finder(const double_list& by_length, std::size_t phase_step)
        : differences(by_length), step(phase_step), sum_before(by_length.size() + 1)
    {
        sum_before[0] = 0;
        sum_before[by_length.size()] = 0;
        for (std::size_t length = 1; length < by_length.size(); length++)
            sum_before[length] =
                by_length[length] + (length >= step ? sum_before[length - step] : 0);
    }

    // Numbers and single bytes have every length in one phase, and are the
    // most of the dips asked for: a step of 1 known to the compiler drops
    // the divisions by it.
    double dip(std::size_t length) const
    {
        return step == 1 ? dip_by<1>(length) : dip_by<0>(length);
    }

    template <std::size_t known_step> double dip_by(std::size_t length) const
    {
        const std::size_t phase = known_step != 0 ? known_step : step;
        std::size_t longest = differences.size() - 1;
        std::size_t reach = std::max(length / NEAR_LENGTHS_PARTS, FEWEST_NEAR_LENGTHS * phase);
        reach -= reach % phase;
        std::size_t low = length > reach + phase ? length - reach : length % phase + phase;
        std::size_t high = std::min(length + reach, longest - (longest - length) % phase);
        if (high <= low)
            return 0;
        double near = (sum_before[high] - sum_before[low - phase]) /
                      static_cast<double>((high - low) / phase + 1);
        if (near <= 0)
            return 0;
        return std::max(0.0, 1 - differences[length] / near);
    }
};

// Two stretches of the bytes as long as the values read: the two nearest
// the middle of those whose bytes change often enough (a volume of mostly
// empty space shows its rows only where something is in it), one to find
// rows in and one to confirm them. Bytes too short for two are halved.
std::array<byte_span, 2> middle_stretches(byte_span bytes, std::size_t length)
{
    if (bytes.size() < 2 * length)
        return {bytes.first(std::min(bytes.size(), length)), bytes.subspan(bytes.size() / 2)};
    std::size_t stretches = bytes.size() / length;
    std::vector<std::size_t> changes(stretches, 0);
    std::size_t most = 0;
    for (std::size_t stretch = 0; stretch < stretches; stretch++) {
        changes[stretch] = static_cast<std::size_t>(
            count_spaced_changes(bytes.data() + stretch * length, length, CHANGES_STRIDE));
        most = std::max(most, changes[stretch]);
    }
    std::size_t chosen[2] = {stretches, stretches};
    for (std::size_t& each : chosen) {
        std::size_t best_distance = stretches;
        for (std::size_t stretch = 0; stretch < stretches; stretch++) {
            std::size_t distance =
                stretch > stretches / 2 ? stretch - stretches / 2 : stretches / 2 - stretch;
            if (changes[stretch] >= most * BUSY_SHARE && stretch != chosen[0] &&
                distance < best_distance) {
                best_distance = distance;
                each = stretch;
            }
        }
    }
    if (chosen[1] == stretches)
        chosen[1] = chosen[0];
    return {bytes.subspan(chosen[0] * length, length), bytes.subspan(chosen[1] * length, length)};
}

// The values of the bytes, element by element for numbers, else byte by
// byte, as ranks.
double_list values_of(byte_span bytes, std::uint32_t element, bool as_numbers)
{
    if (as_numbers)
        return numbers_of(bytes, element);
    // Bytes are ranked by counting them.
    std::array<double, 256> below{};
    std::array<std::size_t, 256> counts{};
    for (unsigned char byte : bytes)
        counts[byte]++;
    double scale = bytes.size() > 1 ? 1.0 / static_cast<double>(bytes.size() - 1) : 1;
    std::size_t seen = 0;
    for (std::size_t value = 0; value < 256; value++) {
        if (counts[value] > 0)
            below[value] = static_cast<double>(2 * seen + counts[value] - 1) / 2 * scale;
        seen += counts[value];
    }
    double_list values(bytes.size());
    for (std::size_t i = 0; i < bytes.size(); i++)
        values[i] = below[bytes[i]];
    return values;
}

// How well rows of each length (in values, of the phase of step) line up
// in values, 0 where not weighed.
double_list row_strengths(const double_list& differences, std::size_t step, std::size_t longest_row)
{
    // Every row of the phase from the shortest on is weighed below; only
    // the lengths before it, and those of other phases, are set to 0 here.
    double_list strengths(longest_row + 1);
    std::size_t shortest = SHORTEST_ROW_VALUES * step;
    if (differences.size() < 2 || step > 1)
        std::fill(strengths.begin(), strengths.end(), 0.0);
    else
        std::fill_n(strengths.begin(), std::min(shortest, strengths.size()), 0.0);
    if (differences.size() < 2)
        return strengths;
    dip_finder finder(differences, step);
    // A row lines up at its multiples too: the dips of the rows weighed
    // are worked out once, first, each row's strength then taking its
    // dip's place (a later row reads only dips further on).
    for (std::size_t row = shortest; row <= longest_row && row < differences.size(); row += step)
        strengths[row] = finder.dip(row);
    // The weights of the first multiples, added up once as each row would
    // add them one by one: the same doubles.
    std::array<double, MULTIPLES_WEIGHED + 1> weights{};
    for (std::size_t times = 1; times <= MULTIPLES_WEIGHED; times++)
        weights[times] = weights[times - 1] + 1 / static_cast<double>(times);
    for (std::size_t row = shortest; row <= longest_row; row += step) {
        double sum = 0;
        std::size_t times = 1;
        for (; times <= MULTIPLES_WEIGHED; times++) {
            std::size_t length = times * row;
            if (length >= differences.size())
                break;
            double dip = length <= longest_row ? strengths[length] : finder.dip(length);
            sum += dip / static_cast<double>(times);
        }
        strengths[row] = times == 1 ? 0 : sum / weights[times - 1];
    }
    return strengths;
}

// Whether no length near length (of its phase in step) lines up better.
bool is_best_near(const double_list& strengths, std::size_t length, std::size_t step,
                  std::size_t longest_row)
{
    std::size_t reach = std::max(static_cast<std::size_t>(length * NEAR_LENGTHS_SHARE), step);
    reach -= reach % step;
    for (std::size_t near = length > reach ? length - reach : step;
         near <= std::min(length + reach, longest_row); near += step) {
        if (strengths[near] > strengths[length])
            return false;
    }
    return true;
}

// Of the row and the lengths near it that line up about as well, the one
// that lines up best in both stretches together.
std::size_t settle_tie(const double_list& strengths, const double_list& others, std::size_t row,
                       std::size_t step, std::size_t shortest_row, std::size_t longest_row)
{
    std::size_t reach = std::max(static_cast<std::size_t>(row * NEAR_LENGTHS_SHARE), step);
    reach -= reach % step;
    std::size_t chosen = row;
    double best = row <= longest_row ? strengths[row] + others[row] : 0;
    for (std::size_t near = std::max(row > reach ? row - reach : step, shortest_row);
         near <= std::min(row + reach, longest_row); near += step) {
        if (strengths[near] >= strengths[row] * ROW_TIE_SHARE &&
            strengths[near] + others[near] > best) {
            best = strengths[near] + others[near];
            chosen = near;
        }
    }
    return chosen;
}

} // namespace

element_choice find_element_rows(byte_span bytes, std::uint32_t element)
{
    element_choice result;
    if (element == 0 || element > LONGEST_ELEMENT)
        return result;
    // Numbers of two, four or eight bytes are read as numbers; other
    // elements (pixels of three samples, bytes) byte by byte, rows being
    // whole elements long.
    bool as_numbers = element == 2 || element == 4 || element == 8;
    std::size_t step = as_numbers ? 1 : element;
    std::size_t value_bytes = as_numbers ? element : 1;
    std::array<byte_span, 2> stretches = middle_stretches(bytes, MOST_VALUES * value_bytes);
    std::size_t count = stretches[0].size() / value_bytes;
    if (count < FEWEST_VALUES)
        return result;
    std::size_t longest_row = count / FEWEST_ROWS;
    std::size_t shortest_row =
        std::max(SHORTEST_ROW_VALUES * step, (LONGEST_ELEMENT + value_bytes) / value_bytes);
    shortest_row += (step - shortest_row % step) % step;
    std::size_t again_count = stretches[1].size() / value_bytes;
    std::array<double_list, 2> differences = differences_by_length(
        values_of(stretches[0], element, as_numbers),
        again_count >= FEWEST_VALUES ? values_of(stretches[1], element, as_numbers)
                                     : double_list{});
    double_list strengths = row_strengths(differences[0], step, longest_row);
    double best = 0;
    for (std::size_t length = shortest_row; length <= longest_row; length += step)
        best = std::max(best, strengths[length]);
    if (best < LEAST_ROW_STRENGTH)
        return result;
    // Rows a value more or less apart are near neighbours too and line up
    // almost as well: only the best of its neighbourhood is a row length.
    // Of the best length's divisors that are, the shortest that lines up
    // about as well is the row; the longer are runs of rows (slices).
    std::size_t best_length = 0;
    for (std::size_t length = shortest_row; length <= longest_row; length += step) {
        if (strengths[length] >= best * ROW_DIVISOR_SHARE)
            result.candidates.push_back(
                {static_cast<std::uint32_t>(length * value_bytes), strengths[length]});
        if (strengths[length] == best && best_length == 0)
            best_length = length;
    }
    // A slanted picture may line up best a value to the side of two rows
    // down: a length a value off twice the row counts as its multiple too.
    auto runs_of = [&](std::size_t length) {
        return best_length % length == 0 || best_length + step == 2 * length ||
               best_length == 2 * length + step;
    };
    std::size_t row = best_length;
    for (std::size_t length = shortest_row; length < best_length; length += step) {
        if (!runs_of(length) ||
            strengths[length] < std::max(LEAST_ROW_STRENGTH, best * NESTED_ROW_SHARE))
            continue;
        if (is_best_near(strengths, length, step, longest_row)) {
            row = length;
            break;
        }
    }
    if (row == 0)
        return result;
    bool again_weighed = again_count >= FEWEST_VALUES && row * FEWEST_ROWS <= again_count;
    std::size_t again_longest = std::min(longest_row, again_count / FEWEST_ROWS);
    double_list again;
    if (again_weighed) {
        again = row_strengths(differences[1], step, again_longest);
        row = settle_tie(strengths, again, row, step, shortest_row, again_longest);
    }
    // Values that repeat at a shorter length the row is no multiple of are
    // a tone or a pattern, whose repeats line up at some length by chance
    // of their periods, not rows.
    for (std::size_t length = shortest_row; length < row; length += step) {
        if (row % length != 0 && strengths[length] >= LEAST_TONE_STRENGTH &&
            is_best_near(strengths, length, step, longest_row))
            return result;
    }
    // Rows line up throughout the bytes; a tone or a voice repeats at a
    // length only for a while.
    if (again_weighed) {
        if (again[row] < LEAST_ROW_STRENGTH * ROW_DIVISOR_SHARE &&
            (again[row] < LEAST_AGAIN_STRENGTH || !is_best_near(again, row, step, again_longest)))
            return result;
    }
    result.choice = {element, static_cast<std::uint32_t>(row * value_bytes), strengths[row]};
    return result;
}
