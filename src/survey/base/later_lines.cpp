#include "later_lines.h"

#include <algorithm>

std::vector<std::vector<line_span>> later_lines(const file_sample& sample,
                                                std::size_t byte_order_mark,
                                                line_terminator terminator, text_encoding encoding)
{
    std::vector<std::vector<line_span>> lines;
    std::uint64_t unit =
        encoding == text_encoding::utf16le || encoding == text_encoding::utf16be ? 2 : 1;
    for (const sample_piece& piece : sample.later) {
        // A UTF-16 piece must start on a unit boundary.
        std::size_t skip = (piece.offset - byte_order_mark) % unit;
        bool ends_file = sample.file_size && piece.offset + piece.bytes.size() == *sample.file_size;
        lines.push_back(split_lines(piece.bytes.subspan(std::min(skip, piece.bytes.size())),
                                    piece.offset + skip, terminator, encoding, false, ends_file));
    }
    return lines;
}
