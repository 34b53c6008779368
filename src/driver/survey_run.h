// The survey of many files at once: a bounded pool of threads, each file's
// report printed in the order the files were named.
#ifndef KORVALEN_SURVEY_RUN_H
#define KORVALEN_SURVEY_RUN_H

#include "../process/exit_routine.h"
#include "../survey/base/file_layout.h"
#include "../survey/report/recipes.h"

#include <cstddef>
#include <optional>
#include <vector>

struct survey_options {
    bool verify = false;
    bool json = false;
    // How many anomalies of a file --verify describes one by one.
    std::size_t max_anomalies = DEFAULT_MAX_ANOMALIES;
    // Print a recipe that loads each file instead of its report.
    std::optional<recipe_form> schema;
    // At most this many files at once, and threads for one; else one per
    // processor.
    std::optional<std::size_t> jobs;
    // Records in each report's picture, where not its own count.
    std::optional<std::size_t> rows;
    // As named: a directory stands for the files under it.
    std::vector<const char*> files;
};

// Surveys every file and prints each report as soon as it and all before
// it are done. Returns the run's status: 0 when every file was surveyed
// (and verified without anomaly), 1 when --verify found anomalies, 2 when
// a file could not be opened or read.
exit_status run_survey(const survey_options& options);

// For the allocator's handler when memory runs out: on a thread of the
// run other than the main one, parks that thread for good and has the
// main thread end the run; returns false on any other thread.
bool park_if_helping();

#endif
