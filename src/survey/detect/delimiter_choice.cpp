#include "delimiter_choice.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <map>
#include <span>

namespace
{

constexpr std::size_t MOST_RECORDS_WEIGHED = 2000;
// A delimiter must split records this consistently to be one, and split
// at least this share of them into its usual number of fields.
constexpr double LEAST_CONSISTENCY = 0.6;
constexpr double LEAST_USUAL_SHARE = 0.3;
// Field counts this close to the usual one are an optional field or two.
constexpr std::uint32_t NEAR_FIELDS = 2;
// Of two delimiters this close, the more usual one wins; any other byte
// must split the records better than the usual ones by a clear margin.
constexpr double CLOSE_SCORES = 0.02;
constexpr double OTHER_MARGIN = 0.15;
// A byte that stands between two digits this often is a decimal or
// thousands separator, or the colon of a time, inside fields.
constexpr double DIGIT_FLANKED = 0.9;

bool is_field_edge(char byte)
{
    return byte == ',' || byte == ';' || byte == '\t' || byte == '|' || byte == ':' ||
           byte == ' ' || byte == '=';
}

struct candidate_score {
    unsigned char delimiter;
    std::uint32_t fields;
    double score;
    double usual_share;
    bool usual;
    std::size_t rank;
};

double digit_flanked_share(const std::vector<std::string_view>& records, unsigned char delimiter)
{
    std::uint64_t seen = 0, flanked = 0;
    for (std::string_view record : records) {
        for (std::size_t at = 1; at + 1 < record.size(); at++) {
            if (static_cast<unsigned char>(record[at]) != delimiter)
                continue;
            seen++;
            flanked += std::isdigit(static_cast<unsigned char>(record[at - 1])) &&
                       std::isdigit(static_cast<unsigned char>(record[at + 1]));
        }
    }
    return seen == 0 ? 0 : static_cast<double>(flanked) / static_cast<double>(seen);
}

// Fields of each record for every byte as delimiter but the blank: one
// pass over a record counts every byte that stands outside quotes.
struct byte_tallies {
    // tallies[record][byte]: how often byte stands outside quotes.
    std::vector<std::array<std::uint16_t, 256>> tallies;
    // The values blanks separate in each record, outside quotes.
    std::vector<std::uint32_t> values;
};

byte_tallies tally_bytes(const std::vector<std::string_view>& records,
                         std::optional<unsigned char> quote)
{
    byte_tallies result;
    result.tallies.resize(records.size());
    result.values.resize(records.size());
    for (std::size_t record = 0; record < records.size(); record++) {
        auto& tally = result.tallies[record];
        tally.fill(0);
        bool quoted = false, in_value = false;
        std::uint32_t values = 0;
        for (char byte : records[record]) {
            unsigned char value = static_cast<unsigned char>(byte);
            bool blank = !quoted && (value == ' ' || value == '\t');
            values += !blank && !in_value;
            in_value = !blank;
            if (quote && value == *quote)
                quoted = !quoted;
            else if (!quoted && tally[value] < 0xFFFF)
                tally[value]++;
        }
        result.values[record] = values;
    }
    return result;
}

double empty_last_field_share(const std::vector<std::string_view>& records, unsigned char delimiter)
{
    std::uint64_t ending = 0;
    for (std::string_view record : records) {
        std::size_t last = record.find_last_not_of(" \t");
        ending +=
            last != std::string_view::npos && static_cast<unsigned char>(record[last]) == delimiter;
    }
    return records.empty() ? 0 : static_cast<double>(ending) / static_cast<double>(records.size());
}

candidate_score weigh(const std::vector<std::string_view>& records, const byte_tallies& tallies,
                      unsigned char delimiter, bool usual, std::size_t rank)
{
    std::map<std::uint32_t, std::uint64_t> counts;
    for (std::size_t record = 0; record < records.size(); record++) {
        std::uint32_t fields =
            delimiter == ' ' ? tallies.values[record] : tallies.tallies[record][delimiter] + 1u;
        counts[fields]++;
    }
    std::uint32_t usual_fields = 0;
    std::uint64_t with_usual = 0;
    for (auto [fields, seen] : counts) {
        if (seen > with_usual || (seen == with_usual && fields > usual_fields)) {
            usual_fields = fields;
            with_usual = seen;
        }
    }
    double total = static_cast<double>(records.size());
    // Records with a field or two more or fewer still count half: a last
    // field that some records leave out is common. Words of prose split at
    // their blanks into any number of fields, and get no such credit.
    std::uint64_t near = 0;
    for (auto [fields, seen] : counts) {
        if (fields >= 2 && fields != usual_fields && fields + NEAR_FIELDS >= usual_fields &&
            fields <= usual_fields + NEAR_FIELDS)
            near += seen;
    }
    double share = with_usual / total;
    // A byte that ends nearly every record with nothing after it, as a
    // semicolon ends a statement, is a terminator rather than a delimiter.
    if (usual_fields == 2 && delimiter != ' ' && empty_last_field_share(records, delimiter) >= 0.5)
        share = 0;
    double score =
        usual_fields < 2 || share < LEAST_USUAL_SHARE ? 0 : (with_usual + 0.5 * near) / total;
    return {delimiter, usual_fields, score, share, usual, rank};
}

bool present(const std::array<bool, 256>& seen, unsigned char byte)
{
    return seen[byte];
}

} // namespace

