// Marks for the regions of a source built for a wider instruction set than
// the program's own: every function between TARGET_REGION("set") and
// END_TARGET_REGION is compiled for that set and must only run where the
// processor has it. System headers stay outside the regions.
#ifndef KORVALEN_BASE_TARGET_REGION_H
#define KORVALEN_BASE_TARGET_REGION_H

#define KORVALEN_PRAGMA(text) _Pragma(#text)
#if defined(__clang__)
#define TARGET_REGION(set)                                                                         \
    KORVALEN_PRAGMA(clang attribute push(__attribute__((target(set))), apply_to = function))
#define END_TARGET_REGION _Pragma("clang attribute pop")
#else
#define TARGET_REGION(set) _Pragma("GCC push_options") KORVALEN_PRAGMA(GCC target(set))
#define END_TARGET_REGION _Pragma("GCC pop_options")
#endif

#endif
