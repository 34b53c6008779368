// The byte kernels' one body, included once for each instruction set
// inside a namespace of its own (and, for the wide ones, in a region of
// code built for that set: byte_kernels_x86.cpp). No include guard, by
// design.
//
// Before it, the namespace gives what differs between the sets:
//   constexpr std::size_t WIDTH;          // bytes compared at once
//   lanes zero();                         // counters, one byte each
//   lanes add_equal(lanes, const unsigned char*, const unsigned char*);
//   std::uint64_t total(lanes);           // the sum of the counters
//   std::size_t first_line_end(const unsigned char*); // of WIDTH bytes, WIDTH if none
//   lanes equal_marks(const unsigned char*, const unsigned char*); // a mark where equal
//   lanes marks_unless(lanes marks, lanes unless); // marks where unless has none
//   void add_marks(unsigned char*, lanes);  // 1 to each counter marked
// Every set must give exactly the same counts.

// A counter of one byte wraps after 255: the counters are added into the
// total before then.
constexpr std::size_t STEPS_PER_TOTAL = 255;

std::uint64_t count_equal(const unsigned char* first, const unsigned char* second,
                          std::size_t count)
{
    std::uint64_t equal = 0;
    std::size_t at = 0;
    while (at + WIDTH <= count) {
        lanes counters = zero();
        for (std::size_t step = 0; step < STEPS_PER_TOTAL && at + WIDTH <= count; step++) {
            counters = add_equal(counters, first + at, second + at);
            at += WIDTH;
        }
        equal += total(counters);
    }
    for (; at < count; at++)
        equal += first[at] == second[at];
    return equal;
}

std::size_t next_line_end(const unsigned char* bytes, std::size_t count)
{
    std::size_t at = 0;
    for (; at + WIDTH <= count; at += WIDTH) {
        std::size_t found = first_line_end(bytes + at);
        if (found < WIDTH)
            return at + found;
    }
    for (; at < count; at++) {
        if (bytes[at] == '\n' || bytes[at] == '\r')
            return at;
    }
    return count;
}

void tally_pairs(const unsigned char* first, const unsigned char* second,
                 const unsigned char* first_classes, const unsigned char* second_classes,
                 std::size_t count, unsigned char* same, unsigned char* same_class)
{
    std::size_t at = 0;
    for (; at + WIDTH <= count; at += WIDTH) {
        lanes equal = equal_marks(first + at, second + at);
        lanes alike = equal_marks(first_classes + at, second_classes + at);
        add_marks(same + at, equal);
        add_marks(same_class + at, marks_unless(alike, equal));
    }
    for (; at < count; at++) {
        bool equal = first[at] == second[at];
        same[at] += equal;
        same_class[at] += !equal && first_classes[at] == second_classes[at];
    }
}

byte_kernels kernels_of(const char* name)
{
    return {name, count_equal, next_line_end, tally_pairs};
}
