// Byte classes, as bits, so that a set of classes fits in one byte: what a
// column of records holds (digits, letters, blanks...) is compared as sets.
#ifndef KORVALEN_BYTE_CLASS_H
#define KORVALEN_BYTE_CLASS_H

#include "file_layout.h"

#include <array>
#include <cstdint>

constexpr std::uint8_t BYTE_NUL = 1 << 0;
constexpr std::uint8_t BYTE_CONTROL = 1 << 1;
constexpr std::uint8_t BYTE_BLANK = 1 << 2; // space and tab
constexpr std::uint8_t BYTE_DIGIT = 1 << 3;
constexpr std::uint8_t BYTE_UPPER = 1 << 4;
constexpr std::uint8_t BYTE_LOWER = 1 << 5;
constexpr std::uint8_t BYTE_PUNCTUATION = 1 << 6;
constexpr std::uint8_t BYTE_OTHER = 1 << 7; // outside the encoding's basic letters

using byte_class_table = std::array<std::uint8_t, 256>;

// The class of every byte value as text in encoding reads it; EBCDIC has
// its digits and letters elsewhere than ASCII and its relatives.
const byte_class_table& byte_classes_of(text_encoding encoding);

#endif
