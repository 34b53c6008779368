#include "survey_command.h"

#include "../process/exit_routine.h"
#include "../process/platform.h"
#include "../survey/report/survey_json.h"
#include "survey_run.h"

#include <cstdio>
#include <cstring>
#include <new>
#include <string>

namespace
{

const char USAGE_OPTIONS[] =
    "usage: korvalen --survey [--verify] [--max-anomalies N] [--jobs N] [--rows N]\n"
    "                [--json | --schema=FORM] [--] FILE...\n"
    "       korvalen FILE [-f | N]\n"
    "\n"
    "The first form works out how the records of each FILE are laid out and\n"
    "prints what it finds, file by file in the order given, without asking\n"
    "anything. A FILE of - is standard input; give a file whose name begins\n"
    "with -- as ./--name. A directory is surveyed whole: the files in it and\n"
    "in the directories below, in the byte order of their names; symbolic\n"
    "links, FIFOs and devices in it are passed over.\n"
    "\n"
    "  --survey   sample each file and print its layout\n"
    "  --verify   then read each whole file and check every record against\n"
    "             the layout\n"
    "  --max-anomalies N\n"
    "             describe up to N records that break the layout (10)\n"
    "  --jobs N   survey at most N files at once, and check one with at most\n"
    "             N threads (one per processor)\n"
    "  --rows N   show N records in the picture of each file, 0 to 1000\n"
    "             (5 records of fields, 3 of bytes)\n"
    "  --json     one JSON object per file per line instead of text\n"
    "  --schema=FORM\n"
    "             instead of the report, a recipe that loads the records:\n"
    "             duckdb (an SQL query), pandas (Python leaving DataFrame\n"
    "             df) or frictionless (a Frictionless Data resource)\n"
    "  --help     print this help\n"
    "  --version  print the version\n"
    "  --         end of the options: every argument after it is a file\n"
    "\n";
const char USAGE_END[] =
    "Exit status: 0 every file surveyed (and, with --verify, every record\n"
    "matches), 1 --verify found records that break the layout, 2 a usage\n"
    "error, a file that could not be read, or Ctrl+C, 3 the program file is\n"
    "damaged, 4 standard output could not be written, 6 not enough memory.\n"
    "\n"
    "The second form is the interactive analysis of one file; see korvalen(1).\n";

constexpr std::size_t HELP_WIDTH = 76;

// The JSON line's keys, from the table the writer uses; the manual says
// what each means.
std::string json_key_list()
{
    std::string text = "JSON keys, in order (korvalen(1) says what each means):\n";
    std::string line = " ";
    for (const json_key& key : json_keys()) {
        if (line.size() + 1 + std::strlen(key.name) > HELP_WIDTH) {
            text += line + "\n";
            line = " ";
        }
        line += std::string(" ") + key.name;
    }
    return text + line + "\n\n";
}

enum class command { survey, help, version, unknown_option, bad_form, bad_count, no_file };

// A pool larger than this gains nothing on any machine korvalen runs on.
constexpr std::size_t MOST_JOBS = 1024;
// More anomalies than this are not described one by one: the first
// million tell all there is to tell.
constexpr std::size_t MOST_ANOMALIES = 1000000;
// Past this many records, a picture is no longer something to look at; a
// sample holds fewer anyway.
constexpr std::size_t MOST_ROWS = 1000;

// An option that takes a count, and what the count may be.
struct count_option {
    const char* name;
    std::size_t least;
    std::size_t most;
};

constexpr count_option MAX_ANOMALIES_OPTION{"--max-anomalies", 0, MOST_ANOMALIES};
constexpr count_option JOBS_OPTION{"--jobs", 1, MOST_JOBS};
constexpr count_option ROWS_OPTION{"--rows", 0, MOST_ROWS};

bool names_option(const char* argument)
{
    return std::strncmp(argument, "--", 2) == 0;
}

// A count of decimal digits alone, small enough for every option's range.
bool parse_count(const char* text, std::size_t& count)
{
    constexpr std::size_t MOST_KEPT = MOST_ANOMALIES;
    std::size_t value = 0;
    if (*text == '\0')
        return false;
    for (; *text != '\0'; text++) {
        if (*text < '0' || *text > '9')
            return false;
        value = value * 10 + static_cast<std::size_t>(*text - '0');
        if (value > MOST_KEPT)
            return false;
    }
    count = value;
    return true;
}

// An unknown option outweighs --help, and --help --version.
void take_schema(const char* form, survey_options& options, const char*& bad_form)
{
    options.schema = recipe_form_named(form);
    if (!options.schema && bad_form == nullptr)
        bad_form = form;
}

struct parse_faults {
    const char* unknown = nullptr;
    const char* bad_form = nullptr;
    const count_option* bad_count = nullptr;
};

// The count after an option that takes one; a count missing or out of
// its range is the first such fault.
template <typename count_type>
void take_count_option(const count_option& option, int argument_count, char** arguments, int& index,
                       count_type& count, parse_faults& faults)
{
    std::size_t value = 0;
    if (index + 1 < argument_count && parse_count(arguments[index + 1], value) &&
        value >= option.least && value <= option.most) {
        count = value;
        index++;
    } else if (faults.bad_count == nullptr) {
        faults.bad_count = &option;
    }
}

command parse(int argument_count, char** arguments, survey_options& options, parse_faults& faults)
{
    const char*& unknown = faults.unknown;
    const char*& bad_form = faults.bad_form;
    bool help = false;
    bool version = false;
    bool options_ended = false;
    unknown = nullptr;
    bad_form = nullptr;
    for (int index = 1; index < argument_count; index++) {
        const char* argument = arguments[index];
        if (options_ended || !names_option(argument))
            options.files.push_back(argument);
        else if (std::strcmp(argument, "--") == 0)
            options_ended = true;
        else if (std::strcmp(argument, "--survey") == 0)
            continue;
        else if (std::strcmp(argument, "--verify") == 0)
            options.verify = true;
        else if (std::strcmp(argument, MAX_ANOMALIES_OPTION.name) == 0)
            take_count_option(MAX_ANOMALIES_OPTION, argument_count, arguments, index,
                              options.max_anomalies, faults);
        else if (std::strcmp(argument, JOBS_OPTION.name) == 0)
            take_count_option(JOBS_OPTION, argument_count, arguments, index, options.jobs, faults);
        else if (std::strcmp(argument, ROWS_OPTION.name) == 0)
            take_count_option(ROWS_OPTION, argument_count, arguments, index, options.rows, faults);
        else if (std::strcmp(argument, "--json") == 0)
            options.json = true;
        else if (std::strncmp(argument, "--schema", 8) == 0 &&
                 (argument[8] == '=' || argument[8] == '\0'))
            take_schema(argument[8] == '='           ? argument + 9
                        : index + 1 < argument_count ? arguments[++index]
                                                     : "",
                        options, bad_form);
        else if (std::strcmp(argument, "--help") == 0)
            help = true;
        else if (std::strcmp(argument, "--version") == 0)
            version = true;
        else if (unknown == nullptr)
            unknown = argument;
    }
    if (unknown != nullptr)
        return command::unknown_option;
    if (bad_form != nullptr)
        return command::bad_form;
    if (faults.bad_count != nullptr)
        return command::bad_count;
    if (help)
        return command::help;
    if (version)
        return command::version;
    return options.files.empty() ? command::no_file : command::survey;
}

// Called by the C++ allocator, on whichever thread asked, when the heap
// cannot give what the survey needs: the reports already printed stay,
// and the run ends saying why rather than by an uncaught exception. Only
// the main thread ends it, so that no worker exits under the others.
[[noreturn]] void survey_out_of_memory()
{
    park_if_helping();
    std::fputs("korvalen: not enough memory\n", stderr);
    exit_routine(INSUFFICIENT_MEMORY);
}

} // namespace