std::optional<unsigned char> choose_quote(const std::vector<std::string_view>& lines)
{
    std::optional<unsigned char> best;
    std::uint64_t best_score = 1;
    std::size_t weighed = std::min(lines.size(), MOST_RECORDS_WEIGHED);
    for (unsigned char quote : {'"', '\''}) {
        std::uint64_t opens = 0, closes = 0;
        for (std::string_view line : std::span(lines).first(weighed)) {
            for (std::size_t at = 0; at < line.size(); at++) {
                if (static_cast<unsigned char>(line[at]) != quote)
                    continue;
                opens += at == 0 || is_field_edge(line[at - 1]);
                closes += at + 1 == line.size() || is_field_edge(line[at + 1]);
            }
        }
        std::uint64_t score = std::min(opens, closes);
        // Apostrophes inside words are common; single quotes must do far
        // better than double ones to win.
        if (score > (quote == '\'' && best ? 2 * best_score : best_score)) {
            best = quote;
            best_score = score;
        }
    }
    return best;
}

std::vector<std::string_view> join_quoted_lines(std::string_view text,
                                                const std::vector<std::string_view>& lines,
                                                std::optional<unsigned char> quote)
{
    std::vector<std::string_view> records;
    bool open = false;
    for (std::string_view line : lines) {
        if (open) {
            std::string_view& last = records.back();
            std::size_t start = static_cast<std::size_t>(last.data() - text.data());
            std::size_t end = static_cast<std::size_t>(line.data() - text.data()) + line.size();
            last = text.substr(start, end - start);
        } else {
            records.push_back(line);
        }
        if (ends_inside_quotes(line, quote))
            open = !open;
    }
    return records;
}

delimiter_guess choose_delimiter(const std::vector<std::string_view>& records,
                                 std::optional<unsigned char> quote)
{
    delimiter_guess guess;
    // One record shows no consistency.
    if (records.size() < 2)
        return guess;
    std::vector<std::string_view> weighed(
        records.begin(), records.begin() + std::min(records.size(), MOST_RECORDS_WEIGHED));
    std::array<bool, 256> seen{};
    for (std::string_view record : weighed) {
        for (char byte : record)
            seen[static_cast<unsigned char>(byte)] = true;
    }
    byte_tallies tallies = tally_bytes(weighed, quote);
    std::vector<candidate_score> scores;
    std::size_t rank = 0;
    for (unsigned char delimiter : USUAL_DELIMITERS) {
        if (present(seen, delimiter))
            scores.push_back(weigh(weighed, tallies, delimiter, true, rank));
        rank++;
    }
    for (unsigned char delimiter : OTHER_DELIMITERS) {
        if (present(seen, delimiter) && (!quote || delimiter != *quote))
            scores.push_back(weigh(weighed, tallies, delimiter, false, rank));
        rank++;
    }
    double best_score = 0;
    for (const candidate_score& each : scores)
        best_score = std::max(best_score, each.score);
    // Separators inside numbers and times give way to one that splits
    // nearly as well.
    for (candidate_score& each : scores) {
        if (each.delimiter != ' ' && each.score > 0 &&
            digit_flanked_share(weighed, each.delimiter) >= DIGIT_FLANKED) {
            bool other_close = false;
            for (const candidate_score& other : scores)
                other_close |= &other != &each && other.score >= each.score * 0.9 &&
                               other.score >= LEAST_CONSISTENCY;
            if (other_close)
                each.score *= 0.5;
        }
    }
    double best_usual = 0;
    for (const candidate_score& each : scores) {
        if (each.usual)
            best_usual = std::max(best_usual, each.score);
    }
    const candidate_score* chosen = nullptr;
    for (const candidate_score& each : scores) {
        if (each.score < LEAST_CONSISTENCY || (!each.usual && best_usual >= LEAST_CONSISTENCY &&
                                               each.score < best_usual + OTHER_MARGIN))
            continue;
        if (chosen == nullptr || each.score > chosen->score + CLOSE_SCORES ||
            (each.score > chosen->score - CLOSE_SCORES && (each.usual && !chosen->usual)))
            chosen = &each;
    }
    if (chosen == nullptr)
        return guess;
    guess.rule = field_rule{chosen->delimiter, quote};
    guess.fields = chosen->fields;
    guess.consistency = chosen->score;
    guess.usual_share = chosen->usual_share;
    return guess;
}
