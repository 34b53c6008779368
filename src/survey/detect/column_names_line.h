// The line of column names above fixed-width records: words that sit over
// the columns, each at one of its column's edges, and unlike the values
// below them.
#ifndef KORVALEN_COLUMN_NAMES_LINE_H
#define KORVALEN_COLUMN_NAMES_LINE_H

#include "../base/file_layout.h"

#include <string>
#include <string_view>
#include <vector>

// The line of the preamble that may name the columns: the last one that is
// not blank, above a rule of dashes or equals signs if there is one. Empty
// when the preamble has none.
std::string_view names_line_of(std::string_view preamble);

// One name per column (empty for a column the line leaves unnamed), or
// nothing when the line does not name the columns. columns are character
// offsets of the records; rows are the records' values, column by column.
std::vector<std::string> names_over_columns(std::string_view line,
                                            const std::vector<column_span>& columns,
                                            const std::vector<std::vector<std::string_view>>& rows);

#endif
