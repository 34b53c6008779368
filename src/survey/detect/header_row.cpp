#include "header_row.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdint>
#include <set>

namespace
{

enum value_kind { EMPTY, INTEGER, DECIMAL, DATE, TEXT, KINDS };

constexpr std::size_t MOST_ROWS_WEIGHED = 500;
// A column whose values are of one kind this often is a column of that
// kind.
constexpr double TYPED_SHARE = 0.8;
// With text in every column, a column whose values hold digits this many
// percent of the time has a name without them.
constexpr std::size_t DIGITS_BELOW_PERCENT = 80;
// Names over this many typed columns for every one where the first record
// holds a value of the column's kind make a row of names.
constexpr std::size_t NAMES_PER_NUMBER = 3;
// Columns of codes of one length (two- and three-letter country codes)
// under names of other lengths: at least this many values in each, and
// this many such columns, show the first record holds no codes but the
// columns' names (one column alone may start with a shorter code, 0x0
// over 0x28).
constexpr std::size_t FEWEST_CODES = 8;
constexpr std::size_t FEWEST_CODE_COLUMNS = 2;

std::string_view trimmed(std::string_view value)
{
    while (!value.empty() &&
           (value.front() == ' ' || value.front() == '"' || value.front() == '\''))
        value.remove_prefix(1);
    while (!value.empty() && (value.back() == ' ' || value.back() == '"' || value.back() == '\''))
        value.remove_suffix(1);
    return value;
}

// A letter of the C locale, which the program keeps, or any byte from
// 0x80 on: tested here, not by a call to the C library for every byte.
constexpr bool is_letter(unsigned char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c >= 0x80;
}

// What each byte counts towards in a value, looked up once a byte: the
// first of digit, exponent, letter, point, date mark and sign that it is.
enum byte_role : std::uint8_t { OTHER, DIGIT, EXPONENT, LETTER, POINT, DATE_MARK, SIGN, ROLES };

constexpr std::array<std::uint8_t, 256> BYTE_ROLES = [] {
    std::array<std::uint8_t, 256> roles{};
    for (unsigned c = 0; c < roles.size(); c++) {
        if (c >= '0' && c <= '9')
            roles[c] = DIGIT;
        else if (c == 'e' || c == 'E')
            roles[c] = EXPONENT;
        else if (is_letter(static_cast<unsigned char>(c)))
            roles[c] = LETTER;
        else if (c == '.' || c == ',')
            roles[c] = POINT;
        else if (c == '-' || c == '/' || c == ':' || c == 'T')
            roles[c] = DATE_MARK;
        else if (c == '+')
            roles[c] = SIGN;
    }
    return roles;
}();

value_kind kind_of(std::string_view value)
{
    value = trimmed(value);
    if (value.empty())
        return EMPTY;
    std::array<std::size_t, ROLES> counts{};
    for (char byte : value)
        counts[BYTE_ROLES[static_cast<unsigned char>(byte)]]++;
    if (counts[LETTER] > 0 || counts[DIGIT] == 0 || counts[EXPONENT] > 1)
        return TEXT;
    if (counts[DATE_MARK] >= 2 || (counts[DATE_MARK] == 1 && value.front() != '-'))
        return DATE;
    return counts[POINT] == 0 && counts[EXPONENT] == 0 ? INTEGER : DECIMAL;
}

value_kind usual_kind(const std::vector<std::vector<std::string_view>>& rows, std::size_t column,
                      double& share)
{
    std::array<std::size_t, KINDS> counts{};
    std::size_t filled = 0;
    for (std::size_t row = 1; row < rows.size() && row <= MOST_ROWS_WEIGHED; row++) {
        if (column >= rows[row].size())
            continue;
        value_kind kind = kind_of(rows[row][column]);
        if (kind == EMPTY)
            continue;
        counts[kind]++;
        filled++;
    }
    auto most = std::max_element(counts.begin(), counts.end());
    share = filled == 0 ? 0 : static_cast<double>(*most) / static_cast<double>(filled);
    return static_cast<value_kind>(most - counts.begin());
}

bool is_quoted(std::string_view value)
{
    while (!value.empty() && value.front() == ' ')
        value.remove_prefix(1);
    while (!value.empty() && value.back() == ' ')
        value.remove_suffix(1);
    return value.size() >= 2 && value.front() == '"' && value.back() == '"';
}

// Whether most values under the first row in column are quoted.
bool quoted_below(const std::vector<std::vector<std::string_view>>& rows, std::size_t column)
{
    std::size_t quoted = 0, filled = 0;
    for (std::size_t row = 1; row < rows.size() && row <= MOST_ROWS_WEIGHED; row++) {
        if (column >= rows[row].size() || rows[row][column].empty())
            continue;
        filled++;
        quoted += is_quoted(rows[row][column]);
    }
    return quoted * 2 > filled;
}

bool has_digit(std::string_view value)
{
    for (char byte : value) {
        if (std::isdigit(static_cast<unsigned char>(byte)))
            return true;
    }
    return false;
}

// With text in every column, names stand out by not recurring, by
// lacking the digits that a column's values hold, or by a length that no
// code under them has: each is unlike every value under it.
bool names_among_text(const std::vector<std::vector<std::string_view>>& rows)
{
    const auto& first = rows[0];
    std::set<std::string_view> names;
    bool values_repeat = false;
    bool digits_only_below = false;
    std::size_t code_columns = 0;
    for (std::size_t column = 0; column < first.size(); column++) {
        std::string_view name = trimmed(first[column]);
        if (name.empty() || kind_of(name) != TEXT || !names.insert(name).second)
            return false;
        std::set<std::string_view> values;
        // The one length of the values, 0 while none is seen; SIZE_MAX once
        // they differ.
        std::size_t length = 0;
        std::size_t with_digits = 0, filled = 0;
        for (std::size_t row = 1; row < rows.size() && row <= MOST_ROWS_WEIGHED; row++) {
            if (column >= rows[row].size())
                continue;
            std::string_view value = trimmed(rows[row][column]);
            if (value == name)
                return false;
            values_repeat |= !value.empty() && !values.insert(value).second;
            filled += !value.empty();
            with_digits += has_digit(value);
            if (!value.empty() && length != value.size())
                length = length == 0 ? value.size() : SIZE_MAX;
        }
        digits_only_below |=
            !has_digit(name) && filled > 0 && with_digits * 100 >= filled * DIGITS_BELOW_PERCENT;
        code_columns += filled >= FEWEST_CODES && length != SIZE_MAX && length != name.size();
    }
    return (values_repeat && digits_only_below) || code_columns >= FEWEST_CODE_COLUMNS;
}

} // namespace

