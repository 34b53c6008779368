// The survey's report of one file as one line of JSON, for scripts.
#ifndef KORVALEN_SURVEY_JSON_H
#define KORVALEN_SURVEY_JSON_H

#include "survey_report.h"

#include <span>
#include <string>
#include <string_view>

class json_object;

// One key of the JSON line: its name, JSON type, the unit of a number
// (empty for none), when it is null and what it means (as --help and the
// manual list them), and how its value is written.
struct json_key {
    const char* name;
    const char* type;
    const char* unit;
    // The manual's clause, word for word.
    const char* null_when;
    const char* meaning;
    void (*write)(json_object& object, const char* name, const survey_report& report);
};

// Every key, in the order written.
std::span<const json_key> json_keys();

// Every key in a fixed order, null where the survey does not know or the
// key does not apply; ends in a line feed.
std::string survey_json_line(const survey_report& report);

// Appends bytes as a JSON string, quotes included. Bytes that are not
// valid UTF-8 are written as the escapes \udc80 to \udcff, which decoders
// that use the "surrogateescape" convention (Python's os.fsencode) turn
// back into the same bytes.
void append_json_string(std::string& out, std::string_view bytes);

#endif
