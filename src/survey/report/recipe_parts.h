// What the three recipes share: which layouts a loader can read, the
// lines to skip and the rows to take, and names quoted for each language.
#ifndef KORVALEN_RECIPE_PARTS_H
#define KORVALEN_RECIPE_PARTS_H

#include "recipes.h"

#include <cstdint>
#include <string>
#include <vector>

struct load_plan {
    const survey_report* report = nullptr;
    const file_layout* layout = nullptr;
    // Lines before the first record, the row of names included.
    std::uint64_t skip_lines = 0;
    std::uint64_t trailer_lines = 0;
    // The records after the names row, where the count is exact.
    std::optional<std::uint64_t> rows;
    bool fixed_width = false;
    // Records without line ends, read by their length.
    bool by_length = false;
    // Fields of binary records, which only code that decodes their bytes
    // can read: zoned and packed decimal, integers, text in EBCDIC.
    bool binary_fields = false;
    // Every marker of a missing value the columns use, "" first.
    std::vector<std::string> null_markers;
};

// The plan, or why no loader can read the layout as records of columns.
std::optional<load_plan> plan_load(const survey_report& report, std::string& why_none);

// 'text' with quotes doubled; empty when the bytes are not UTF-8 text a
// query can hold.
std::optional<std::string> sql_string(std::string_view bytes);
std::string sql_name(std::string_view name);
// A Python expression for the bytes as a str: a literal, or for bytes
// that are not UTF-8 the file name os.fsdecode makes of them.
std::string python_string(std::string_view bytes);
std::string json_string(std::string_view bytes);

// Whether the loader reads the column's values as they are, or as text
// that the recipe converts: grouped numbers, a decimal comma.
bool plain_number(const column_description& column);

recipe duckdb_recipe(const load_plan& plan);
recipe pandas_recipe(const load_plan& plan);
recipe frictionless_recipe(const load_plan& plan);

#endif
