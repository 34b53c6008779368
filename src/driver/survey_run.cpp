#include "survey_run.h"

#include "../process/exit_routine.h"
#include "../process/platform.h"
#include "../survey/base/sample_input.h"
#include "../survey/detect/layout_survey.h"
#include "../survey/report/recipes.h"
#include "../survey/report/survey_json.h"
#include "../survey/report/text_report.h"
#include "../survey/verify/verify_file.h"
#include "file_walk.h"
#include "progress_line.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

namespace
{

// How often the progress line is brought up to date, and how long a run
// goes before it shows one.
constexpr unsigned TICK_MILLISECONDS = 50;
constexpr auto PROGRESS_AFTER = std::chrono::seconds(1);
// Reports finished ahead of the one that must be printed next wait in
// memory; past this many, workers wait too.
constexpr std::size_t MOST_WAITING_REPORTS = 1024;
// After a worker ran out of memory, how long the others get to reach the
// end of the file they are on before the run ends without them.
constexpr auto OUT_OF_MEMORY_GRACE = std::chrono::seconds(1);
constexpr int DEFAULT_WIDTH = 80;

enum file_phase : int { WAITING, SURVEYING, VERIFYING, DONE };

struct file_slot {
    std::atomic<int> phase{WAITING};
    std::atomic<std::uint64_t> bytes_done{0};
    // Set before the phase becomes VERIFYING.
    std::uint64_t size = 0;
    std::string output;
    std::string error_line;
    exit_status status = ALL_SURVEYED;
};

struct survey_run {
    const survey_options& options;
    std::vector<run_file> files;
    std::size_t count;
    std::unique_ptr<file_slot[]> slots;
    unsigned pool_size;
    int width;
    // Only the first "-" reads standard input; a second would find it
    // taken by another thread.
    std::size_t standard_input_index;
    bool utf8_terminal = false;
    std::atomic<std::size_t> next_to_take{0};
    std::atomic<std::size_t> next_to_print{0};
    std::atomic<unsigned> files_running{0};
    // Workers that have started and not yet returned, and of those the
    // ones parked for want of memory.
    std::atomic<unsigned> workers_running{0};
    std::atomic<unsigned> workers_parked{0};
    std::atomic<bool> stop{false};
    std::atomic<bool> out_of_memory{false};
    // Every worker has returned.
    std::atomic<bool> finished{false};

