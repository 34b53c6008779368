// The block kernels' one body, included once for each instruction set
// inside a namespace of its own (and, for the wide ones, in a region of
// code built for that set: block_masks_x86.cpp). No include guard, by
// design.
//
// Before it, the namespace gives what differs between the sets:
//   void find_block(const unsigned char* block, const block_targets&, block_masks&);
//   unsigned ones(std::uint64_t bits);             // bits set
//   constexpr bool CAN_GATHER;        // whether gather() is one instruction
//   std::uint64_t gather(std::uint64_t bits, std::uint64_t mask);
//   class_lookup lookup_of(const class_sets&);      // any type
//   std::uint64_t misses_in(const unsigned char* block, const profile_lanes&,
//                           const class_lookup&);
// Every set must give exactly the same bits.

void find(const unsigned char* bytes, std::size_t blocks, const block_targets& targets,
          block_masks* masks)
{
    for (std::size_t i = 0; i < blocks; i++)
        find_block(bytes + i * BLOCK_SIZE, targets, masks[i]);
}

std::uint64_t profile_misses(const unsigned char* block, const profile_lanes& lanes,
                             const class_sets& classes)
{
    return misses_in(block, lanes, lookup_of(classes));
}

// The lookup is made once for the whole run of blocks.
void fixed_misses(const unsigned char* bytes, std::size_t blocks, const profile_lanes& lanes,
                  std::uint64_t phase, std::uint64_t record_length, const class_sets& classes,
                  std::uint64_t* misses)
{
    auto lookup = lookup_of(classes);
    for (std::size_t i = 0; i < blocks; i++) {
        profile_lanes at{lanes.allowed + phase, lanes.value + phase, lanes.care + phase};
        misses[i] = misses_in(bytes + i * BLOCK_SIZE, at, lookup);
        phase = phase_after(phase, BLOCK_SIZE, record_length);
    }
}

unsigned count_between(std::uint64_t starts, std::uint64_t marks, unsigned char* counts)
{
    unsigned count = 0;
    while (starts != 0) {
        std::uint64_t below = (starts & -starts) - 1;
        counts[count++] = static_cast<unsigned char>(ones(marks & below));
        marks &= ~below;
        starts &= starts - 1;
    }
    counts[count] = static_cast<unsigned char>(ones(marks));
    return count;
}

// The ends and delimiters in order, as bits: 1 for an end, 0 for a
// delimiter; gathered by one instruction where the set has one that is
// fast, else bit by bit.
template <bool gathered>
__attribute__((always_inline)) inline bool fit_fields(std::uint64_t ends, std::uint64_t delimiters,
                                                      const std::uint64_t* patterns,
                                                      std::uint64_t& carried)
{
    std::uint64_t events = ends | delimiters;
    unsigned count = ones(events);
    std::uint64_t order;
    if constexpr (gathered)
        order = gather(ends, events);
    else
        order = gather_one_by_one(ends, events);
    std::uint64_t expected =
        count >= 64 ? patterns[carried] : patterns[carried] & ((std::uint64_t{1} << count) - 1);
    if (order != expected)
        return false;
    carried = order == 0 ? carried + count : count - 1 - (63 - __builtin_clzll(order));
    return true;
}

template <bool gathered>
bool fields_fit(std::uint64_t ends, std::uint64_t delimiters, const std::uint64_t* patterns,
                std::uint64_t& carried)
{
    return fit_fields<gathered>(ends, delimiters, patterns, carried);
}

// One block of lines, taken whole when each record that ends in it fits.
template <bool gathered>
__attribute__((always_inline)) inline bool pass_block(const block_masks& masks,
                                                      const line_scan_rules& rules,
                                                      line_scan_state& state, std::uint64_t& starts)
{
    line_carry carry = state.carry;
    line_bits lines =
        next_lines(masks, rules.find_quote, rules.find_carriage_return, BLOCK_SIZE, carry);
    starts = lines.starts;
    if ((starts & wrong_line_ends(lines, rules.ends)) != 0)
        return false;
    std::uint64_t carried = state.delimiters;
    if (rules.fields > 0) {
        // A start may share its lane with the next record's delimiter; the
        // byte before it, the line end, never does.
        std::uint64_t delimiters = masks.delimiter & ~lines.inside;
        std::uint64_t later_starts = starts;
        if (starts & 1) {
            if (carried + 1 != rules.fields)
                return false;
            carried = 0;
            later_starts &= ~std::uint64_t{1};
        }
        std::uint64_t ends = later_starts >> 1;
        if (carried >= rules.fields || (ends & delimiters) != 0 ||
            !fit_fields<gathered>(ends, delimiters, rules.patterns, carried))
            return false;
    }
    state.delimiters = carried;
    state.carry = carry;
    state.records += ones(starts);
    return true;
}

// Searches sixteen blocks at a time, then passes them one by one; the bit
// logic stays in general registers, on copies of the rules and state.
template <bool gathered>
std::size_t scan_lines(const unsigned char* bytes, std::size_t blocks, const line_scan_rules& rules,
                       line_scan_state& state)
{
    constexpr std::size_t BATCH = 16;
    line_scan_state now = state;
    line_scan_rules given = rules;
    block_masks masks[BATCH];
    std::size_t done = 0;
    while (done < blocks) {
        std::size_t count = blocks - done < BATCH ? blocks - done : BATCH;
        find(bytes + done * BLOCK_SIZE, count, given.targets, masks);
        for (std::size_t i = 0; i < count; i++) {
            std::uint64_t starts;
            if (!pass_block<gathered>(masks[i], given, now, starts)) {
                state = now;
                return done + i;
            }
            if (starts != 0) {
                now.last_start =
                    (done + i) * BLOCK_SIZE + 63u - static_cast<unsigned>(__builtin_clzll(starts));
                now.started = true;
            }
        }
        done += count;
    }
    state = now;
    return done;
}

// use_gather: whether to use the set's gather instruction, slow microcode
// on some processors that have it.
block_kernels kernels_of(const char* name, bool use_gather)
{
    block_kernels kernels{find,          profile_misses,    fixed_misses,
                          count_between, fields_fit<false>, scan_lines<false>,
                          name};
    if constexpr (CAN_GATHER) {
        if (use_gather) {
            kernels.fields_fit = fields_fit<true>;
            kernels.scan_lines = scan_lines<true>;
        }
    }
    return kernels;
}
