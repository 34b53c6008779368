// Stand-ins for the driver's exit routine and keystroke reader, so that the
// analyses run inside the test process: an end of the run becomes an
// exception, and keystrokes come from a script.
#ifndef KORVALEN_FAKE_DRIVER_H
#define KORVALEN_FAKE_DRIVER_H

#include <cstdint>
#include <cstdio>
#include <functional>
#include <optional>
#include <string>
#include <vector>

struct run_ended {
    int status;
};

// Keys the next prompts read, one each; EOF after the last.
void script_keys(const std::string& keys);
// How many prompts have read a key (or EOF) since the keys were scripted.
std::size_t prompts_answered();

// What a piece of the program wrote to its stream, and the status it ended
// the run with, if it did.
struct captured_run {
    std::string output;
    std::optional<int> status;
};

captured_run capture(const std::function<void(std::FILE*)>& run);

// Makes bytes the sample, exactly as long as they are, so that a read past
// the valid length is a read past the allocation.
void set_sample(const std::string& bytes, std::int64_t size_of_file);

#endif