    // Output of every thread goes through this lock, and what it guards.
    platform_mutex* output_lock = nullptr;
    // Told whenever a report is printed or a worker returns or parks: what
    // a waiting worker, the progress line and the main thread wait for.
    platform_condition* changed = nullptr;
    exit_status status = ALL_SURVEYED;
    // Why standard output failed, 0 while it has not.
    int write_error = 0;
    bool printed_a_report = false;
    std::size_t progress_length = 0;
};

// The run a thread other than the main one works for: a worker that runs
// out of memory there parks and leaves the ending to the main thread.
thread_local survey_run* helping_run = nullptr;

bool should_stop(const survey_run& run)
{
    return run.stop || platform_interrupted();
}

// The processors, or as many as --jobs allows, are shared among the files
// being surveyed now.
unsigned threads_at_most(const survey_options& options)
{
    unsigned processors = platform_processor_count();
    if (options.jobs && *options.jobs < processors)
        return static_cast<unsigned>(*options.jobs);
    return processors;
}

unsigned threads_for_one_file(const survey_run& run)
{
    unsigned running = std::max(1u, run.files_running.load());
    return std::max(1u, threads_at_most(run.options) / running);
}

bool verify_input(survey_run& run, file_slot& slot, survey_input& input, survey_report& report)
{
    slot.size = input.size.value_or(0);
    slot.phase = VERIFYING;
    std::string error;
    bool read =
        input.is_stream
            ? verify_stream(input.file, input.start.span(), report.layout, &slot.bytes_done,
                            report.outcome, error, run.options.max_anomalies)
            : verify_file(input.file, *input.size, report.layout, threads_for_one_file(run),
                          &slot.bytes_done, report.outcome, error, run.options.max_anomalies);
    if (!read) {
        report.error = error;
        return false;
    }
    report.verified = true;
    if (report.outcome.trailer_length)
        report.layout.trailer_length = *report.outcome.trailer_length;
    return true;
}

void survey_opened(survey_run& run, file_slot& slot, survey_input& input, survey_report& report)
{
    file_sample sample = sample_of(input);
    report.layout = survey_layout(sample);
    if (run.options.verify) {
        if (!verify_input(run, slot, input, report))
            return;
    } else if (input.is_stream && !input.size) {
        // Without a size, only reading to the end could count them.
        report.layout.records.reset();
    }
    report.first_records = pick_first_records(report.layout, sample.start,
                                              input.start_is_whole_file, run.options.rows);
    count_lines_around(report, sample);
}

// A recipe instead of the report; a file no recipe can load says why and
// counts as one that could not be read.
void write_recipe_of(const survey_run& run, const survey_report& report, file_slot& slot)
{
    recipe made = write_recipe(*run.options.schema, report);
    slot.output = made.text;
    if (made.text.empty() && !report.error) {
        slot.error_line = "korvalen: " + report.name + ": no " +
                          recipe_form_name(*run.options.schema) + " recipe: " + made.why_none +
                          "\n";
        slot.status = FILE_UNREADABLE;
    }
}

void survey_file(survey_run& run, std::size_t index)
{
    file_slot& slot = run.slots[index];
    const char* name = run.files[index].name.c_str();
    survey_report report;
    report.name = name;
    survey_input input;
    if (run.files[index].error)
        report.error = run.files[index].error;
    else if (names_standard_input(name) && index != run.standard_input_index)
        report.error = "standard input is named more than once";
    // --verify reads a stream to its end anyway: read whole, it is checked
    // as the same bytes by name would be, trailer and all.
    else if (!open_survey_input(name, input,
                                run.options.verify ? stream_reading::whole
                                                   : stream_reading::sample_only))
        report.error = input.error;
    else
        survey_opened(run, slot, input, report);
    close_survey_input(input);
    report.size = input.size;

    if (report.error) {
        slot.error_line = "korvalen: " + report.name + ": " + *report.error + "\n";
        slot.status = FILE_UNREADABLE;
    } else if (report.verified && report.outcome.anomalies > 0) {
        slot.status = ANOMALIES_FOUND;
    }
    if (run.options.schema)
        write_recipe_of(run, report, slot);
    else
        slot.output = run.options.json ? survey_json_line(report)
                                       : text_report(report, run.width, run.utf8_terminal);
}

void erase_progress(survey_run& run)
{
    if (run.progress_length == 0)
        return;
    // Nothing is allocated under the lock: a worker out of memory parks,
    // and must not park holding it.
    std::fputc('\r', stderr);
    for (std::size_t i = 0; i < run.progress_length; i++)
        std::fputc(' ', stderr);
    std::fputc('\r', stderr);
    std::fflush(stderr);
    run.progress_length = 0;
}

void print_report(survey_run& run, file_slot& slot)
{
    erase_progress(run);
    if (!slot.error_line.empty())
        std::fputs(slot.error_line.c_str(), stderr);
    if (!slot.output.empty()) {
        if (!run.options.json && run.printed_a_report)
            std::fputc('\n', stdout);
        std::fwrite(slot.output.data(), 1, slot.output.size(), stdout);
        run.printed_a_report = true;
    }
    // Surveying on would only lose more.
    errno = 0;
    if ((std::fflush(stdout) != 0 || std::ferror(stdout)) && run.write_error == 0) {
        run.write_error = errno != 0 ? errno : EIO;
        run.stop = true;
    }
    run.status = std::max(run.status, slot.status);
    std::string().swap(slot.output);
}

void print_ready_reports(survey_run& run)
{
    platform_lock(run.output_lock);
    std::size_t next = run.next_to_print;
    while (next < run.count && run.slots[next].phase == DONE) {
        print_report(run, run.slots[next]);
        run.next_to_print = ++next;
    }
    platform_notify_all(run.changed);
    platform_unlock(run.output_lock);
}

// Finished reports wait in memory for those before them; a worker far
// ahead waits for the printing to catch up.
void wait_for_room(survey_run& run, std::size_t index)
{
    platform_lock(run.output_lock);
    while (index >= run.next_to_print + MOST_WAITING_REPORTS && !should_stop(run))
        platform_wait(run.changed, run.output_lock, TICK_MILLISECONDS);
    platform_unlock(run.output_lock);
}

void survey_files(survey_run& run)
{
    while (!should_stop(run)) {
        std::size_t index = run.next_to_take++;
        if (index >= run.count)
            break;
        wait_for_room(run, index);
        if (should_stop(run))
            break;
        file_slot& slot = run.slots[index];
        run.files_running++;
        slot.phase = SURVEYING;
        survey_file(run, index);
        run.files_running--;
        // A file cut short by Ctrl+C would be reported wrongly.
        if (platform_interrupted())
            break;
        slot.phase = DONE;
        print_ready_reports(run);
    }
}

progress_parts progress_of(const survey_run& run, std::size_t index)
{
    const file_slot& slot = run.slots[index];
    progress_parts parts;
    parts.name = run.files[index].name;
    if (slot.phase == VERIFYING) {
        std::uint64_t done = slot.bytes_done;
        parts.lead = "korvalen: verifying ";
        if (slot.size > 0)
            parts.figure =
                "  " + std::to_string(std::min<std::uint64_t>(done, slot.size) * 100 / slot.size) +
                "%";
        else
            parts.figure = "  " + std::to_string(done >> 20) + " MiB";
    } else {
        parts.lead = "korvalen: surveying ";
    }
    if (run.count > 1)
        parts.place =
            "  (file " + std::to_string(index + 1) + " of " + std::to_string(run.count) + ")";
    return parts;
}

// The file the user waits for: the first whose report is not out yet.
// Made outside the lock, which guards nothing it reads.
std::string progress_line(const survey_run& run)
{
    std::size_t index = run.next_to_print;
    while (index < run.count && run.slots[index].phase == DONE)
        index++;
    if (index >= run.count || run.slots[index].phase == WAITING)
        return {};
    return fit_progress_line(progress_of(run, index), platform_terminal_width(stderr));
}

void draw_progress(survey_run& run, std::string text)
{
    if (text.empty())
        return;
    std::size_t length = text.size();
    if (length < run.progress_length)
        text.append(run.progress_length - length, ' ');
    std::fprintf(stderr, "\r%s", text.c_str());
    std::fflush(stderr);
    run.progress_length = std::max(length, run.progress_length);
}

// The progress line's own thread: it redraws at every tick once the run
// has gone on for a second, and is told when the workers are done.
void keep_progress(void* context)
{
    auto& run = *static_cast<survey_run*>(context);
    helping_run = &run;
    auto start = std::chrono::steady_clock::now();
    platform_lock(run.output_lock);
    while (!run.finished && !run.out_of_memory) {
        platform_wait(run.changed, run.output_lock, TICK_MILLISECONDS);
        if (std::chrono::steady_clock::now() - start < PROGRESS_AFTER)
            continue;
        platform_unlock(run.output_lock);
        std::string text = progress_line(run);
        platform_lock(run.output_lock);
        draw_progress(run, std::move(text));
    }
    erase_progress(run);
    platform_unlock(run.output_lock);
}

// Said on the main thread: the reports done so far are printed, then the
// run ends through the exit routine.
[[noreturn]] void end_out_of_memory(survey_run& run)
{
    run.stop = true;
    auto until = std::chrono::steady_clock::now() + OUT_OF_MEMORY_GRACE;
    platform_lock(run.output_lock);
    platform_notify_all(run.changed);
    while (run.workers_running > run.workers_parked && std::chrono::steady_clock::now() < until)
        platform_wait(run.changed, run.output_lock, TICK_MILLISECONDS);
    platform_unlock(run.output_lock);
    print_ready_reports(run);
    std::fputs("korvalen: not enough memory\n", stderr);
    exit_routine(INSUFFICIENT_MEMORY);
}

// Each worker surveys files while there are any; the main thread, worker
// 0, then waits for the others, or ends the run when one has run out of
// memory.
void work(void* context, unsigned worker)
{
    auto& run = *static_cast<survey_run*>(context);
    if (worker != 0)
        helping_run = &run;
    run.workers_running++;
    survey_files(run);
    platform_lock(run.output_lock);
    run.workers_running--;
    platform_notify_all(run.changed);
    if (worker == 0) {
        while (run.workers_running > run.workers_parked && !run.out_of_memory)
            platform_wait(run.changed, run.output_lock, TICK_MILLISECONDS);
    }
    platform_unlock(run.output_lock);
    if (worker == 0 && run.out_of_memory)
        end_out_of_memory(run);
}

std::size_t first_standard_input(const std::vector<run_file>& files)
{
    auto named = std::find_if(files.begin(), files.end(), [](const run_file& file) {
        return !file.error && names_standard_input(file.name.c_str());
    });
    return static_cast<std::size_t>(named - files.begin());
}

} // namespace

