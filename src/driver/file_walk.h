// The files a survey run reads: those named, and in place of a directory
// the files in it and in the directories below it.
#ifndef KORVALEN_FILE_WALK_H
#define KORVALEN_FILE_WALK_H

#include <optional>
#include <string>
#include <vector>

struct run_file {
    std::string name;
    // Why the walk could not read it (a directory that cannot be listed,
    // an entry gone before it was looked at): reported in its place, as a
    // file that could not be read.
    std::optional<std::string> error;
};

// The names in the order given, each directory replaced by its regular
// files, depth first, the entries of each directory in the byte order of
// their names. Links are not followed, and FIFOs, devices and sockets
// are passed over: a walk must neither loop nor wait. Ctrl+C ends the
// walk where it is.
std::vector<run_file> files_to_survey(const std::vector<const char*>& names);

#endif
