#include "input_state.h"

std::atomic<platform_file> input_file{NO_FILE};
std::int64_t file_size = 0;
unsigned char* sample_buffer = nullptr;
