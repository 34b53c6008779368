#include "column_types.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <optional>
#include <string>
#include <utility>

namespace
{

// What exports write for a missing value besides nothing: R and pandas
// write NA, databases NULL, MySQL and PostgreSQL's COPY \N, spreadsheets
// #N/A.
constexpr std::array<std::string_view, 7> NULL_MARKERS = {"NA",   "N/A", "n/a", "NULL",
                                                          "null", "\\N", "#N/A"};
// A 64-bit integer holds every number of this many digits; a longer one
// (an account or card number) is text to a loader.
constexpr std::uint32_t MOST_INTEGER_DIGITS = 18;
// Digits in a group between grouping marks, as in 1,234,567.
constexpr std::uint32_t GROUP_DIGITS = 3;
// Of a value shown in the reason a column is text.
constexpr std::size_t LONGEST_QUOTED_VALUE = 20;

// The forms numbers are written in, in the order they are preferred where
// values fit several: a point before a comma as the decimal mark, no
// grouping before grouping.
struct number_form {
    char decimal;
    char grouping; // 0 for none
};
constexpr std::array<number_form, 7> NUMBER_FORMS = {
    {{'.', 0}, {'.', ','}, {',', 0}, {',', '.'}, {'.', ' '}, {',', ' '}, {'.', '\''}}};

// Dates with a four-digit year, the unambiguous forms first. Where every
// day and month is 12 or less the values cannot tell which comes first: a
// slash is read month first, as in American exports, a dot or dash day
// first; a value past 12 in either place decides.
constexpr std::array<std::string_view, 8> DATE_PATTERNS = {
    "%Y-%m-%d", "%Y/%m/%d", "%Y.%m.%d", "%d.%m.%Y", "%m/%d/%Y", "%d/%m/%Y", "%d-%m-%Y", "%m-%d-%Y"};
constexpr std::array<std::string_view, 3> TIME_PATTERNS = {"%H:%M:%S", "%H:%M", "%H:%M:%S.%f"};
constexpr std::array<std::string_view, 2> DATE_TIME_JOINS = {" ", "T"};

struct number_shape {
    std::uint32_t integer_digits = 0;
    std::uint32_t fraction_digits = 0;
    bool fraction = false;
    bool exponent = false;
    bool grouped = false;
};

bool is_digit(char c)
{
    return c >= '0' && c <= '9';
}

std::optional<number_shape> read_number(std::string_view value, number_form form)
{
    number_shape shape;
    std::size_t at = 0;
    if (at < value.size() && (value[at] == '-' || value[at] == '+'))
        at++;
    std::uint32_t group = 0;
    for (; at < value.size(); at++) {
        char c = value[at];
        if (is_digit(c)) {
            shape.integer_digits++;
            group++;
        } else if (form.grouping != 0 && c == form.grouping && group >= 1 &&
                   (shape.grouped ? group == GROUP_DIGITS : group <= GROUP_DIGITS)) {
            shape.grouped = true;
            group = 0;
        } else {
            break;
        }
    }
    if (shape.grouped && group != GROUP_DIGITS)
        return std::nullopt;
    if (at < value.size() && value[at] == form.decimal) {
        shape.fraction = true;
        for (at++; at < value.size() && is_digit(value[at]); at++)
            shape.fraction_digits++;
    }
    if (shape.integer_digits + shape.fraction_digits == 0)
        return std::nullopt;
    if (at < value.size() && (value[at] == 'e' || value[at] == 'E') && form.decimal == '.' &&
        !shape.grouped) {
        shape.exponent = true;
        at++;
        if (at < value.size() && (value[at] == '-' || value[at] == '+'))
            at++;
        std::size_t digits_from = at;
        while (at < value.size() && is_digit(value[at]))
            at++;
        if (at == digits_from)
            return std::nullopt;
    }
    if (at != value.size())
        return std::nullopt;
    return shape;
}

constexpr std::uint64_t EVERY_BYTE = 0x0101010101010101u;
constexpr std::uint64_t HIGH_BITS = 0x8080808080808080u;

// Eight bytes at a time, each digit made a 9: every byte's low seven bits
// compared against '0' and past '9' by adding without carries between
// bytes, and bytes from 0x80 on left as they are.
[[gnu::always_inline]] inline std::uint64_t digits_as_nines(std::uint64_t word)
{
    std::uint64_t low = word & ~HIGH_BITS;
    std::uint64_t from_zero = low + (0x80 - '0') * EVERY_BYTE;
    std::uint64_t past_nine = low + (0x80 - '9' - 1) * EVERY_BYTE;
    std::uint64_t digit = from_zero & ~past_nine & ~word & HIGH_BITS;
    std::uint64_t lanes = (digit >> 7) * 0xFF;
    return (word & ~lanes) | ('9' * EVERY_BYTE & lanes);
}

std::uint64_t load_word(const char* bytes)
{
    std::uint64_t word;
    std::memcpy(&word, bytes, sizeof word);
    return word;
}

std::uint32_t load_half(const char* bytes)
{
    std::uint32_t half;
    std::memcpy(&half, bytes, sizeof half);
    return half;
}

// A directive of a date or time pattern: how many digits it takes and
// the range its number lies in, as strptime reads them.
struct pattern_field {
    char directive;
    std::size_t least, most;
    int low, high;
};

constexpr std::array<pattern_field, 7> PATTERN_FIELDS = {{
    {'Y', 4, 4, 0, 9999},
    {'m', 1, 2, 1, 12},
    {'d', 1, 2, 1, 31},
    {'H', 1, 2, 0, 23},
    {'M', 2, 2, 0, 59},
    {'S', 2, 2, 0, 60}, // a leap second
    {'f', 1, 9, 0, 999999999},
}};

// A pattern read once into its steps, each a literal byte or a field: a
// date column's every value is walked through its pattern, and looking
// up each directive again per value cost more than the digits.
struct pattern_step {
    char literal;
    const pattern_field* field; // null for a literal
};

// Where a value as long as its pattern's longest is checked in place: each
// field then takes its most digits and every field and literal stands at
// a known offset.
// The range is held as the field's two digits read as one number, the
// first the high byte: of two digits, that orders as their number does,
// and one subtraction and compare place it.
struct fixed_field {
    std::size_t at;
    std::uint32_t low, span;
};

constexpr std::uint32_t two_digit_key(unsigned char tens, unsigned char ones)
{
    return std::uint32_t{tens} << 8 | ones;
}

constexpr std::uint32_t two_digit_key(int number)
{
    return two_digit_key(static_cast<unsigned char>('0' + number / 10),
                         static_cast<unsigned char>('0' + number % 10));
}

struct compiled_pattern {
    static constexpr std::size_t MOST_STEPS = 24;
    static constexpr std::size_t MOST_WORDS = 4;
    std::array<pattern_step, MOST_STEPS> steps{};
    std::size_t count = 0;
    // Lengths outside these cannot fit, whatever the digits.
    std::size_t shortest = 0, longest = 0;
    bool known = true;
    // The longest value's shape in words read at word_at, each as the
    // bytes a value has with every digit a '0', and as what added to a
    // byte's low seven bits, less those, sets the high bit where it is
    // amiss; and the fields whose range some digits fall outside.
    std::size_t words = 0;
    std::array<std::size_t, MOST_WORDS> word_at{};
    std::array<std::uint64_t, MOST_WORDS> expected{};
    std::array<std::uint64_t, MOST_WORDS> amiss_adds{};
    std::array<fixed_field, MOST_STEPS> ranged{};
    std::size_t ranged_count = 0;
    // Where the longest value holds its day, month and year, for the
    // calendar; NOWHERE where the pattern has none.
    static constexpr std::size_t NOWHERE = ~std::size_t{0};
    std::size_t day_at = NOWHERE, month_at = NOWHERE, year_at = NOWHERE;

