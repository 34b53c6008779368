// The layout of the first record: its length and every '|' field in it.
#ifndef KORVALEN_FIELD_REPORT_H
#define KORVALEN_FIELD_REPORT_H

#include <cstdint>
#include <cstdio>

// Reads only the first valid_length bytes of sample. Always returns.
void report_fields(std::FILE* out, const char* file_name, const unsigned char* sample,
                   std::int32_t valid_length);

#endif
