// The survey's report of one file as one line of JSON, for scripts.
#ifndef KORVALEN_SURVEY_JSON_H
#define KORVALEN_SURVEY_JSON_H

#include "survey_report.h"

#include <string>
#include <string_view>

// Every key in a fixed order, null where the survey does not know or the
// key does not apply; ends in a line feed.
std::string survey_json_line(const survey_report& report);

// Appends bytes as a JSON string, quotes included. Bytes that are not
// valid UTF-8 are written as the escapes \udc80 to \udcff, which decoders
// that use the "surrogateescape" convention (Python's os.fsencode) turn
// back into the same bytes.
void append_json_string(std::string& out, std::string_view bytes);

#endif
