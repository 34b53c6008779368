#include "column_names_line.h"

#include "../base/text_lines.h"
#include "header_row.h"

#include <algorithm>

namespace
{

// A line names the columns when it names at least this share of them: a
// narrow column (a sign, a flag) may go without a name, but a line with
// words over fewer than half the columns is a title or a note.
constexpr double NAMED_SHARE = 0.5;
// Nor is one word over a table of many columns a row of names.
constexpr std::size_t FEWEST_NAMES = 2;
// Bytes that a rule under the names is drawn with, and those that may
// stand between its strokes.
constexpr std::string_view RULE_STROKES = "-=_";
constexpr std::string_view RULE_GAPS = " \t+|";
// A line with this many bars between its cells is a row of a ruled
// table's heading; the bars are no part of the names.
constexpr char CELL_WALL = '|';
constexpr std::size_t FEWEST_CELL_WALLS = 2;
// Bytes that open a comment line; the names of a table that its program
// reads past comments stand behind them.
constexpr std::string_view COMMENT_MARKS = "#%/!;\\";

struct word {
    std::size_t start;
    std::size_t end;
};

bool is_rule(std::string_view line)
{
    bool stroke = false;
    for (char byte : line) {
        if (RULE_STROKES.find(byte) != std::string_view::npos)
            stroke = true;
        else if (RULE_GAPS.find(byte) == std::string_view::npos)
            return false;
    }
    return stroke;
}

bool is_ruled(std::string_view line)
{
    return static_cast<std::size_t>(std::count(line.begin(), line.end(), CELL_WALL)) >=
           FEWEST_CELL_WALLS;
}

std::vector<word> words_of(std::string_view line)
{
    std::vector<word> words;
    std::size_t at = line.find_first_not_of(" \t");
    while (at != std::string_view::npos) {
        std::size_t end = std::min(line.find_first_of(" \t", at), line.size());
        words.push_back({at, end});
        at = line.find_first_not_of(" \t", end);
    }
    return words;
}

// The column whose edge the word starts or ends at, else the one it lies
// over (a phrase's middle word); columns.size() when there is none.
std::size_t column_of(const word& each, const std::vector<column_span>& columns)
{
    for (std::size_t column = 0; column < columns.size(); column++) {
        if (each.start == columns[column].start || each.end == columns[column].end)
            return column;
    }
    std::size_t best = columns.size(), most = 0;
    for (std::size_t column = 0; column < columns.size(); column++) {
        std::size_t start = std::max<std::size_t>(each.start, columns[column].start);
        std::size_t end = std::min<std::size_t>(each.end, columns[column].end);
        if (end > start && end - start > most) {
            best = column;
            most = end - start;
        }
    }
    return best;
}

// The line with a comment's opening marks blanked, so that words keep
// their offsets.
std::string without_comment_marks(std::string_view line)
{
    std::string text(line);
    std::size_t first = text.find_first_not_of(" \t");
    if (first == std::string::npos || !is_comment_line(line))
        return text;
    for (std::size_t at = first;
         at < text.size() && COMMENT_MARKS.find(text[at]) != std::string::npos; at++)
        text[at] = ' ';
    // "--" opens a comment too, but a lone '-' is a sign.
    if (text.compare(first, 2, "--") == 0)
        text.replace(first, 2, "  ");
    return text;
}

} // namespace

std::string_view names_line_of(std::string_view preamble)
{
    std::vector<std::string_view> lines;
    for (const text_line& line : split_text_lines(preamble, true)) {
        if (!is_blank_line(line.text))
            lines.push_back(line.text);
    }
    if (!lines.empty() && is_rule(without_comment_marks(lines.back())))
        lines.pop_back();
    if (lines.empty())
        return {};
    // Lines ruled into cells end a table's heading of names, then types,
    // units or nulls under them: the first names the columns.
    std::size_t first = lines.size();
    while (first > 0 && is_ruled(lines[first - 1]))
        first--;
    return lines[first < lines.size() ? first : lines.size() - 1];
}

std::vector<std::string> names_over_columns(std::string_view line,
                                            const std::vector<column_span>& columns,
                                            const std::vector<std::vector<std::string_view>>& rows)
{
    std::string text = without_comment_marks(line);
    if (is_ruled(text))
        std::replace(text.begin(), text.end(), CELL_WALL, ' ');
    std::vector<word> phrases(columns.size(), word{0, 0});
    std::size_t last = 0;
    for (const word& each : words_of(text)) {
        std::size_t column = column_of(each, columns);
        if (column == columns.size() || column < last)
            return {};
        word& phrase = phrases[column];
        // A phrase is words one blank apart; a second phrase over one
        // column is not its name.
        if (phrase.end > 0 && each.start != phrase.end + 1)
            return {};
        phrase = {phrase.end > 0 ? phrase.start : each.start, each.end};
        last = column;
    }
    std::vector<std::string> names(columns.size());
    std::vector<std::string_view> first_row(columns.size());
    std::size_t named = 0;
    for (std::size_t column = 0; column < columns.size(); column++) {
        const word& phrase = phrases[column];
        if (phrase.end == 0)
            continue;
        if (phrase.start != columns[column].start && phrase.end != columns[column].end)
            return {};
        names[column] = text.substr(phrase.start, phrase.end - phrase.start);
        first_row[column] = line.substr(phrase.start, phrase.end - phrase.start);
        named++;
    }
    if (named < FEWEST_NAMES || static_cast<double>(named) < NAMED_SHARE * columns.size())
        return {};
    std::vector<std::vector<std::string_view>> with_names{first_row};
    with_names.insert(with_names.end(), rows.begin(), rows.end());
    if (!choose_header_row(with_names).choice)
        return {};
    return names;
}
