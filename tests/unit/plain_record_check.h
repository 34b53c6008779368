// The record check written the slow, obvious way, one byte at a time, for
// the block-wise checker to be compared with (units and the fuzz target).
#ifndef KORVALEN_PLAIN_RECORD_CHECK_H
#define KORVALEN_PLAIN_RECORD_CHECK_H

#include "../../src/survey/base/file_layout.h"
#include "../../src/survey/base/file_sample.h"

// Checks the records of a whole file held in memory.
verify_outcome plain_record_check(byte_span file, const file_layout& layout);

#endif
