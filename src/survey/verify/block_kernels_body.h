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

// A mapped file is checked where it lies in memory, and the hardware's
// own fetching ahead stops at each page's end: asking for the bytes a few
// blocks ahead keeps the checking from waiting on memory.
constexpr std::size_t PREFETCH_AHEAD = 2048;

// The lookup is made once for the whole run of blocks.
void fixed_misses(const unsigned char* bytes, std::size_t blocks, const profile_lanes& lanes,
                  std::uint64_t phase, std::uint64_t record_length, const class_sets& classes,
                  std::uint64_t* misses)
{
    auto lookup = lookup_of(classes);
    for (std::size_t i = 0; i < blocks; i++) {
        __builtin_prefetch(bytes + i * BLOCK_SIZE + PREFETCH_AHEAD);
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
    // Without branches: whether a block holds a record's end is as good
    // as random.
    std::uint64_t none_ended = std::uint64_t{0} - (order == 0);
    carried = count - static_cast<unsigned>(std::bit_width(order)) + (carried & none_ended);
    return true;
}

template <bool gathered>
bool fields_fit(std::uint64_t ends, std::uint64_t delimiters, const std::uint64_t* patterns,
                std::uint64_t& carried)
{
    return fit_fields<gathered>(ends, delimiters, patterns, carried);
}

// The lines of a whole block with no carriage return in it nor just
// before it, as next_lines gives them: no pairs and no lone returns to
// work out, which is most blocks of most files.
__attribute__((always_inline)) inline line_bits plain_lines(const block_masks& masks,
                                                            bool find_quote, line_carry& carry)
{
    std::uint64_t inside = inside_quotes(masks, find_quote, carry);
    std::uint64_t line_ends = masks.line_end & ~inside;
    line_bits lines;
    lines.inside = inside;
    lines.after_line_end = line_ends << 1 | carry.after_line_end;
    lines.after_pair = 0;
    lines.lone_returns = 0;
    lines.starts = lines.after_line_end;
    carry.quote_open = inside >> 63;
    carry.after_line_end = line_ends >> 63;
    return lines;
}

// Whether every record that ends in a block of lines has `fields`
// fields, its delimiters outside quotes given; carried moves on past the
// block when they do.
template <bool gathered>
__attribute__((always_inline)) inline bool
records_fit(std::uint64_t starts, std::uint64_t delimiters, std::uint64_t fields,
            const std::uint64_t* patterns, std::uint64_t& carried)
{
    // A start may share its lane with the next record's delimiter; the
    // byte before it, the line end, never does.
    if (starts & 1) {
        if (carried + 1 != fields)
            return false;
        carried = 0;
        starts &= ~std::uint64_t{1};
    }
    std::uint64_t ends = starts >> 1;
    if (carried >= fields || (ends & delimiters) != 0)
        return false;
    return fit_fields<gathered>(ends, delimiters, patterns, carried);
}

// Searches and passes one block at a time while each record that ends in
// it fits. All that is carried from block to block is held in locals, in
// general registers; where the last record started is worked out once,
// at the end.
template <bool gathered, bool quotes, line_end_rule ends_rule>
__attribute__((noinline)) std::size_t scan_lines_as(const unsigned char* bytes, std::size_t blocks,
                                                    const line_scan_rules& rules,
                                                    line_scan_state& state)
{
    const block_targets targets = rules.targets;
    const bool find_returns = rules.find_carriage_return;
    const std::uint64_t fields = rules.fields;
    const std::uint64_t* const patterns = rules.patterns;
    line_carry carry = state.carry;
    std::uint64_t carried = state.delimiters;
    std::uint64_t records = state.records;
    std::uint64_t last_starts = 0;
    std::size_t last_block = 0;
    std::size_t done = 0;
    for (; done < blocks; done++) {
        block_masks masks;
        __builtin_prefetch(bytes + done * BLOCK_SIZE + PREFETCH_AHEAD);
        find_block(bytes + done * BLOCK_SIZE, targets, masks);
        line_carry next = carry;
        std::uint64_t returns_near =
            masks.carriage_return | carry.after_carriage_return | carry.after_crlf;
        line_bits lines = !find_returns || returns_near == 0
                              ? plain_lines(masks, quotes, next)
                              : next_lines(masks, quotes, true, BLOCK_SIZE, next);
        std::uint64_t starts = lines.starts;
        if ((starts & wrong_line_ends(lines, ends_rule)) != 0)
            break;
        std::uint64_t fitted = carried;
        if (fields > 0 && !records_fit<gathered>(starts, masks.delimiter & ~lines.inside, fields,
                                                 patterns, fitted))
            break;
        carried = fitted;
        carry = next;
        records += ones(starts);
        // Selected, not branched on: a block without a start is common.
        last_block = starts != 0 ? done : last_block;
        last_starts = starts != 0 ? starts : last_starts;
    }
    state.carry = carry;
    state.delimiters = carried;
    state.records = records;
    if (last_starts != 0) {
        state.last_start =
            last_block * BLOCK_SIZE + 63u - static_cast<unsigned>(__builtin_clzll(last_starts));
        state.started = true;
    }
    return done;
}

// The rules read in every block are made constants of the loop.
template <bool gathered, bool quotes>
std::size_t scan_lines_quoted(const unsigned char* bytes, std::size_t blocks,
                              const line_scan_rules& rules, line_scan_state& state)
{
    switch (rules.ends) {
    case line_end_rule::line_end:
        return scan_lines_as<gathered, quotes, line_end_rule::line_end>(bytes, blocks, rules,
                                                                        state);
    case line_end_rule::crlf:
        return scan_lines_as<gathered, quotes, line_end_rule::crlf>(bytes, blocks, rules, state);
    case line_end_rule::carriage_return:
        return scan_lines_as<gathered, quotes, line_end_rule::carriage_return>(bytes, blocks, rules,
                                                                               state);
    default:
        return scan_lines_as<gathered, quotes, line_end_rule::any>(bytes, blocks, rules, state);
    }
}

template <bool gathered>
std::size_t scan_lines(const unsigned char* bytes, std::size_t blocks, const line_scan_rules& rules,
                       line_scan_state& state)
{
    if (rules.find_quote)
        return scan_lines_quoted<gathered, true>(bytes, blocks, rules, state);
    return scan_lines_quoted<gathered, false>(bytes, blocks, rules, state);
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
