// What type a column's values have: the narrowest that every value in the
// sample fits (integer, decimal, float, date, time, datetime, boolean),
// text otherwise.
#ifndef KORVALEN_COLUMN_TYPES_H
#define KORVALEN_COLUMN_TYPES_H

#include "../base/file_layout.h"

#include <memory>
#include <string_view>
#include <vector>

// values are one column's, record by record, without blanks around them or
// quotes. Sets the type, the format, the number marks and whether values
// are missing; the name and place are the caller's.
column_description infer_column_type(const std::vector<std::string_view>& values);

// The same, the values given one at a time: a table's columns are typed
// side by side in one walk down its rows, each row's bytes read once.
class column_typer
{
  public:
    column_typer();
    ~column_typer();
    column_typer(column_typer&&) noexcept;
    column_typer& operator=(column_typer&&) noexcept;

    // Whether a type other than text is still left after value.
    bool take(std::string_view value);
    // The same for count values in a row, a column's in a block of rows:
    // one call for them all.
    bool take_all(const std::string_view* values, std::size_t count);
    // The same for count values stride apart: a column's in rows of one
    // width, read where they lie.
    bool take_all(const std::string_view* values, std::size_t stride, std::size_t count);
    column_description finish() const;

  private:
    struct state;
    std::unique_ptr<state> state_;
};

#endif
