// Records of several types: message and interchange formats (HL7 v2, X12,
// EDIFACT, a mainframe file's header, detail and trailer records) start
// every record with its type's tag and give each type fields of its own,
// so no byte splits every record into as many fields. What they share is
// the byte right after the tag: that is their delimiter.
#ifndef KORVALEN_RECORD_TYPES_H
#define KORVALEN_RECORD_TYPES_H

#include "../base/file_layout.h"
#include "detect_step.h"

#include <optional>
#include <string_view>
#include <vector>

// Separators a format states at its own start: X12's interchange header
// (ISA, 106 bytes: element separator at byte 3, segment terminator at byte
// 105), EDIFACT's service string advice (UNA: data element separator at
// byte 4, release character at 6, segment terminator at 8) and HL7's
// message, file and batch headers (MSH, FHS, BHS: field separator at byte
// 3), and FIX's BeginString (8=FIX.4.4 or 8=FIXT.1.1: the field
// separator, SOH in the standard, right after it).
struct stated_separators {
    std::optional<unsigned char> delimiter;
    std::optional<unsigned char> terminator;
    // The byte that makes the next one data (EDIFACT's ?).
    std::optional<unsigned char> release;
    // The field that names a record's type when it is not the first, as
    // "35=" (FIX's MsgType): the tag is that field, key and value.
    std::string_view type_field;
};

stated_separators read_stated_separators(std::string_view text);

struct record_types_choice {
    // Every byte that follows a tag, scored by the share of records in
    // which it does.
    std::vector<scored<unsigned char>> candidates;
    bool found = false;
    unsigned char delimiter = 0;
    std::optional<unsigned char> release;
    // In the order each type first appears.
    std::vector<record_type> types;
};

record_types_choice find_record_types(const std::vector<std::string_view>& records,
                                      const stated_separators& stated, bool last_cut = false);

// Records of one length and several types told by a digit in their first
// column, with no delimiter after it (a bank's file header, batch, entry
// and control records): each type lines its kinds of byte up in columns
// of its own, and the types differ in them. Found only when the records of
// each type keep to their columns and the types do not share them.
struct positional_types_choice {
    bool found = false;
    std::uint32_t tag_width = 0;
    // Of the commonest type and the type most unlike it: the share of
    // columns whose usual kind of byte differs.
    double difference = 0;
    std::vector<record_type> types;
};

positional_types_choice find_positional_types(const std::vector<std::string_view>& records);

// For text without line ends: the byte that ends each segment, which a tag
// follows. Scored by the segments it gives that start with a tag. Text of
// as many lines as records would need has its records in them, unless the
// format states a terminator of its own.
struct segment_terminator_choice {
    std::vector<scored<unsigned char>> candidates;
    std::optional<unsigned char> choice;
};

segment_terminator_choice
find_segment_terminator(std::string_view text, const stated_separators& stated, std::size_t lines);

// The pieces of text between terminators, line ends around them left out,
// empty pieces dropped; the last, unended, only when at_end. A terminator
// after the release byte is data (EDIFACT's O?'BRIEN).
std::vector<std::string_view> split_segments(std::string_view text, unsigned char terminator,
                                             bool at_end,
                                             std::optional<unsigned char> release = std::nullopt);

// The line end written after nearly every segment for the reader's eye,
// a mix where they differ, or none.
line_terminator line_end_after_segments(std::string_view text, unsigned char terminator,
                                        std::optional<unsigned char> release);

// Where the last segment's terminator stands, a released one no end; npos
// when none does.
std::size_t last_segment_end(std::string_view text, unsigned char terminator,
                             std::optional<unsigned char> release);

#endif
