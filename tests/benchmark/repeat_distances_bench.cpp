// Times the repeat-distance histogram on the windows that make it work
// hardest: every group matching (spaces), many matches at many distances
// (two letters, six letters) and few matches (random bytes). Its peer, on
// the same windows, is the plain recount that compares every pattern with
// every group.
#include "../../src/analysis/candidate_table.h"
#include "../../src/analysis/repeat_distances.h"
#include "../../src/process/input_state.h"
#include "../unit/fake_driver.h"
#include "../unit/reference_repeat_distances.h"

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

void count(benchmark::State& state, const std::string& window)
{
    set_sample(window, static_cast<std::int64_t>(window.size()));
    for (auto _ : state) {
        count_repeat_distances(static_cast<std::uint32_t>(window.size()));
        benchmark::DoNotOptimize(candidate_count);
    }
    state.counters["distances"] = candidate_count;
}

void plain_recount(benchmark::State& state, const std::string& window)
{
    set_sample(window, static_cast<std::int64_t>(window.size()));
    distance_table counted;
    for (auto _ : state) {
        counted =
            reference_repeat_distances(sample_buffer, static_cast<std::uint32_t>(window.size()));
        benchmark::DoNotOptimize(counted.data());
    }
    state.counters["distances"] = static_cast<double>(counted.size());
}

const std::string SPACES(SCAN_WINDOW, ' ');
const std::string TWO_LETTERS = random_window(2, "a");
const std::string SIX_LETTERS = random_window(6, "a");
const std::string RANDOM_BYTES = random_window(256, "\x00");

BENCHMARK_CAPTURE(count, spaces, SPACES);
BENCHMARK_CAPTURE(plain_recount, spaces, SPACES);
BENCHMARK_CAPTURE(count, two_letters, TWO_LETTERS);
BENCHMARK_CAPTURE(plain_recount, two_letters, TWO_LETTERS);
BENCHMARK_CAPTURE(count, six_letters, SIX_LETTERS);
BENCHMARK_CAPTURE(plain_recount, six_letters, SIX_LETTERS);
BENCHMARK_CAPTURE(count, random_bytes, RANDOM_BYTES);
BENCHMARK_CAPTURE(plain_recount, random_bytes, RANDOM_BYTES);

} // namespace

BENCHMARK_MAIN();