    explicit compiled_pattern(std::string_view pattern = {})
    {
        for (std::size_t p = 0; p < pattern.size() && count < MOST_STEPS; p++) {
            pattern_step step{pattern[p], nullptr};
            if (pattern[p] == '%' && p + 1 < pattern.size()) {
                char directive = pattern[++p];
                step.field = std::find_if(
                    PATTERN_FIELDS.begin(), PATTERN_FIELDS.end(),
                    [directive](const pattern_field& each) { return each.directive == directive; });
                if (step.field == PATTERN_FIELDS.end()) {
                    known = false;
                    step.field = nullptr;
                }
            }
            shortest += step.field ? step.field->least : 1;
            longest += step.field ? step.field->most : 1;
            steps[count++] = step;
        }
        fix_longest();
    }

    // Only where no literal is a digit (which the shape would make a 9)
    // and the longest value spans whole words; and where a field comes
    // first, so that a value that fits opens with a digit and is never a
    // null marker.
    void fix_longest()
    {
        if (count == 0 || steps[0].field == nullptr)
            return;
        std::string shaped;
        for (std::size_t step = 0; step < count; step++) {
            const pattern_field* field = steps[step].field;
            if (field == nullptr && is_digit(steps[step].literal))
                return;
            // A field whose range is checked is read as its two digits;
            // a pattern with any other is walked step by step.
            if (field != nullptr && !covers_every_number(*field)) {
                if (field->most != 2)
                    return;
                ranged[ranged_count++] = {shaped.size(), two_digit_key(field->low),
                                          two_digit_key(field->high) - two_digit_key(field->low)};
            }
            if (field != nullptr && field->directive == 'd')
                day_at = shaped.size();
            if (field != nullptr && field->directive == 'm')
                month_at = shaped.size();
            if (field != nullptr && field->directive == 'Y')
                year_at = shaped.size();
            shaped.append(field != nullptr ? field->most : 1,
                          field != nullptr ? '9' : steps[step].literal);
        }
        if (!known || shaped.size() < sizeof(std::uint64_t) ||
            shaped.size() > MOST_WORDS * sizeof(std::uint64_t)) {
            ranged_count = 0;
            day_at = month_at = year_at = NOWHERE;
            return;
        }
        std::string zeros, adds;
        for (char byte : shaped) {
            zeros += byte == '9' ? '0' : byte;
            // A digit less '0' is amiss past 9, a literal's byte past 0.
            adds += byte == '9' ? '\x76' : '\x7F';
        }
        for (std::size_t at = 0; at < shaped.size(); at += sizeof(std::uint64_t)) {
            word_at[words] = std::min(at, shaped.size() - sizeof(std::uint64_t));
            expected[words] = load_word(zeros.data() + word_at[words]);
            amiss_adds[words] = load_word(adds.data() + word_at[words]);
            words++;
        }
    }

