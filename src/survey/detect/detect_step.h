// What every detection step hands on: each candidate it weighed with its
// score, so that a test or a reader can see why the choice won.
#ifndef KORVALEN_DETECT_STEP_H
#define KORVALEN_DETECT_STEP_H

template <typename Value> struct scored {
    Value value;
    double score;
};

#endif
