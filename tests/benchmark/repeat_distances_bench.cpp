// Times the repeat-distance histogram on the windows that make it work
// hardest: every group matching (spaces), many matches at many distances
// (two letters, six letters) and few matches (random bytes).
#include "../../src/analysis/candidate_table.h"
#include "../../src/analysis/repeat_distances.h"
#include "../unit/fake_driver.h"

#include <benchmark/benchmark.h>

#include <random>

namespace
{

std::string random_window(int alphabet_size, const char* first_letter)
{
    std::mt19937 generator(20261209);
    std::uniform_int_distribution<int> letter(0, alphabet_size - 1);
    std::string window;
    for (std::uint32_t i = 0; i < SCAN_WINDOW; i++)
        window += static_cast<char>(first_letter[0] + letter(generator));
    return window;
}

void time_histogram(benchmark::State& state, const std::string& window)
{
    set_sample(window, static_cast<std::int64_t>(window.size()));
    for (auto _ : state) {
        count_repeat_distances(static_cast<std::uint32_t>(window.size()));
        benchmark::DoNotOptimize(candidate_count);
    }
    state.counters["distances"] = candidate_count;
}

void spaces(benchmark::State& state)
{
    time_histogram(state, std::string(SCAN_WINDOW, ' '));
}

void two_letters(benchmark::State& state)
{
    time_histogram(state, random_window(2, "a"));
}

void six_letters(benchmark::State& state)
{
    time_histogram(state, random_window(6, "a"));
}

void random_bytes(benchmark::State& state)
{
    time_histogram(state, random_window(256, "\x00"));
}

BENCHMARK(spaces);
BENCHMARK(two_letters);
BENCHMARK(six_letters);
BENCHMARK(random_bytes);

} // namespace

BENCHMARK_MAIN();
