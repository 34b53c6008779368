// What type a column's values have: the narrowest that every value in the
// sample fits (integer, decimal, float, date, time, datetime, boolean),
// text otherwise.
#ifndef KORVALEN_COLUMN_TYPES_H
#define KORVALEN_COLUMN_TYPES_H

#include "../base/file_layout.h"

#include <string_view>
#include <vector>

// values are one column's, record by record, without blanks around them or
// quotes. Sets the type, the format, the number marks and whether values
// are missing; the name and place are the caller's.
column_description infer_column_type(const std::vector<std::string_view>& values);

#endif