    static bool covers_every_number(const pattern_field& field)
    {
        int most_number = 1;
        for (std::size_t digit = 0; digit < field.most; digit++)
            most_number *= 10;
        return field.low == 0 && field.high >= most_number - 1;
    }
};

// Not zero where a word of a value is not the shape's: its literals where
// the shape has them, digits where it has digits. Against the shape with
// '0' for each digit a digit's byte is 0 to 9 and a literal's 0; adding
// 0x76 or 0x7F to the low seven bits sets the high bit past that, and no
// sum carries into the next byte. The same as digits_as_nines(word) ==
// shape, where no literal is a digit, and the words of a value are
// tested with one branch.
[[gnu::always_inline]] inline std::uint64_t shape_misfit(std::uint64_t word, std::uint64_t expected,
                                                         std::uint64_t amiss_adds)
{
    std::uint64_t apart = word ^ expected;
    return (((apart & ~HIGH_BITS) + amiss_adds) | apart) & HIGH_BITS;
}

// Whether the day stands in the month: 30 February and 31 April do not,
// nor 29 February of a year that is no leap year (year 0 where the value
// has none, which lets it stand). A loader refuses such a date, and so
// must the column's type.
bool in_calendar(int day, int month, int year)
{
    static constexpr int DAYS[] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (day <= 28 || month < 1 || month > 12)
        return true;
    if (month == 2 && day == 29)
        return year % 4 == 0 && (year % 100 != 0 || year % 400 == 0);
    return day <= DAYS[month - 1];
}

int digits_at(const char* bytes, std::size_t count)
{
    int number = 0;
    for (std::size_t at = 0; at < count; at++)
        number = number * 10 + (bytes[at] - '0');
    return number;
}

// The calendar, for a value of the longest length whose shape fits: a
// day past 28, seldom, is looked at further.
[[gnu::always_inline]] inline bool in_calendar_at(const char* bytes,
                                                  const compiled_pattern& pattern)
{
    if (pattern.day_at == compiled_pattern::NOWHERE ||
        pattern.month_at == compiled_pattern::NOWHERE ||
        two_digit_key(static_cast<unsigned char>(bytes[pattern.day_at]),
                      static_cast<unsigned char>(bytes[pattern.day_at + 1])) <= two_digit_key(28))
        return true;
    int year =
        pattern.year_at == compiled_pattern::NOWHERE ? 0 : digits_at(bytes + pattern.year_at, 4);
    return in_calendar(digits_at(bytes + pattern.day_at, 2), digits_at(bytes + pattern.month_at, 2),
                       year);
}

// Reads the field's digits at `at` as a number within its range.
bool read_field(std::string_view value, std::size_t& at, const pattern_field& field, int& number)
{
    std::size_t from = at;
    number = 0;
    while (at < value.size() && at - from < field.most && is_digit(value[at]))
        number = number * 10 + (value[at++] - '0');
    return at - from >= field.least && number >= field.low && number <= field.high;
}

// The numbers of the fields whose range matters, of a value whose shape
// fits: digits stand where they are read.
[[gnu::always_inline]] inline bool fits_ranges(const char* bytes, const compiled_pattern& pattern)
{
    for (std::size_t each = 0; each < pattern.ranged_count; each++) {
        const fixed_field& fixed = pattern.ranged[each];
        std::uint32_t key = two_digit_key(static_cast<unsigned char>(bytes[fixed.at]),
                                          static_cast<unsigned char>(bytes[fixed.at + 1]));
        if (key - fixed.low > fixed.span)
            return false;
    }
    return true;
}

// A value of the pattern's longest length: its shape compared a word at a
// time, then the numbers of the fields whose range matters read in place.
[[gnu::always_inline]] inline bool fits_longest(std::string_view value,
                                                const compiled_pattern& pattern)
{
    for (std::size_t word = 0; word < pattern.words; word++) {
        if (shape_misfit(load_word(value.data() + pattern.word_at[word]), pattern.expected[word],
                         pattern.amiss_adds[word]) != 0)
            return false;
    }
    return fits_ranges(value.data(), pattern) && in_calendar_at(value.data(), pattern);
}

// A value of any other length, the pattern walked step by step.
[[gnu::noinline]] bool walks_pattern(std::string_view value, const compiled_pattern& pattern)
{
    std::size_t at = 0;
    int day = 0, month = 0, year = 0;
    for (std::size_t step = 0; step < pattern.count; step++) {
        const pattern_step& each = pattern.steps[step];
        int number = 0;
        if (each.field == nullptr) {
            if (at >= value.size() || value[at] != each.literal)
                return false;
            at++;
        } else if (!read_field(value, at, *each.field, number)) {
            return false;
        }
        if (each.field != nullptr && each.field->directive == 'd')
            day = number;
        if (each.field != nullptr && each.field->directive == 'm')
            month = number;
        if (each.field != nullptr && each.field->directive == 'Y')
            year = number;
    }
    return at == value.size() && (month == 0 || in_calendar(day, month, year));
}

// Whether value is written in pattern, strptime's directives %Y %m %d %H
// %M %S %f and literal bytes. Inline, with the walk out of line: a column
// of dates asks it of every value, nearly all of the longest length.
[[gnu::always_inline]] inline bool fits_pattern(std::string_view value,
                                                const compiled_pattern& pattern)
{
    if (!pattern.known || value.size() < pattern.shortest || value.size() > pattern.longest)
        return false;
    if (pattern.words > 0 && value.size() == pattern.longest)
        return fits_longest(value, pattern);
    return walks_pattern(value, pattern);
}

bool equals_ignoring_case(std::string_view value, std::string_view lower)
{
    if (value.size() != lower.size())
        return false;
    for (std::size_t at = 0; at < value.size(); at++) {
        char c = value[at];
        if ((c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c) != lower[at])
            return false;
    }
    return true;
}

bool is_boolean(std::string_view value)
{
    return equals_ignoring_case(value, "true") || equals_ignoring_case(value, "false");
}

// A value read as a number once for each decimal mark: a form whose
// grouping mark the value lacks reads it as the form without grouping
// does, so the seven forms cost two readings of most values.
struct number_readings {
    std::string_view value;
    std::optional<std::optional<number_shape>> plain[2]; // '.' and ','
    // Which of the grouping marks the value holds, found in one pass when
    // first asked: a search for each mark of each form calls the library
    // per value.
    std::optional<std::uint8_t> marks;

