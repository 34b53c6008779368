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
//   std::uint64_t either_mask(const unsigned char*, unsigned char, unsigned char);
//                                         // of WIDTH bytes, bit i for byte i
//   void put(unsigned char*, lanes);      // the counters stored as bytes
//   void mark_unlike(unsigned char* marks, const unsigned char*, const unsigned char*);
//                                         // of WIDTH bytes, marks |= first ^ second
//   lanes load_lanes(const unsigned char*); // WIDTH bytes
//   lanes equal_to(lanes, unsigned char); // a mark where a byte is the value,
//                                         // as equal_marks makes them
//   lanes either_of(lanes, lanes);        // marks of both
//   bool any_marked(lanes);
//   std::size_t first_high_of(lanes);     // the first byte from 0x80, WIDTH if none
//   constexpr std::size_t DOUBLES;        // doubles taken at once
//   doubles load_doubles(const double*); void store_doubles(double*, doubles);
//   doubles times(doubles, doubles), plus(...), minus(...); // each rounded alone
//   doubles spread(double);              // one value in every lane
//   unsigned raise_doubles(double* best, doubles); // best raised to each
//                                         // greater lane, bit i where lane i was
//   byte_map map_of(const unsigned char* table); // a table of 256 made ready
//   void map_block(const byte_map&, const unsigned char*, unsigned char*);
//                                         // of WIDTH bytes, each looked up
//   std::uint64_t equal_mask(const unsigned char*, const unsigned char*);
//                                         // of WIDTH bytes, bit i where byte i agrees
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
        std::size_t steps = (count - at) / WIDTH;
        if (steps > STEPS_PER_TOTAL)
            steps = STEPS_PER_TOTAL;
        // Four blocks a turn: the loop's own count and test cost as much
        // as a block's compare.
        std::size_t step = 0;
        for (; step + 4 <= steps; step += 4) {
            counters = add_equal(counters, first + at, second + at);
            counters = add_equal(counters, first + at + WIDTH, second + at + WIDTH);
            counters = add_equal(counters, first + at + 2 * WIDTH, second + at + 2 * WIDTH);
            counters = add_equal(counters, first + at + 3 * WIDTH, second + at + 3 * WIDTH);
            at += 4 * WIDTH;
        }
        for (; step < steps; step++) {
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

// Bit i set where byte i of the eight is first or second.
std::uint64_t word_either_mask(const unsigned char* at, unsigned char first, unsigned char second)
{
    if constexpr (std::endian::native != std::endian::little) {
        std::uint64_t marks = 0;
        for (std::size_t lane = 0; lane < sizeof(std::uint64_t); lane++)
            marks |= std::uint64_t{at[lane] == first || at[lane] == second} << lane;
        return marks;
    }
    constexpr std::uint64_t LOW_BITS = 0x7F7F7F7F7F7F7F7Fu;
    constexpr std::uint64_t EACH_BYTE = 0x0101010101010101u;
    auto zero_bytes = [](std::uint64_t word) {
        return (~(((word & LOW_BITS) + LOW_BITS) | word) & ~LOW_BITS) >> 7;
    };
    std::uint64_t word;
    std::memcpy(&word, at, sizeof word);
    std::uint64_t ones =
        zero_bytes(word ^ (first * EACH_BYTE)) | zero_bytes(word ^ (second * EACH_BYTE));
    // Each lane's 1 carried to bit 56 + lane, no two products meeting.
    return ones * 0x0102040810204080u >> 56;
}

// Fewer bytes than a block: eight at a time in a word, the last word
// read back from the end so that no byte past count is touched.
std::uint64_t either_marks_by_words(const unsigned char* bytes, std::size_t count,
                                    unsigned char first, unsigned char second)
{
    constexpr std::size_t WORD = sizeof(std::uint64_t);
    std::uint64_t marks = 0;
    if (count < WORD) {
        for (std::size_t at = 0; at < count; at++)
            marks |= std::uint64_t{bytes[at] == first || bytes[at] == second} << at;
        return marks;
    }
    std::size_t at = 0;
    for (; at + WORD <= count; at += WORD)
        marks |= word_either_mask(bytes + at, first, second) << at;
    if (at < count)
        marks |= word_either_mask(bytes + count - WORD, first, second) >> (at + WORD - count) << at;
    return marks;
}

std::uint64_t either_marks(const unsigned char* bytes, std::size_t count, unsigned char first,
                           unsigned char second)
{
    constexpr std::size_t MOST = 64;
    std::uint64_t marks = 0;
    // A whole block of text, the most of the calls, in a loop of known
    // length the compiler lays out straight.
    if (count == MOST) {
        for (std::size_t at = 0; at < MOST; at += WIDTH)
            marks |= either_mask(bytes + at, first, second) << at;
        return marks;
    }
    if (count < WIDTH)
        return either_marks_by_words(bytes, count, first, second);
    std::size_t at = 0;
    for (; at + WIDTH <= count; at += WIDTH)
        marks |= either_mask(bytes + at, first, second) << at;
    // The last block read back from the end, its marks of bytes already
    // seen shifted out.
    if (at < count)
        marks |= either_mask(bytes + count - WIDTH, first, second) >> (at + WIDTH - count) << at;
    return marks;
}

// Equal bytes have equal classes: their pair counts both.
void agree_pairs(const unsigned char* first, const unsigned char* second,
                 const unsigned char* first_classes, const unsigned char* second_classes,
                 std::size_t count, unsigned char* agree)
{
    std::size_t at = 0;
    for (; at + WIDTH <= count; at += WIDTH)
        put(agree + at, add_equal(add_equal(zero(), first + at, second + at), first_classes + at,
                                  second_classes + at));
    for (; at < count; at++)
        agree[at] = static_cast<unsigned char>((first[at] == second[at]) +
                                               (first_classes[at] == second_classes[at]));
}

void mark_differences(const unsigned char* first, const unsigned char* second, std::size_t count,
                      unsigned char* marks)
{
    std::size_t at = 0;
    for (; at + WIDTH <= count; at += WIDTH)
        mark_unlike(marks + at, first + at, second + at);
    // Records shorter than a block are common: what is left goes a word
    // at a time.
    constexpr std::size_t WORD = sizeof(std::uint64_t);
    for (; at + WORD <= count; at += WORD) {
        std::uint64_t one, other, marked;
        std::memcpy(&one, first + at, WORD);
        std::memcpy(&other, second + at, WORD);
        std::memcpy(&marked, marks + at, WORD);
        marked |= one ^ other;
        std::memcpy(marks + at, &marked, WORD);
    }
    for (; at < count; at++)
        marks[at] |= static_cast<unsigned char>(first[at] ^ second[at]);
}

void butterflies(double* even_real, double* even_imag, double* odd_real, double* odd_imag,
                 const double* turn_real, const double* turn_imag, std::size_t count)
{
    std::size_t k = 0;
    for (; k + DOUBLES <= count; k += DOUBLES) {
        doubles real = load_doubles(odd_real + k), imag = load_doubles(odd_imag + k);
        doubles by_real = load_doubles(turn_real + k), by_imag = load_doubles(turn_imag + k);
        doubles turned_real = minus(times(real, by_real), times(imag, by_imag));
        doubles turned_imag = plus(times(real, by_imag), times(imag, by_real));
        doubles was_real = load_doubles(even_real + k), was_imag = load_doubles(even_imag + k);
        store_doubles(even_real + k, plus(was_real, turned_real));
        store_doubles(even_imag + k, plus(was_imag, turned_imag));
        store_doubles(odd_real + k, minus(was_real, turned_real));
        store_doubles(odd_imag + k, minus(was_imag, turned_imag));
    }
    for (; k < count; k++) {
        double turned_real = odd_real[k] * turn_real[k] - odd_imag[k] * turn_imag[k];
        double turned_imag = odd_real[k] * turn_imag[k] + odd_imag[k] * turn_real[k];
        double was_real = even_real[k];
        double was_imag = even_imag[k];
        even_real[k] = was_real + turned_real;
        even_imag[k] = was_imag + turned_imag;
        odd_real[k] = was_real - turned_real;
        odd_imag[k] = was_imag - turned_imag;
    }
}

void fourier_pass(double* real, double* imag, std::size_t size, std::size_t half,
                  const double* turn_real, const double* turn_imag)
{
    for (std::size_t block = 0; block + 2 * half <= size; block += 2 * half)
        butterflies(real + block, imag + block, real + block + half, imag + block + half, turn_real,
                    turn_imag, half);
}

// The byte values held_bytes looks for at once.
constexpr std::size_t HELD_VALUES = 4;

// Whether any of the eight bytes is the value: the word XORs to a zero
// byte there.
bool word_holds(std::uint64_t word, unsigned char value)
{
    constexpr std::uint64_t LOW_BITS = 0x7F7F7F7F7F7F7F7Fu;
    std::uint64_t differ = word ^ (value * 0x0101010101010101u);
    return (~(((differ & LOW_BITS) + LOW_BITS) | differ) & ~LOW_BITS) != 0;
}

// Fewer bytes than a block, the most of a short line's: a word at a time,
// the last read back from the end.
unsigned held_bytes_by_words(const unsigned char* bytes, std::size_t count,
                             const unsigned char* values)
{
    constexpr std::size_t WORD = sizeof(std::uint64_t);
    unsigned held = 0;
    if (count < WORD) {
        for (std::size_t at = 0; at < count; at++) {
            for (std::size_t k = 0; k < HELD_VALUES; k++)
                held |= bytes[at] == values[k] ? 1u << k : 0u;
        }
        return held;
    }
    for (std::size_t at = 0; at < count; at += WORD) {
        std::uint64_t word;
        std::memcpy(&word, bytes + std::min(at, count - WORD), WORD);
        for (std::size_t k = 0; k < HELD_VALUES; k++)
            held |= word_holds(word, values[k]) ? 1u << k : 0u;
    }
    return held;
}

// Whether a byte occurs at all does not depend on how often it is seen:
// a last part block is read back from the end, its bytes seen twice.
unsigned held_bytes(const unsigned char* bytes, std::size_t count, const unsigned char* values)
{
    if (count < WIDTH)
        return held_bytes_by_words(bytes, count, values);
    // The four written out, not in a loop over an array: each mark stays
    // in a register, each value's copies made once.
    const unsigned char first = values[0], second = values[1], third = values[2],
                        fourth = values[3];
    lanes seen_first = zero(), seen_second = zero(), seen_third = zero(), seen_fourth = zero();
    auto look = [&](const unsigned char* at) {
        lanes block = load_lanes(at);
        seen_first = either_of(seen_first, equal_to(block, first));
        seen_second = either_of(seen_second, equal_to(block, second));
        seen_third = either_of(seen_third, equal_to(block, third));
        seen_fourth = either_of(seen_fourth, equal_to(block, fourth));
    };
    std::size_t at = 0;
    for (; at + WIDTH <= count; at += WIDTH)
        look(bytes + at);
    if (at < count)
        look(bytes + count - WIDTH);
    return (any_marked(seen_first) ? 1u : 0u) | (any_marked(seen_second) ? 2u : 0u) |
           (any_marked(seen_third) ? 4u : 0u) | (any_marked(seen_fourth) ? 8u : 0u);
}

// A record's tail past its last block goes a word at a time: a byte's
// mark is 1 in its own counter, whichever order the word's bytes are in,
// and no counter at 255 takes one (the caller's promise), so no carry
// crosses into the next.
void tally_either(const unsigned char* bytes, std::size_t count, unsigned char first,
                  unsigned char second, unsigned char* tallies)
{
    std::size_t at = 0;
    for (; at + WIDTH <= count; at += WIDTH) {
        lanes block = load_lanes(bytes + at);
        add_marks(tallies + at, either_of(equal_to(block, first), equal_to(block, second)));
    }
    constexpr std::size_t WORD = sizeof(std::uint64_t);
    constexpr std::uint64_t LOW_BITS = 0x7F7F7F7F7F7F7F7Fu;
    constexpr std::uint64_t EACH_BYTE = 0x0101010101010101u;
    auto zero_bytes = [](std::uint64_t word) {
        return (~(((word & LOW_BITS) + LOW_BITS) | word) & ~LOW_BITS) >> 7;
    };
    for (; at + WORD <= count; at += WORD) {
        std::uint64_t word, counters;
        std::memcpy(&word, bytes + at, WORD);
        std::memcpy(&counters, tallies + at, WORD);
        counters +=
            zero_bytes(word ^ (first * EACH_BYTE)) | zero_bytes(word ^ (second * EACH_BYTE));
        std::memcpy(tallies + at, &counters, WORD);
    }
    for (; at < count; at++)
        tallies[at] += bytes[at] == first || bytes[at] == second;
}

// Text is mostly ASCII throughout: two blocks a turn are asked at once,
// and only the pair holding a high byte is looked into.
std::size_t first_high(const unsigned char* bytes, std::size_t count)
{
    std::size_t at = 0;
    for (; at + 2 * WIDTH <= count; at += 2 * WIDTH) {
        if (first_high_of(either_of(load_lanes(bytes + at), load_lanes(bytes + at + WIDTH))) <
            WIDTH)
            break;
    }
    for (; at + WIDTH <= count; at += WIDTH) {
        std::size_t found = first_high_of(load_lanes(bytes + at));
        if (found < WIDTH)
            return at + found;
    }
    for (; at < count; at++) {
        if (bytes[at] >= 0x80)
            return at;
    }
    return count;
}

// A sum seldom beats the best so far once past the first few: the
// places raised are set one by one.
void raise_best(const double* sums, std::size_t count, double offset, double less, double* best,
                std::uint64_t* best_at, std::uint64_t first_at)
{
    doubles offsets = spread(offset), lessers = spread(less);
    std::size_t at = 0;
    for (; at + DOUBLES <= count; at += DOUBLES) {
        doubles weighed = minus(plus(load_doubles(sums + at), offsets), lessers);
        for (unsigned raised = raise_doubles(best + at, weighed); raised != 0;
             raised &= raised - 1) {
            std::size_t lane = at + static_cast<std::size_t>(std::countr_zero(raised));
            best_at[lane] = first_at + lane;
        }
    }
    for (; at < count; at++) {
        double weighed = sums[at] + offset - less;
        if (weighed > best[at]) {
            best[at] = weighed;
            best_at[at] = first_at + at;
        }
    }
}

void map_bytes(const unsigned char* bytes, std::size_t count, const unsigned char* table,
               unsigned char* out)
{
    const byte_map map = map_of(table);
    std::size_t at = 0;
    for (; at + WIDTH <= count; at += WIDTH)
        map_block(map, bytes + at, out + at);
    for (; at < count; at++)
        out[at] = table[bytes[at]];
}

// The pairs asked about are picked out of a block's marks by a comb of
// bits a stride apart, its first tooth moved on from block to block.
std::uint64_t spaced_changes(const unsigned char* bytes, std::size_t count, std::size_t stride)
{
    std::uint64_t comb = 0;
    for (std::size_t bit = 0; bit < 64; bit += stride)
        comb |= std::uint64_t{1} << bit;
    constexpr std::uint64_t BLOCK =
        WIDTH < 64 ? (std::uint64_t{1} << (WIDTH & 63)) - 1 : ~std::uint64_t{0};
    const std::size_t lag = WIDTH % stride;
    std::uint64_t changes = 0;
    // first: where the first pair asked about lies in the block from at.
    std::size_t at = 1, first = 0;
    for (; at + WIDTH <= count; at += WIDTH) {
        std::uint64_t asked = comb << first & BLOCK;
        changes += static_cast<std::uint64_t>(
            std::popcount(asked & ~equal_mask(bytes + at, bytes + at - 1)));
        first = first >= lag ? first - lag : first + stride - lag;
    }
    for (at += first; at < count; at += stride)
        changes += bytes[at] != bytes[at - 1];
    return changes;
}

// The table is made ready once for all the records: it costs as much as
// a few blocks looked up.
void and_mapped(const unsigned char* bytes, std::uint64_t records, std::size_t length,
                const unsigned char* table, const unsigned char* taken, unsigned char* kinds)
{
    const byte_map map = map_of(table);
    unsigned char mapped[WIDTH];
    for (std::uint64_t record = 0; record < records; record++, bytes += length) {
        std::size_t at = 0;
        for (; at + WIDTH <= length; at += WIDTH) {
            map_block(map, bytes + at, mapped);
            lanes dropped = marks_unless(load_lanes(taken + at), load_lanes(mapped));
            put(kinds + at, marks_unless(load_lanes(kinds + at), dropped));
        }
        for (; at < length; at++)
            kinds[at] &= static_cast<unsigned char>(~taken[at] | table[bytes[at]]);
    }
}

// A long run marked in one call, not a call per block: its blocks are
// as many as a sample has, and each call's setting up costs as much as
// marking one.
void either_words(const unsigned char* bytes, std::size_t count, unsigned char first,
                  unsigned char second, std::uint64_t* words)
{
    constexpr std::size_t MOST = 64;
    std::size_t at = 0;
    for (; at + MOST <= count; at += MOST) {
        std::uint64_t marks = 0;
        for (std::size_t lane = 0; lane < MOST; lane += WIDTH)
            marks |= either_mask(bytes + at + lane, first, second) << lane;
        *words++ = marks;
    }
    if (at < count)
        *words = either_marks(bytes + at, count - at, first, second);
}

byte_kernels kernels_of(const char* name)
{
    return {name,         count_equal,    next_line_end,    tally_pairs,
            either_marks, agree_pairs,    mark_differences, fourier_pass,
            held_bytes,   tally_either,   first_high,       raise_best,
            map_bytes,    spaced_changes, and_mapped,       either_words};
}
