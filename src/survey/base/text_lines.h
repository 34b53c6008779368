// The lines of decoded text, and the ones that are not data: comments,
// blank lines and front matter.
#ifndef KORVALEN_TEXT_LINES_H
#define KORVALEN_TEXT_LINES_H

#include <cstdint>
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

bool is_blank_line(std::string_view line);

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