    static std::uint8_t mark_bit(char mark)
    {
        switch (mark) {
        case ',':
            return 1;
        case '.':
            return 2;
        case ' ':
            return 4;
        case '\'':
            return 8;
        default:
            return 0;
        }
    }

    explicit number_readings(std::string_view text) : value(text)
    {
    }

    bool holds(char grouping)
    {
        std::uint8_t bit = mark_bit(grouping);
        if (bit == 0)
            return value.find(grouping) != std::string_view::npos;
        if (!marks) {
            marks = 0;
            for (char c : value)
                *marks |= mark_bit(c);
        }
        return (*marks & bit) != 0;
    }

    std::optional<number_shape> read(number_form form)
    {
        if (form.grouping != 0 && holds(form.grouping))
            return read_number(value, form);
        std::optional<std::optional<number_shape>>& cached = plain[form.decimal == ',' ? 1 : 0];
        if (!cached)
            cached = read_number(value, {form.decimal, 0});
        return *cached;
    }
};

// A date or time pattern as written and as read into its steps, made
// once for every column of every file.
struct known_pattern {
    std::string text;
    compiled_pattern steps;
};

// A type the values may still have, with what its values showed so far.
struct candidate {
    value_type type;
    number_form form{'.', 0};
    const known_pattern* pattern = nullptr;
    number_shape widest;
    bool alive = true;

