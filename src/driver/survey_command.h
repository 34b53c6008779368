// The survey's command line: long options, then the files to survey.
#ifndef KORVALEN_SURVEY_COMMAND_H
#define KORVALEN_SURVEY_COMMAND_H

// A first argument that begins with -- selects the survey; any other
// command line is the classic, interactive one.
bool selects_survey(int argument_count, char** arguments);

// Runs the survey's command line to its end: help, version, a usage error
// or the survey of the files named.
[[noreturn]] void run_survey_command(int argument_count, char** arguments);

#endif
