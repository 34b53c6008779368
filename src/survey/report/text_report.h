// The survey's report of one file as text for people: what was found, then
// a picture of the first records under a ruler of byte offsets.
#ifndef KORVALEN_TEXT_REPORT_H
#define KORVALEN_TEXT_REPORT_H

#include "survey_report.h"

#include <string>

// Of each record the picture shows at most this many bytes.
constexpr std::size_t PICTURED_RECORD_LIMIT = 512;

// The report folded to width columns; empty for a file that could not be
// surveyed, whose error goes to standard error alone. On a terminal that
// shows UTF-8, text's letters beyond ASCII show as they are, else as dots.
std::string text_report(const survey_report& report, int width, bool utf8_terminal = false);

#endif