header_choice choose_header_row(const std::vector<std::vector<std::string_view>>& rows)
{
    header_choice result;
    if (rows.size() < 2 || rows[0].empty())
        return result;
    std::size_t unlike = 0, alike = 0;
    for (std::size_t column = 0; column < rows[0].size(); column++) {
        double share = 0;
        value_kind kind = usual_kind(rows, column, share);
        if (kind == TEXT || kind == EMPTY || share < TYPED_SHARE)
            continue;
        value_kind first = kind_of(rows[0][column]);
        // A quoted number over unquoted ones is a string: a writer that
        // quotes every string quoted the name ("1960" over 2.41).
        if (first != TEXT && is_quoted(rows[0][column]) && !quoted_below(rows, column))
            first = TEXT;
        bool numbers =
            (first == INTEGER || first == DECIMAL) && (kind == INTEGER || kind == DECIMAL);
        if (first == TEXT)
            unlike++;
        else if (first == kind || numbers)
            alike++;
    }
    // Names are text above the typed columns, but for a name that is a
    // number (a time of "0" over readings) among several; a first record
    // that holds numbers where the rest do is not names (a count of the
    // rows, say).
    result.candidates = {{true, static_cast<double>(unlike)}, {false, static_cast<double>(alike)}};
    if (unlike + alike > 0)
        result.choice = unlike > 0 && unlike >= NAMES_PER_NUMBER * alike;
    else
        result.choice = names_among_text(rows);
    return result;
}
