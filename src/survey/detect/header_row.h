// Whether the first record of delimited or fixed-width text names the
// columns rather than holding values.
#ifndef KORVALEN_HEADER_ROW_H
#define KORVALEN_HEADER_ROW_H

#include <string_view>
#include <vector>

// rows[0] is the first record's fields, the rest those of the records
// after it.
bool names_columns(const std::vector<std::vector<std::string_view>>& rows);

#endif
