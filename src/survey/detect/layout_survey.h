// The survey's decision: the layout of a file from its sample. Every
// layout that could hold the bytes is put forward as a hypothesis and
// weighed by one measure, the evidence: the share of the file's bytes it
// accounts for, times how well it fits them (0 to 1). The one with most
// evidence wins; of two with as much, the earlier in the list.
#ifndef KORVALEN_LAYOUT_SURVEY_H
#define KORVALEN_LAYOUT_SURVEY_H

#include "../base/file_layout.h"
#include "../base/file_sample.h"

#include <cstddef>
#include <vector>

struct layout_hypothesis {
    // "stated", "lines", "fixed-length"...
    const char* name = "";
    bool viable = false;
    // The share of the file's bytes in its records, and how well they fit
    // it: a documented header fits wholly, lines by the share of bytes
    // text may hold, records of one length by how much more often bytes a
    // record apart agree than chance would have them.
    double explained = 0;
    double fit = 0;
    file_layout layout;
    // Records of one length whose profile is wanted: it is made for the
    // winner alone, once chosen.
    bool profiled = false;

    double evidence() const
    {
        return viable ? explained * fit : 0;
    }
};

struct layout_contest {
    std::vector<layout_hypothesis> hypotheses;
    // Index of the winner in hypotheses; hypotheses.size() when none is
    // viable and the layout is unknown.
    std::size_t chosen = 0;
    file_layout choice;
};

layout_contest weigh_layouts(const file_sample& sample);

file_layout survey_layout(const file_sample& sample);

#endif
