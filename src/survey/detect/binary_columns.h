// The fields of binary records of one length that no format describes, as
// a mainframe export without its copybook has them: zoned and packed
// decimal, binary integers, text in the records' code, and filler, each
// told from the bytes every record of the sample holds at its offsets.
#ifndef KORVALEN_BINARY_COLUMNS_H
#define KORVALEN_BINARY_COLUMNS_H

#include "../base/file_layout.h"
#include "../base/file_sample.h"
#include "detect_step.h"

#include <vector>

struct binary_column {
    column_span span;
    binary_field field;
    // Every form weighed on the column's bytes, scored by the share of
    // records whose bytes there have it.
    std::vector<scored<binary_form>> candidates;
};

struct binary_columns_choice {
    // Every offset of the record in one column, in order; empty when the
    // records are too few to tell, or no column has a form but bytes.
    std::vector<binary_column> choice;
};

// Whether text in records reads better as EBCDIC or as ASCII: the code
// in which more offsets hold text in every record, letters among it.
text_encoding text_code_of(const std::vector<byte_span>& records);

// records are all of one length. code is the one text columns are read in;
// zoned decimal is looked for only in EBCDIC.
binary_columns_choice find_binary_columns(const std::vector<byte_span>& records,
                                          text_encoding code);

// Fills layout.described_columns for binary or EBCDIC records of one length
// that no known format describes; false, leaving it alone, for any other
// layout.
bool describe_binary_columns(const file_sample& sample, file_layout& layout);

#endif