bool selects_survey(int argument_count, char** arguments)
{
    return argument_count > 1 && names_option(arguments[1]);
}

void run_survey_command(int argument_count, char** arguments)
{
    platform_write_binary();
    platform_keep_freed_memory();
    survey_options options;
    parse_faults faults;
    switch (parse(argument_count, arguments, options, faults)) {
    case command::help:
        std::fputs(USAGE_OPTIONS, stdout);
        std::fputs(json_key_list().c_str(), stdout);
        std::fputs(USAGE_END, stdout);
        exit_routine(NORMAL_EXIT);
    case command::version:
        std::fputs("korvalen " KORVALEN_VERSION "\n", stdout);
        exit_routine(NORMAL_EXIT);
    case command::unknown_option:
        std::fprintf(stderr, "korvalen: unknown option '%s'; see korvalen --help\n",
                     faults.unknown);
        exit_routine(USAGE_ERROR);
    case command::bad_form:
        std::fprintf(stderr, "korvalen: no recipe form '%s': give duckdb, pandas or frictionless\n",
                     faults.bad_form);
        exit_routine(USAGE_ERROR);
    case command::bad_count:
        std::fprintf(stderr,
                     "korvalen: %s takes a whole number from %s to %s; see korvalen --help\n",
                     faults.bad_count->name, std::to_string(faults.bad_count->least).c_str(),
                     std::to_string(faults.bad_count->most).c_str());
        exit_routine(USAGE_ERROR);
    case command::no_file:
        std::fputs("korvalen: no file named; see korvalen --help\n", stderr);
        exit_routine(USAGE_ERROR);
    case command::survey:
        break;
    }
    platform_catch_interrupt();
    std::set_new_handler(survey_out_of_memory);
    exit_routine(run_survey(options));
}