    bool take(std::string_view value, number_readings& readings)
    {
        if (type == value_type::boolean)
            return is_boolean(value);
        if (pattern != nullptr)
            return fits_pattern(value, pattern->steps);
        std::optional<number_shape> shape = readings.read(form);
        if (!shape)
            return false;
        widest.integer_digits = std::max(widest.integer_digits, shape->integer_digits);
        widest.fraction_digits = std::max(widest.fraction_digits, shape->fraction_digits);
        widest.fraction |= shape->fraction;
        widest.exponent |= shape->exponent;
        widest.grouped |= shape->grouped;
        return true;
    }
};

std::vector<candidate> make_candidates()
{
    // Kept for the program's life, as the candidates point into them.
    static const std::vector<std::pair<value_type, known_pattern>> patterns = [] {
        std::vector<std::pair<value_type, known_pattern>> made;
        auto add = [&made](value_type type, std::string text) {
            compiled_pattern steps(text);
            made.push_back({type, {std::move(text), steps}});
        };
        for (std::string_view date : DATE_PATTERNS)
            add(value_type::date, std::string(date));
        for (std::string_view time : TIME_PATTERNS)
            add(value_type::time, std::string(time));
        for (std::string_view date : DATE_PATTERNS) {
            for (std::string_view join : DATE_TIME_JOINS) {
                for (std::string_view time : TIME_PATTERNS)
                    add(value_type::datetime,
                        std::string(date) + std::string(join) + std::string(time));
            }
        }
        return made;
    }();
    std::vector<candidate> candidates;
    for (number_form form : NUMBER_FORMS)
        candidates.push_back({value_type::integer, form, nullptr, {}});
    candidates.push_back({value_type::boolean, {}, nullptr, {}});
    for (const auto& [type, pattern] : patterns)
        candidates.push_back({type, {}, &pattern, {}});
    return candidates;
}

// Every column starts from the same candidates: made once, then copied.
std::vector<candidate> all_candidates()
{
    static const std::vector<candidate> made = make_candidates();
    return made;
}

// The bytes a null marker may open with, looked up in a table: a test of
// each is four compares at every value of the sample.
constexpr std::array<bool, 256> MARKER_LEADS = [] {
    std::array<bool, 256> leads{};
    for (unsigned char lead : {'N', 'n', '\\', '#'})
        leads[lead] = true;
    return leads;
}();

constexpr bool may_lead_marker(char lead)
{
    return MARKER_LEADS[static_cast<unsigned char>(lead)];
}
static_assert(std::all_of(NULL_MARKERS.begin(), NULL_MARKERS.end(),
                          [](std::string_view marker) { return may_lead_marker(marker[0]); }));

[[gnu::always_inline]] inline bool is_null_marker(std::string_view value)
{
    // Most values are passed over by their first byte, without a
    // comparison against each marker.
    if (value.empty() || !may_lead_marker(value.front()))
        return false;
    return std::find(NULL_MARKERS.begin(), NULL_MARKERS.end(), value) != NULL_MARKERS.end();
}

// The values from the first, of the pattern's longest length, that fit
// it: a column of dates or times is mostly such a run. The pattern's
// words and ranged fields are held for the run, not read again at each
// value, and as many as it has are tested with no loop and one branch.
template <std::size_t WORDS, std::size_t RANGED>
std::size_t longest_run_of(const std::string_view* values, std::size_t stride, std::size_t count,
                           const compiled_pattern& pattern)
{
    std::array<std::size_t, WORDS> word_at;
    std::array<std::uint64_t, WORDS> expected, amiss_adds;
    for (std::size_t word = 0; word < WORDS; word++) {
        word_at[word] = pattern.word_at[word];
        expected[word] = pattern.expected[word];
        amiss_adds[word] = pattern.amiss_adds[word];
    }
    std::array<fixed_field, RANGED> ranged;
    std::copy_n(pattern.ranged.begin(), RANGED, ranged.begin());
    const std::size_t longest = pattern.longest;
    // Only a day past 28 asks the calendar.
    const std::size_t day_at =
        pattern.month_at == compiled_pattern::NOWHERE ? compiled_pattern::NOWHERE : pattern.day_at;
    std::size_t at = 0;
    for (; at < count; at++) {
        std::string_view value = values[at * stride];
        if (value.size() != longest)
            break;
        const char* bytes = value.data();
        std::uint64_t misfit = 0;
#pragma GCC unroll 4
        for (std::size_t word = 0; word < WORDS; word++)
            misfit |=
                shape_misfit(load_word(bytes + word_at[word]), expected[word], amiss_adds[word]);
#pragma GCC unroll 8
        for (const fixed_field& fixed : ranged) {
            std::uint32_t key = two_digit_key(static_cast<unsigned char>(bytes[fixed.at]),
                                              static_cast<unsigned char>(bytes[fixed.at + 1]));
            misfit |= key - fixed.low > fixed.span;
        }
        if (misfit != 0)
            break;
        if (day_at != compiled_pattern::NOWHERE &&
            two_digit_key(static_cast<unsigned char>(bytes[day_at]),
                          static_cast<unsigned char>(bytes[day_at + 1])) > two_digit_key(28) &&
            !in_calendar_at(bytes, pattern))
            break;
    }
    return at;
}

// The patterns here have up to five fields whose range matters.
constexpr std::size_t MOST_RANGED = 6;

template <std::size_t WORDS, std::size_t... RANGED>
std::size_t longest_run_ranged(const std::string_view* values, std::size_t stride,
                               std::size_t count, const compiled_pattern& pattern,
                               std::index_sequence<RANGED...>)
{
    using runner =
        std::size_t (*)(const std::string_view*, std::size_t, std::size_t, const compiled_pattern&);
    // One instance for each count of ranged fields, chosen once a run.
    static constexpr runner RUNNERS[] = {&longest_run_of<WORDS, RANGED>...};
    return RUNNERS[pattern.ranged_count](values, stride, count, pattern);
}

std::size_t longest_run(const std::string_view* values, std::size_t stride, std::size_t count,
                        const compiled_pattern& pattern)
{
    if (!pattern.known || pattern.ranged_count > MOST_RANGED)
        return 0;
    constexpr auto ranged = std::make_index_sequence<MOST_RANGED + 1>();
    switch (pattern.words) {
    case 1:
        return longest_run_ranged<1>(values, stride, count, pattern, ranged);
    case 2:
        return longest_run_ranged<2>(values, stride, count, pattern, ranged);
    case 3:
        return longest_run_ranged<3>(values, stride, count, pattern, ranged);
    case 4:
        return longest_run_ranged<4>(values, stride, count, pattern, ranged);
    default:
        return 0;
    }
}
static_assert(compiled_pattern::MOST_WORDS == 4);

std::string quoted(std::string_view value)
{
    std::string text(value.substr(0, LONGEST_QUOTED_VALUE));
    for (char& c : text) {
        if (static_cast<unsigned char>(c) < 0x20 || static_cast<unsigned char>(c) >= 0x7F)
            c = '.';
    }
    return "\"" + text + (value.size() > LONGEST_QUOTED_VALUE ? "...\"" : "\"");
}

// A number candidate's type once every value is in.
value_type number_type(const candidate& chosen)
{
    if (chosen.widest.exponent)
        return value_type::floating;
    return chosen.widest.fraction ? value_type::decimal : value_type::integer;
}

void describe_choice(const candidate& chosen, column_description& column)
{
    column.type = chosen.type;
    column.format = chosen.pattern != nullptr ? chosen.pattern->text : std::string();
    if (chosen.type != value_type::integer)
        return;
    column.type = number_type(chosen);
    column.decimal_mark = chosen.form.decimal;
    if (chosen.widest.grouped)
        column.grouping_mark = chosen.form.grouping;
    column.integer_digits = chosen.widest.integer_digits;
    column.fraction_digits = chosen.widest.fraction_digits;
    if (column.type == value_type::integer && column.integer_digits > MOST_INTEGER_DIGITS) {
        column.type = value_type::text;
        column.why_text = "integers of " + std::to_string(column.integer_digits) +
                          " digits, more than a 64-bit integer holds";
    }
}

// A value with each digit written as 9: every number form reads all
// values of one signature alike, as it tells digits apart from the marks
// and signs around them but never one digit from another. Kept exactly,
// for values of up to SIGNATURE_BYTES bytes.
constexpr std::size_t SIGNATURE_BYTES = 16;

struct value_signature {
    std::uint64_t words[2] = {0, 0};
    std::size_t length = 0;