bool park_if_helping()
{
    survey_run* run = helping_run;
    if (run == nullptr)
        return false;
    // Nothing here may allocate, nor take the lock: the thread may hold
    // nothing else the main thread needs.
    run->workers_parked++;
    run->out_of_memory = true;
    platform_notify_all(run->changed);
    for (;;)
        platform_sleep(TICK_MILLISECONDS);
}

exit_status run_survey(const survey_options& options)
{
    std::vector<run_file> files = files_to_survey(options.files);
    std::size_t count = files.size();
    unsigned pool_size = static_cast<unsigned>(
        std::max<std::size_t>(1, std::min<std::size_t>(threads_at_most(options), count)));
    int width = platform_terminal_width(stdout);
    std::size_t standard_input_index = first_standard_input(files);
    survey_run run{options,
                   std::move(files),
                   count,
                   std::make_unique<file_slot[]>(count),
                   pool_size,
                   width > 0 ? width : DEFAULT_WIDTH,
                   standard_input_index};
    run.utf8_terminal = platform_terminal_shows_utf8(stdout);
    run.output_lock = platform_new_mutex();
    run.changed = platform_new_condition();
    platform_thread* progress =
        platform_is_terminal(stderr) ? platform_start_thread(keep_progress, &run) : nullptr;
    platform_run_workers(pool_size, work, &run);
    platform_lock(run.output_lock);
    run.finished = true;
    platform_notify_all(run.changed);
    platform_unlock(run.output_lock);
    if (progress != nullptr)
        platform_join_thread(progress);
    platform_delete_condition(run.changed);
    platform_delete_mutex(run.output_lock);
    if (run.write_error != 0) {
        // Said here, while the reason is known: a later flush finds only
        // the stream's error mark.
        std::clearerr(stdout);
        std::fprintf(stderr, "korvalen: can't write standard output: %s\n",
                     std::strerror(run.write_error));
        return OUTPUT_FAILED;
    }
    return run.status;
}
