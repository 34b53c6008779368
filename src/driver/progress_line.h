// The progress line of a survey run, fitted to the terminal.
#ifndef KORVALEN_PROGRESS_LINE_H
#define KORVALEN_PROGRESS_LINE_H

#include <cstddef>
#include <string>

// What the line says, part by part, in the order shown.
struct progress_parts {
    // "korvalen: verifying "
    std::string lead;
    std::string name;
    // The figure the user waits on, e.g. "  42%"; may be empty.
    std::string figure;
    // Where the run is among the files, e.g. "  (file 3 of 10)"; may be
    // empty.
    std::string place;
};

// The line in fewer than width columns, so that the terminal never wraps
// it: the name is cut in the middle first, then the place and the lead
// are left out; the figure stays whole as long as it fits at all. A
// width of 1 or less is no terminal's: the line is whole.
std::string fit_progress_line(const progress_parts& parts, int width);

#endif
