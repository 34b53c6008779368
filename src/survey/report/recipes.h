// Recipes that load the records a survey found into the tools people load
// data with: a DuckDB query, pandas code, a Frictionless Data resource.
#ifndef KORVALEN_RECIPES_H
#define KORVALEN_RECIPES_H

#include "survey_report.h"

#include <optional>
#include <string>
#include <string_view>

enum class recipe_form { duckdb, pandas, frictionless };

std::optional<recipe_form> recipe_form_named(std::string_view name);
const char* recipe_form_name(recipe_form form);

struct recipe {
    // Ends in a line feed; empty when the form cannot express the layout.
    std::string text;
    // Why not, in a few words, when text is empty.
    std::string why_none;
};

recipe write_recipe(recipe_form form, const survey_report& report);

#endif
