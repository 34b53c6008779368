#include "file_sample.h"

std::vector<piece_plan> plan_later_pieces(std::uint64_t file_size)
{
    std::vector<piece_plan> pieces;
    if (file_size <= SAMPLE_START_SIZE)
        return pieces;
    std::uint64_t after_start = file_size - SAMPLE_START_SIZE;
    if (after_start <= 2 * SAMPLE_PIECE_SIZE) {
        pieces.push_back({SAMPLE_START_SIZE, static_cast<std::size_t>(after_start)});
        return pieces;
    }
    std::uint64_t middle = SAMPLE_START_SIZE + after_start / 2 - SAMPLE_PIECE_SIZE / 2;
    pieces.push_back({middle, SAMPLE_PIECE_SIZE});
    pieces.push_back({file_size - SAMPLE_PIECE_SIZE, SAMPLE_PIECE_SIZE});
    return pieces;
}

bool sample_is_whole_file(const file_sample& sample)
{
    return sample.file_size && *sample.file_size == sample.start.size();
}
