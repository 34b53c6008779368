// The lines of decoded text, and the ones that are not data: comments,
// blank lines and front matter.
#ifndef KORVALEN_TEXT_LINES_H
#define KORVALEN_TEXT_LINES_H

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

struct text_line {
    std::string_view text; // without its line end
    std::size_t start;     // of the line in the decoded text
    std::size_t end;       // after its line end
    bool terminated;
};

// Whether count bytes end a line (LF or CR) every most_bytes_per_line
// bytes at least, on average; a stretch no longer than that needs none.
bool ends_lines_often(const unsigned char* bytes, std::size_t count,
                      std::uint64_t most_bytes_per_line);

// Splits at LF, CR LF and lone CR alike; a CR at the very end of text
// ends a line only when at_end says text ends the file. With feeds_only,
// at LF alone: a lone CR is a byte of the line (in a field's value).
std::vector<text_line> split_text_lines(std::string_view text, bool at_end,
                                        bool feeds_only = false);

// The lines of a text split once, for the steps that each want the lines
// of a part of it: the sample's text is hundreds of thousands of bytes.
struct kept_lines {
    std::string_view text;
    bool at_end = false;
    std::vector<text_line> lines;
    // Whether a CR stands anywhere in text: where none does, lines split
    // at LF alone are these too.
    bool returns = false;
};

kept_lines keep_lines(std::string_view text, bool at_end);

// The lines split_text_lines(part, at_end) gives, their bytes the same
// but their offsets counted from kept.text, where part lies in kept.text
// and starts at one of its lines (and, with at_end, ends where one does);
// none where they could differ.
std::optional<std::span<const text_line>> kept_lines_of(const kept_lines& kept,
                                                        std::string_view part, bool at_end);

// Nothing but blanks, tabs, form feeds and vertical tabs, if anything.
bool holds_only_blanks(std::string_view line);

// A line that opens with a byte past the blank in the code table holds
// more than blanks: told inline, as every line of the sample is asked.
inline bool is_blank_line(std::string_view line)
{
    return line.empty() ||
           (static_cast<unsigned char>(line.front()) <= ' ' && holds_only_blanks(line));
}

// A line that a comment marker starts: #, %, //, --, !, \ or ; (the
// markers of shell and configuration files, TeX, C, SQL, Fortran, and of
// INI files, Lisp and IDL).
bool is_comment_line(std::string_view line);

// Either of the two, the line read once: most steps skip both alike, at
// every line of the sample.
bool is_blank_or_comment_line(std::string_view line);

// Lines of front matter (YAML between --- lines) at the start, or 0.
std::size_t front_matter_lines(const std::vector<text_line>& lines);

#endif
