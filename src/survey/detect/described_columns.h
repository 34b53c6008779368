// The columns of a layout named and typed: names from the row of column
// names or the format's own field descriptors, types from every record of
// the sample.
#ifndef KORVALEN_DESCRIBED_COLUMNS_H
#define KORVALEN_DESCRIBED_COLUMNS_H

#include "../base/file_layout.h"
#include "../base/file_sample.h"
#include "../base/text_lines.h"

// Fills layout.described_columns for delimited text, fixed-width text and
// a dBASE table; leaves it empty for a layout without columns. The lines
// of the sample's start, where kept, are taken rather than split again.
void describe_columns(const file_sample& sample, file_layout& layout,
                      const kept_lines* kept = nullptr);

#endif