    bool operator==(const value_signature&) const = default;
};

// Read without a copy: the first and last word of a value of one or two
// words, the first and last half of one shorter, its first, middle and
// last bytes shorter still. With the length, each way keeps every byte,
// and the bytes past the value are never touched.
[[gnu::always_inline]] inline bool signature_of(std::string_view value, value_signature& signature)
{
    std::size_t size = value.size();
    if (size > SIGNATURE_BYTES)
        return false;
    const char* bytes = value.data();
    std::uint64_t head = 0;
    signature.words[1] = 0;
    if (size >= sizeof(std::uint64_t)) {
        head = load_word(bytes);
        if (size > sizeof(std::uint64_t))
            signature.words[1] = digits_as_nines(load_word(bytes + size - sizeof(std::uint64_t)));
    } else if (size >= sizeof(std::uint32_t)) {
        head = load_half(bytes) | std::uint64_t{load_half(bytes + size - sizeof(std::uint32_t))}
                                      << 32;
    } else if (size > 0) {
        head = static_cast<unsigned char>(bytes[0]) |
               std::uint64_t{static_cast<unsigned char>(bytes[size / 2])} << 8 |
               std::uint64_t{static_cast<unsigned char>(bytes[size - 1])} << 16;
    }
    signature.words[0] = digits_as_nines(head);
    signature.length = size;
    return true;
}

// The signatures of values that every number form still alive has taken:
// taking another value of one of them changes nothing, and a long column
// of ids or amounts has but a few. A table of fixed size that stops
// growing when nearly full.
class signatures_taken
{
  public:
    [[gnu::always_inline]] bool contains(const value_signature& signature) const
    {
        for (std::size_t slot = first_slot(signature);; slot = (slot + 1) % SLOTS) {
            if (!used_[slot])
                return false;
            if (slots_[slot] == signature)
                return true;
        }
    }

    void insert(const value_signature& signature)
    {
        if (count_ >= MOST_KEPT)
            return;
        std::size_t slot = first_slot(signature);
        for (; used_[slot]; slot = (slot + 1) % SLOTS) {
            if (slots_[slot] == signature)
                return;
        }
        used_[slot] = true;
        slots_[slot] = signature;
        count_++;
    }

  private:
    static constexpr std::size_t SLOTS = 64;
    static constexpr std::size_t MOST_KEPT = SLOTS * 3 / 4;

    static std::size_t first_slot(const value_signature& signature)
    {
        std::uint64_t mixed = (signature.words[0] * 0x9E3779B97F4A7C15u) ^
                              (signature.words[1] * 0xC2B2AE3D27D4EB4Fu) ^ signature.length;
        return static_cast<std::size_t>(mixed >> 58) % SLOTS;
    }

