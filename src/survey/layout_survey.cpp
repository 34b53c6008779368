#include "layout_survey.h"

file_layout survey_layout(const file_sample& sample)
{
    file_layout layout;
    if (sample.start.empty())
        layout.layout = record_layout::empty;
    return layout;
}
