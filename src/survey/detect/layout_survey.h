// The survey's decision: the layout of a file from its sample.
#ifndef KORVALEN_LAYOUT_SURVEY_H
#define KORVALEN_LAYOUT_SURVEY_H

#include "../base/file_layout.h"
#include "../base/file_sample.h"

file_layout survey_layout(const file_sample& sample);

#endif