    std::array<value_signature, SLOTS> slots_{};
    std::array<bool, SLOTS> used_{};
    std::size_t count_ = 0;
};

// A plain number: a sign or none, digits, and at most one decimal mark
// with digits either side or both. Every number form left reads one alike
// where they all share that mark (an integer whatever their marks), as
// none has a grouping mark in it: its widths alone are what it adds.
struct plain_numbers {
    char mark = 0; // the decimal mark the forms left share, or 0
    std::uint32_t integer_digits = 0;
    std::uint32_t fraction_digits = 0;
    bool fraction = false;
};

constexpr std::array<std::uint8_t, 256> SIGN_LEADS = [] {
    std::array<std::uint8_t, 256> leads{};
    leads['-'] = leads['+'] = 1;
    return leads;
}();

// A value of one to eight bytes in a word, each byte less '0' (a digit
// then 0 to 9) and the lanes past it 0: read as two halves or three
// bytes, never past its end, the overlap the same bytes either way.
[[gnu::always_inline]] inline std::uint64_t from_zeros(const char* bytes, std::size_t size)
{
    constexpr std::uint32_t ZEROS = '0' * 0x01010101u;
    if (size >= sizeof(std::uint32_t))
        return (load_half(bytes) ^ ZEROS) |
               std::uint64_t{load_half(bytes + size - sizeof(std::uint32_t)) ^ ZEROS}
                   << 8 * (size - sizeof(std::uint32_t));
    auto at = [bytes](std::size_t place) {
        return std::uint64_t{static_cast<unsigned char>(bytes[place] ^ '0')} << 8 * place;
    };
    return at(0) | at(size / 2) | at(size - 1);
}

// Whether value is a plain number of up to a word, its widths added to
// run's if so. A byte less '0' past 9 is no digit: adding 0x76 to its low
// seven bits then sets its high bit, as does a high bit of its own.
[[gnu::always_inline]] inline bool take_plain(std::string_view value, plain_numbers& run)
{
    std::size_t size = value.size();
    if (size - 1 >= sizeof(std::uint64_t))
        return false;
    std::uint64_t apart = from_zeros(value.data(), size);
    std::uint64_t others = (((apart & ~HIGH_BITS) + 0x76 * EVERY_BYTE) | apart) & HIGH_BITS;
    // Digits alone, the most of a column of ids, need no sign looked for.
    if (others == 0) {
        run.integer_digits = std::max(run.integer_digits, static_cast<std::uint32_t>(size));
        return true;
    }
    std::uint32_t sign = SIGN_LEADS[static_cast<unsigned char>(value.front())];
    others ^= std::uint64_t{sign} << 7;
    if (others == 0) {
        if (size == sign)
            return false;
        run.integer_digits = std::max(run.integer_digits, static_cast<std::uint32_t>(size - sign));
        return true;
    }
    if ((others & (others - 1)) != 0)
        return false;
    std::size_t lane = static_cast<std::size_t>(std::countr_zero(others)) / 8;
    if (run.mark == 0 || value[lane] != run.mark || size == sign + 1)
        return false;
    run.integer_digits = std::max(run.integer_digits, static_cast<std::uint32_t>(lane - sign));
    run.fraction_digits =
        std::max(run.fraction_digits, static_cast<std::uint32_t>(size - 1 - lane));
    run.fraction = true;
    return true;
}

} // namespace

struct column_typer::state {
    column_description column;
    std::vector<candidate> candidates = all_candidates();
    std::size_t alive = candidates.size();
    // The candidates still alive, in order: most die at the first value or
    // two, and a long column is not walked past them again at every value.
    std::vector<std::uint8_t> living;
    std::size_t typed = 0;
    // Values taken, empty ones too.
    std::size_t taken_values = 0;
    signatures_taken taken;
    // The last of them taken or found: a long column's values mostly
    // repeat the one before in shape, compared without the table.
    value_signature last_taken;

    state() : living(candidates.size())
    {
        for (std::size_t index = 0; index < living.size(); index++)
            living[index] = static_cast<std::uint8_t>(index);
    }

    [[gnu::always_inline]] void take(std::string_view value)
    {
        std::size_t at = taken_values++;
        if (value.empty()) {
            column.nullable = true;
            return;
        }
        if (is_null_marker(value) && (column.null_marker.empty() || column.null_marker == value)) {
            column.nullable = true;
            column.null_marker = value;
            return;
        }
        // A column of dates or times soon has its one pattern left: a value
        // that fits it changes nothing but the count.
        if (living.size() == 1) {
            const candidate& only = candidates[living.front()];
            if (only.pattern != nullptr && fits_pattern(value, only.pattern->steps)) {
                typed++;
                return;
            }
        }
        // While only number forms live, a value of a signature they all
        // took before is taken again with no change.
        value_signature signature;
        bool signed_value = living.front() < NUMBER_FORMS.size() && signature_of(value, signature);
        if (signed_value && living.back() < NUMBER_FORMS.size() &&
            (signature == last_taken || taken.contains(signature))) {
            last_taken = signature;
            typed++;
            return;
        }
        try_candidates(value, at, signed_value ? &signature : nullptr);
    }

    // The values from the first that change nothing, as take() would find
    // them: those of the one pattern left, or of a shape every number form
    // left took before. Counted in a loop of its own, the column's state
    // kept at hand; the first value that may change something (an empty
    // one, a null marker, another shape) is left to take().
    [[gnu::always_inline]] std::size_t take_unchanging(const std::string_view* values,
                                                       std::size_t stride, std::size_t count)
    {
        std::size_t at = 0;
        const candidate& front = candidates[living.front()];
        if (living.size() == 1 && front.pattern != nullptr) {
            const compiled_pattern& pattern = front.pattern->steps;
            for (;;) {
                at += longest_run(values + at * stride, stride, count - at, pattern);
                if (at < count && !values[at * stride].empty() &&
                    !may_lead_marker(values[at * stride].front()) &&
                    fits_pattern(values[at * stride], pattern))
                    at++;
                else
                    break;
            }
        } else if (living.back() < NUMBER_FORMS.size()) {
            plain_numbers run;
            run.mark = shared_decimal_mark();
            value_signature signature, last = last_taken;
            for (; at < count; at++) {
                std::string_view value = values[at * stride];
                if (take_plain(value, run))
                    continue;
                if (value.empty() || may_lead_marker(value.front()) ||
                    !signature_of(value, signature) ||
                    !(signature == last || taken.contains(signature)))
                    break;
                last = signature;
            }
            last_taken = last;
            widen(run);
        }
        taken_values += at;
        typed += at;
        return at;
    }

    // The decimal mark of every number form left, or 0 where they differ.
    char shared_decimal_mark() const
    {
        char mark = candidates[living.front()].form.decimal;
        for (std::uint8_t index : living) {
            if (candidates[index].form.decimal != mark)
                return 0;
        }
        return mark;
    }

    // The plain numbers' widths given to every form left, as taking each
    // value in turn would.
    void widen(const plain_numbers& run)
    {
        for (std::uint8_t index : living) {
            number_shape& widest = candidates[index].widest;
            widest.integer_digits = std::max(widest.integer_digits, run.integer_digits);
            widest.fraction_digits = std::max(widest.fraction_digits, run.fraction_digits);
            widest.fraction |= run.fraction;
        }
    }

    // Out of line, so that the values passed over above, most of a long
    // column, cost no more than their tests.
    [[gnu::noinline]] void try_candidates(std::string_view value, std::size_t at,
                                          const value_signature* signature)
    {
        const candidate* last = nullptr;
        std::size_t kept = 0;
        number_readings readings(value);
        for (std::uint8_t index : living) {
            candidate& each = candidates[index];
            if (!each.take(value, readings)) {
                each.alive = false;
                alive--;
                last = last != nullptr ? last : &each;
            } else {
                living[kept++] = index;
            }
        }
        living.resize(kept);
        if (signature != nullptr && alive > 0) {
            taken.insert(*signature);
            last_taken = *signature;
        }
        if (alive == 0 && typed > 0 && last != nullptr)
            column.why_text = std::string("mixed: ") +
                              value_type_name(last->type == value_type::integer ? number_type(*last)
                                                                                : last->type) +
                              " values until " + quoted(value) + " in record " +
                              std::to_string(at + 1);
        typed++;
    }
};

column_typer::column_typer() : state_(std::make_unique<state>())
{
}

column_typer::~column_typer() = default;
column_typer::column_typer(column_typer&&) noexcept = default;
column_typer& column_typer::operator=(column_typer&&) noexcept = default;

bool column_typer::take(std::string_view value)
{
    // Once no type is left the column is text, whatever follows.
    if (state_->alive > 0)
        state_->take(value);
    return state_->alive > 0;
}

bool column_typer::take_all(const std::string_view* values, std::size_t count)
{
    return take_all(values, 1, count);
}

bool column_typer::take_all(const std::string_view* values, std::size_t stride, std::size_t count)
{
    state& typing = *state_;
    for (std::size_t at = 0; at < count && typing.alive > 0; at++) {
        at += typing.take_unchanging(values + at * stride, stride, count - at);
        if (at < count)
            typing.take(values[at * stride]);
    }
    return typing.alive > 0;
}

column_description column_typer::finish() const
{
    column_description column = state_->column;
    auto chosen = std::find_if(state_->candidates.begin(), state_->candidates.end(),
                               [](const candidate& each) { return each.alive; });
    if (state_->typed > 0 && chosen != state_->candidates.end())
        describe_choice(*chosen, column);
    return column;
}

column_description infer_column_type(const std::vector<std::string_view>& values)
{
    column_typer typer;
    for (std::string_view value : values)
        typer.take(value);
    return typer.finish();
}
