#include "known_formats.h"

#include "counted_directory.h"

#include <algorithm>
#include <bit>
#include <cctype>
#include <cstring>
#include <string_view>

namespace
{

// NIfTI's dim[0] counts at most seven dimensions (nifti1.h); rows past
// 2^40 would be a file of more than a terabyte of rows, and capping the
// product there keeps it from wrapping whatever the extents.
constexpr std::uint64_t NIFTI_MOST_DIMENSIONS = 7;
constexpr std::uint64_t NIFTI_MOST_ROWS = std::uint64_t{1} << 40;

// A Level 5 MAT-file's array has at most this many dimensions here: more
// is no numeric matrix a header of a few hundred bytes describes. Its
// header is 128 bytes, the byte order mark ("IM" or "MI") its last two;
// numeric arrays are of classes 6 (double) to 15 (uint64); the other
// numbers are data types and flags the format names (miMATRIX,
// miUINT32 for the flags, miINT32 for the dimensions, the complex flag).
constexpr std::uint64_t MAT_MOST_DIMENSIONS = 16;
constexpr std::uint64_t MAT_TEXT_AT = 0;
constexpr std::string_view MAT_TEXT = "MATLAB 5.0 MAT-file";
constexpr std::uint64_t MAT_HEADER_BYTES = 128;
constexpr std::uint64_t MAT_BYTE_ORDER_AT = 126;
constexpr std::uint32_t MAT_FIRST_NUMERIC_CLASS = 6, MAT_LAST_NUMERIC_CLASS = 15;
constexpr std::uint32_t MAT_MATRIX = 14, MAT_FLAGS = 6, MAT_DIMENSIONS = 5, MAT_COMPLEX = 0x0800;

struct header_reader {
    byte_span bytes;

    bool has(std::uint64_t offset, std::uint64_t count) const
    {
        return offset + count <= bytes.size();
    }

    std::uint32_t le16(std::uint64_t offset) const
    {
        return bytes[offset] | bytes[offset + 1] << 8;
    }

    std::uint32_t le32(std::uint64_t offset) const
    {
        return le16(offset) | static_cast<std::uint32_t>(le16(offset + 2)) << 16;
    }

    std::uint32_t be16(std::uint64_t offset) const
    {
        return bytes[offset] << 8 | bytes[offset + 1];
    }

    std::uint32_t be32(std::uint64_t offset) const
    {
        return static_cast<std::uint32_t>(be16(offset)) << 16 | be16(offset + 2);
    }

    bool holds(std::uint64_t offset, std::string_view text) const
    {
        return has(offset, text.size()) &&
               std::memcmp(bytes.data() + offset, text.data(), text.size()) == 0;
    }
};

std::optional<stated_layout> records_to_end(const char* name, std::uint64_t header,
                                            std::uint64_t length, std::uint64_t size)
{
    if (length == 0 || header > size || (size - header) / length == 0)
        return std::nullopt;
    std::uint64_t records = (size - header) / length;
    return stated_layout{name, header, length, records, size - header - records * length};
}

// dBASE III and its relatives (FoxPro, Visual FoxPro, Clipper): the table
// file's header gives the record count, the header length and the record
// length; field descriptors of 32 bytes follow, ended by 0x0D; an end-of-
// file byte 0x1A may follow the records.
std::optional<stated_layout> read_dbase(const header_reader& in, std::uint64_t size)
{
    static const unsigned char versions[] = {0x02, 0x03, 0x04, 0x05, 0x30, 0x31, 0x32, 0x43,
                                             0x63, 0x83, 0x8B, 0x8E, 0xCB, 0xE5, 0xF5, 0xFB};
    if (!in.has(0, 32) || std::memchr(versions, in.bytes[0], sizeof versions) == nullptr)
        return std::nullopt;
    unsigned month = in.bytes[2], day = in.bytes[3];
    std::uint64_t records = in.le32(4), header = in.le16(8), length = in.le16(10);
    if (month < 1 || month > 12 || day < 1 || day > 31 || header < 33 || length < 2)
        return std::nullopt;
    std::uint64_t end = header + records * length;
    if (end > size || size - end >= length)
        return std::nullopt;
    // The descriptors end with 0x0D at a multiple of 32 within the header;
    // each gives its field's length at byte 16, behind the record's first
    // byte, the deletion mark.
    std::vector<column_span> columns;
    std::uint64_t field_start = 1;
    bool terminated = false;
    for (std::uint64_t at = 32; at < header && in.has(at, 1); at += 32) {
        if (in.bytes[at] == 0x0D) {
            terminated = true;
            break;
        }
        if (!in.has(at + 16, 1))
            break;
        std::uint64_t field_end = field_start + in.bytes[at + 16];
        columns.push_back(
            {static_cast<std::uint32_t>(field_start), static_cast<std::uint32_t>(field_end)});
        field_start = field_end;
    }
    if (!terminated)
        return std::nullopt;
    // Descriptors that do not add up to the record (dBASE 7 and others lay
    // them out otherwise) describe no columns.
    if (field_start != length)
        columns.clear();
    return stated_layout{"dBASE table", header, length, records, size - end, false, columns, true};
}

// A frame is the block align the fmt chunk states. Some writers leave it
// unset (0); for samples in whole bytes the format's document fixes it as
// the channels times the bytes a sample takes.
std::uint64_t wave_frame(std::uint16_t format, std::uint16_t channels, std::uint16_t align,
                         std::uint16_t bits)
{
    constexpr std::uint16_t PCM = 1, FLOAT = 3, EXTENSIBLE = 0xFFFE;
    if (align != 0 || !(format == PCM || format == FLOAT || format == EXTENSIBLE))
        return align;
    return std::uint64_t{channels} * ((std::uint64_t{bits} + 7) / 8);
}

// RIFF WAVE audio: the "fmt " chunk's block align is the size of one frame
// of samples; the "data" chunk holds the frames.
std::optional<stated_layout> read_wave(const header_reader& in, std::uint64_t size)
{
    // RIFX is the same with its numbers big-endian.
    bool big = in.holds(0, "RIFX");
    if (!(in.holds(0, "RIFF") || big) || !in.holds(8, "WAVE"))
        return std::nullopt;
    auto u16 = [&](std::uint64_t at) { return big ? in.be16(at) : in.le16(at); };
    auto u32 = [&](std::uint64_t at) { return big ? in.be32(at) : in.le32(at); };
    std::uint64_t frame = 0;
    for (std::uint64_t chunk = 12; in.has(chunk, 8);) {
        std::uint64_t chunk_size = u32(chunk + 4);
        if (in.holds(chunk, "fmt ") && chunk_size >= 16 && in.has(chunk + 8, 16))
            frame = wave_frame(u16(chunk + 8), u16(chunk + 8 + 2), u16(chunk + 8 + 12),
                               u16(chunk + 8 + 14));
        if (in.holds(chunk, "data")) {
            std::uint64_t header = chunk + 8;
            if (frame == 0 || header > size)
                return std::nullopt;
            // A writer that streamed the data may leave the size unset.
            std::uint64_t data =
                chunk_size == 0 || chunk_size == 0xFFFFFFFF || header + chunk_size > size
                    ? size - header
                    : chunk_size;
            std::uint64_t records = data / frame;
            if (records == 0)
                return std::nullopt;
            return stated_layout{"WAVE audio", header, frame, records,
                                 size - header - records * frame};
        }
        chunk += 8 + chunk_size + (chunk_size & 1);
    }
    return std::nullopt;
}

// Sun/NeXT audio: the header gives the data offset, the sample encoding and
// the channels; a frame is one sample of every channel.
std::optional<stated_layout> read_sun_audio(const header_reader& in, std::uint64_t size)
{
    if (!in.holds(0, ".snd") || !in.has(0, 24))
        return std::nullopt;
    std::uint64_t header = in.be32(4), data = in.be32(8);
    std::uint32_t encoding = in.be32(12), channels = in.be32(20);
    static const struct {
        std::uint32_t encoding;
        std::uint32_t bytes;
    } widths[] = {{1, 1}, {2, 1}, {3, 2}, {4, 3}, {5, 4}, {6, 4}, {7, 8}, {27, 1}};
    std::uint32_t width = 0;
    for (auto each : widths) {
        if (each.encoding == encoding)
            width = each.bytes;
    }
    if (width == 0 || channels == 0 || channels > 64 || header < 24 || header > size)
        return std::nullopt;
    std::uint64_t frame = std::uint64_t{width} * channels;
    if (data == 0xFFFFFFFF || header + data > size)
        data = size - header;
    std::uint64_t records = data / frame;
    if (records == 0)
        return std::nullopt;
    return stated_layout{"Sun audio", header, frame, records, size - header - records * frame};
}

// PC Screen Font, versions 1 and 2: a header, the glyph bitmaps of one size,
// then the Unicode table when the font has one.
std::optional<stated_layout> read_psf(const header_reader& in, std::uint64_t size)
{
    if (in.has(0, 4) && in.bytes[0] == 0x36 && in.bytes[1] == 0x04) {
        std::uint64_t glyphs = in.bytes[2] & 1 ? 512 : 256, length = in.bytes[3];
        if (length == 0 || 4 + glyphs * length > size)
            return std::nullopt;
        return stated_layout{"PC screen font", 4, length, glyphs, size - 4 - glyphs * length};
    }
    if (in.has(0, 32) && in.be32(0) == 0x72B54A86) {
        std::uint64_t header = in.le32(8), glyphs = in.le32(16), length = in.le32(20);
        std::uint64_t height = in.le32(24), width = in.le32(28);
        if (in.le32(4) != 0 || length == 0 || length != height * ((width + 7) / 8) || glyphs == 0 ||
            header > size || glyphs > (size - header) / length)
            return std::nullopt;
        return stated_layout{"PC screen font", header, length, glyphs,
                             size - header - glyphs * length};
    }
    return std::nullopt;
}

// Audio Interchange File Format (AIFF, AIFF-C): the COMM chunk gives the
// channels, frames and sample size, the SSND chunk the sound data after an
// offset of its own.
std::uint64_t aiff_sample_bytes(const header_reader& in, std::uint64_t comm, bool compressed,
                                std::uint64_t bits)
{
    if (!compressed || !in.has(comm + 8 + 18, 4) || in.holds(comm + 8 + 18, "NONE") ||
        in.holds(comm + 8 + 18, "twos") || in.holds(comm + 8 + 18, "sowt"))
        return (bits + 7) / 8;
    static const struct {
        const char* type;
        std::uint64_t bytes;
    } types[] = {{"alaw", 1}, {"ulaw", 1}, {"ALAW", 1}, {"ULAW", 1}, {"fl32", 4},
                 {"FL32", 4}, {"fl64", 8}, {"FL64", 8}, {"in24", 3}, {"in32", 4}};
    for (auto each : types) {
        if (in.holds(comm + 8 + 18, each.type))
            return each.bytes;
    }
    return 0;
}

std::optional<stated_layout> read_aiff(const header_reader& in, std::uint64_t size)
{
    if (!in.holds(0, "FORM") || !(in.holds(8, "AIFF") || in.holds(8, "AIFC")))
        return std::nullopt;
    bool compressed = in.holds(8, "AIFC");
    std::uint64_t frame = 0, frames = 0;
    for (std::uint64_t chunk = 12; in.has(chunk, 8);) {
        std::uint64_t chunk_size = in.be32(chunk + 4);
        if (in.holds(chunk, "COMM") && in.has(chunk + 8, 8)) {
            std::uint64_t channels = in.be16(chunk + 8);
            frames = in.be32(chunk + 10);
            frame = channels * aiff_sample_bytes(in, chunk, compressed, in.be16(chunk + 14));
        }
        if (in.holds(chunk, "SSND") && in.has(chunk + 8, 8)) {
            std::uint64_t header = chunk + 16 + in.be32(chunk + 8);
            if (frame == 0 || header + frames * frame > size || frames == 0)
                return std::nullopt;
            return stated_layout{"AIFF audio", header, frame, frames,
                                 size - header - frames * frame};
        }
        chunk += 8 + chunk_size + (chunk_size & 1);
    }
    return std::nullopt;
}

std::optional<stated_layout> image_rows(const char* name, std::uint64_t header, std::uint64_t row,
                                        std::uint64_t rows, std::uint64_t size)
{
    // Divided, not multiplied: a header's extents may be any 32 or 64-bit
    // numbers, and their product must not wrap.
    if (row == 0 || rows == 0 || header > size || rows > (size - header) / row)
        return std::nullopt;
    return stated_layout{name, header, row, rows, size - header - rows * row};
}

// GIMP patterns and brushes (GIMP's devel-docs, pat.txt and gbr.txt):
// a header whose first word is its own length, then the version, width,
// height and bytes a pixel, the magic "GPAT" (or "GIMP" and the spacing
// of a version 2 brush) and the name; uncompressed rows follow, one a
// record.
std::optional<stated_layout> read_gimp_pixels(const header_reader& in, std::uint64_t size)
{
    constexpr std::uint64_t PATTERN_HEADER = 24, BRUSH_HEADER = 28;
    bool pattern = in.holds(20, "GPAT"), brush = in.holds(20, "GIMP");
    if (!pattern && !brush)
        return std::nullopt;
    std::uint64_t header = in.be32(0), version = in.be32(4), bytes = in.be32(16);
    std::uint64_t least = pattern ? PATTERN_HEADER : BRUSH_HEADER;
    if (header <= least || (pattern ? version != 1 : version != 2) || bytes == 0 || bytes > 4)
        return std::nullopt;
    std::optional<stated_layout> stated = image_rows(pattern ? "GIMP pattern" : "GIMP brush",
                                                     header, in.be32(8) * bytes, in.be32(12), size);
    if (stated && stated->trailer == 0 && bytes > 1)
        stated->element = bytes;
    return stated && stated->trailer == 0 ? stated : std::nullopt;
}

// Windows and OS/2 bitmaps: uncompressed rows, each padded to four bytes,
// start where the file header says.
std::optional<stated_layout> read_bmp(const header_reader& in, std::uint64_t size)
{
    if (!in.holds(0, "BM") || !in.has(0, 30))
        return std::nullopt;
    std::uint64_t header = in.le32(10), info = in.le32(14);
    std::uint64_t width, height, bits;
    if (info == 12) {
        width = in.le16(18);
        height = in.le16(20);
        bits = in.le16(24);
    } else if (info >= 40 && in.has(0, 34)) {
        width = in.le32(18);
        auto signed_height = static_cast<std::int32_t>(in.le32(22));
        height = static_cast<std::uint64_t>(signed_height < 0 ? -std::int64_t{signed_height}
                                                              : std::int64_t{signed_height});
        bits = in.le16(28);
        std::uint32_t compression = in.le32(30);
        if (compression != 0 && compression != 3)
            return stated_layout{"bitmap image", header, 0, 0, 0, true};
    } else {
        return std::nullopt;
    }
    return image_rows("bitmap image", header, (width * bits + 31) / 32 * 4, height, size);
}

// A Windows icon or cursor of one image stored as a bitmap: the directory,
// its one entry and the bitmap's header (its height counting the mask's
// rows too) and colours lead the colour rows; the 1-bit mask after them
// is the trailer. Images stored as PNG, and files of several images, are
// left to the survey.
std::optional<stated_layout> read_icon(const header_reader& in, std::uint64_t size)
{
    constexpr std::uint64_t DIRECTORY = 6 + 16, INFO = 40;
    if (!in.has(0, DIRECTORY) || in.le16(0) != 0 || (in.le16(2) != 1 && in.le16(2) != 2) ||
        in.le16(4) != 1)
        return std::nullopt;
    std::uint64_t bytes = in.le32(6 + 8), image = in.le32(6 + 12);
    if (image < DIRECTORY || image > size || bytes > size - image || !in.has(image, INFO) ||
        in.le32(image) != INFO || in.le32(image + 16) != 0)
        return std::nullopt;
    std::uint64_t width = in.le32(image + 4), height = in.le32(image + 8) / 2;
    std::uint64_t bits = in.le16(image + 14), used = in.le32(image + 32);
    // The entry's width and height are a byte each, 0 for 256.
    if (in.bytes[6] != (width & 0xFF) || in.bytes[7] != (height & 0xFF) || bits == 0 || bits > 32)
        return std::nullopt;
    std::uint64_t colours = bits <= 8 ? (used != 0 ? used : std::uint64_t{1} << bits) : 0;
    std::uint64_t header = INFO + 4 * colours, row = (width * bits + 31) / 32 * 4;
    // The colour rows lie inside the image the entry sizes.
    if (row == 0 || header > bytes || height > (bytes - header) / row)
        return std::nullopt;
    return image_rows(in.le16(2) == 1 ? "Windows icon" : "Windows cursor", image + header, row,
                      height, size);
}

// Netpbm's binary bitmaps, greymaps and pixmaps: a text header of magic,
// width, height and (but for bitmaps) the largest value, then the rows.
std::optional<stated_layout> read_netpbm(const header_reader& in, std::uint64_t size)
{
    if (!in.has(0, 3) || in.bytes[0] != 'P' || in.bytes[1] < '4' || in.bytes[1] > '6')
        return std::nullopt;
    char kind = static_cast<char>(in.bytes[1]);
    std::uint64_t values[3] = {0, 0, 0};
    int wanted = kind == '4' ? 2 : 3;
    std::uint64_t at = 2;
    for (int value = 0; value < wanted; value++) {
        while (in.has(at, 1) && (std::isspace(in.bytes[at]) || in.bytes[at] == '#')) {
            if (in.bytes[at] == '#') {
                while (in.has(at, 1) && in.bytes[at] != '\n')
                    at++;
            } else {
                at++;
            }
        }
        if (!in.has(at, 1) || !std::isdigit(in.bytes[at]))
            return std::nullopt;
        while (in.has(at, 1) && std::isdigit(in.bytes[at]) && values[value] < 100000000)
            values[value] = values[value] * 10 + (in.bytes[at++] - '0');
    }
    if (!in.has(at, 1) || !std::isspace(in.bytes[at]))
        return std::nullopt;
    std::uint64_t header = at + 1, width = values[0], height = values[1];
    std::uint64_t sample = values[2] > 255 ? 2 : 1;
    std::uint64_t row = kind == '4'   ? (width + 7) / 8
                        : kind == '5' ? width * sample
                                      : 3 * width * sample;
    return image_rows("Netpbm image", header, row, height, size);
}

// Sun raster images: a 32-byte header and a colour map, then rows padded
// to 16 bits; run-length encoded ones have rows of their own lengths.
std::optional<stated_layout> read_sun_raster(const header_reader& in, std::uint64_t size)
{
    if (!in.has(0, 32) || in.be32(0) != 0x59A66A95)
        return std::nullopt;
    std::uint64_t width = in.be32(4), height = in.be32(8), depth = in.be32(12);
    std::uint64_t header = 32 + std::uint64_t{in.be32(28)};
    if (in.be32(20) == 2)
        return stated_layout{"Sun raster image", header, 0, 0, 0, true};
    return image_rows("Sun raster image", header, (width * depth + 15) / 16 * 2, height, size);
}

// SGI image files (Haeberli, "The SGI Image File Format", version 1.00): a
// 512-byte big-endian header opened by the magic number 474; a verbatim
// image is each channel in turn as YSIZE scanlines of XSIZE values of BPC
// bytes, a scanline the record; a run-length encoded one has scanlines of
// many lengths.
constexpr std::uint32_t SGI_MAGIC = 474;
constexpr std::uint64_t SGI_HEADER = 512;
constexpr unsigned SGI_VERBATIM = 0, SGI_RLE = 1;

std::optional<stated_layout> read_sgi(const header_reader& in, std::uint64_t size)
{
    if (!in.has(0, 12) || size < SGI_HEADER || in.be16(0) != SGI_MAGIC)
        return std::nullopt;
    unsigned storage = in.bytes[2], bpc = in.bytes[3], dimension = in.be16(4);
    if ((storage != SGI_VERBATIM && storage != SGI_RLE) || (bpc != 1 && bpc != 2) ||
        dimension < 1 || dimension > 3)
        return std::nullopt;
    if (storage == SGI_RLE)
        return stated_layout{"SGI image", SGI_HEADER, 0, 0, 0, true};
    std::uint64_t ysize = dimension >= 2 ? in.be16(8) : 1, zsize = dimension == 3 ? in.be16(10) : 1;
    std::optional<stated_layout> rows =
        image_rows("SGI image", SGI_HEADER, std::uint64_t{in.be16(6)} * bpc, ysize * zsize, size);
    if (rows && bpc > 1)
        rows->element = bpc;
    return rows;
}

// Truevision TGA images (Truevision, "TGA File Format", version 2.0): no
// magic number, so every field of the 18-byte header must hold a value
// the format allows and the rows must end the file, or end where a
// version 2 footer (26 bytes) or an extension area (495 bytes) and the
// footer begin. Only uncompressed images (types 1 to 3) have rows of one
// length.
constexpr std::uint64_t TGA_HEADER = 18, TGA_FOOTER = 26, TGA_EXTENSION = 495;

bool tga_depth_fits(unsigned type, unsigned depth, unsigned map_entry)
{
    bool true_colour = depth == 15 || depth == 16 || depth == 24 || depth == 32;
    if (type == 1)
        return depth == 8 &&
               (map_entry == 15 || map_entry == 16 || map_entry == 24 || map_entry == 32);
    return type == 2 ? true_colour : depth == 8 || depth == 16;
}

std::optional<stated_layout> read_tga(const header_reader& in, std::uint64_t size)
{
    if (!in.has(0, TGA_HEADER))
        return std::nullopt;
    unsigned map_type = in.bytes[1], type = in.bytes[2], map_entry = in.bytes[7];
    unsigned depth = in.bytes[16], descriptor = in.bytes[17];
    std::uint64_t map_length = in.le16(5), width = in.le16(12), height = in.le16(14);
    bool map_fits = map_type == 1
                        ? map_length > 0
                        : map_type == 0 && map_length == 0 && in.le16(3) == 0 && map_entry == 0;
    if (type < 1 || type > 3 || (type == 1) != (map_type == 1) || !map_fits ||
        !tga_depth_fits(type, depth, map_entry) || (descriptor & 0xC0) != 0 ||
        (descriptor & 0x0F) > depth || width == 0 || height == 0)
        return std::nullopt;
    std::uint64_t header = TGA_HEADER + in.bytes[0] + map_length * ((map_entry + 7) / 8);
    std::uint64_t row = width * ((depth + 7) / 8);
    std::optional<stated_layout> rows = image_rows("TGA image", header, row, height, size);
    if (!rows || (rows->trailer != 0 && rows->trailer != TGA_FOOTER &&
                  rows->trailer != TGA_FOOTER + TGA_EXTENSION))
        return std::nullopt;
    return rows;
}

// ESRI shapefile index: a 100-byte header with the file code 9994 and the
// file's length in 16-bit words, then an offset and a length for each shape.
std::optional<stated_layout> read_shape_index(const header_reader& in, std::uint64_t size)
{
    // The index and the main file share their header; the index's first
    // record points at the main file's first record, 50 words in.
    if (!in.has(0, 108) || in.be32(0) != 9994 || in.le32(28) != 1000 ||
        std::uint64_t{in.be32(24)} * 2 != size || in.be32(100) != 50)
        return std::nullopt;
    return records_to_end("shapefile index", 100, 8, size);
}

// ESRI shapefile main file: each record is a header of 8 bytes (its
// number and its content's length in 16-bit words, both big-endian) and
// the content. The records are of one length when every record header the
// sample reaches states one content length and the rest of the file holds
// whole records of it; else they vary.
std::optional<stated_layout> read_shapefile(const header_reader& in, std::uint64_t size)
{
    if (!in.has(0, 108) || in.be32(0) != 9994 || in.le32(28) != 1000 ||
        std::uint64_t{in.be32(24)} * 2 != size || in.be32(100) != 1)
        return std::nullopt;
    constexpr std::uint64_t header = 100, record_header = 8;
    std::optional<std::uint64_t> content;
    for (std::uint64_t at = header; at < size && in.has(at, record_header);) {
        std::uint64_t length = std::uint64_t{in.be32(at + 4)} * 2;
        if (content && *content != length)
            return stated_layout{"shapefile", header, 0, 0, 0, true};
        content = length;
        at += record_header + length;
    }
    if (!content || (size - header) % (record_header + *content) != 0)
        return stated_layout{"shapefile", header, 0, 0, 0, true};
    return records_to_end("shapefile", header, record_header + *content, size);
}

// FITS: headers and data alike come in logical records of 2880 bytes;
// a header's records are cards of 80 printable ASCII characters without
// line ends (the same cards a line each are a text file, not FITS).
std::optional<stated_layout> read_fits(const header_reader& in, std::uint64_t size)
{
    constexpr std::uint64_t card = 80, logical_record = 2880;
    if (!in.holds(0, "SIMPLE  = ") || !in.has(0, card) || in.bytes[29] != 'T')
        return std::nullopt;
    std::uint64_t header_seen = std::min<std::uint64_t>(logical_record, in.bytes.size());
    for (std::uint64_t at = 0; at < header_seen; at++) {
        if (in.bytes[at] < 0x20 || in.bytes[at] > 0x7E)
            return std::nullopt;
    }
    return records_to_end("FITS", 0, logical_record, size);
}

// ISO 9660 (ECMA-119) disc images: a system area of 16 logical sectors of
// 2048 bytes, then volume descriptors; the primary one (type 1, "CD001")
// states the logical block size at byte 128 and the volume's size in
// blocks at byte 80, each both little- and big-endian.
std::optional<stated_layout> read_iso9660(const header_reader& in, std::uint64_t size)
{
    constexpr std::uint64_t descriptor = 16 * 2048;
    if (!in.has(descriptor, 136) || in.bytes[descriptor] != 1 || !in.holds(descriptor + 1, "CD001"))
        return std::nullopt;
    std::uint64_t block = in.le16(descriptor + 128), blocks = in.le32(descriptor + 80);
    if (block != in.be16(descriptor + 130) || blocks != in.be32(descriptor + 84) || block < 512 ||
        (block & (block - 1)) != 0 || blocks == 0)
        return std::nullopt;
    return records_to_end("ISO 9660 image", 0, block, size);
}

// SAS transport (XPORT) files: 80-byte records throughout, headers of
// text and observations alike, the first the library header record.
std::optional<stated_layout> read_sas_transport(const header_reader& in, std::uint64_t size)
{
    if (!in.holds(0, "HEADER RECORD*******LIBRARY HEADER RECORD!!!!!!!"))
        return std::nullopt;
    return records_to_end("SAS transport file", 0, 80, size);
}

// A TeX font metric file is 4-byte words from its first byte: its first
// twelve halfwords are its length in words and the lengths of its parts,
// which add up to it, and the file is that many words.
std::optional<stated_layout> read_tfm(const header_reader& in, std::uint64_t size)
{
    constexpr std::uint64_t WORD = 4, LENGTHS = 12;
    if (!in.has(0, 2 * LENGTHS))
        return std::nullopt;
    std::uint64_t words = in.be16(0), first = in.be16(4), last = in.be16(6);
    // bc - 1 <= ec <= 255 and 6 + lh + (ec - bc + 1) + the other nine = lf.
    if (words * WORD != size || last > 255 || first > last + 1)
        return std::nullopt;
    std::uint64_t parts = 6 + in.be16(2) + (last + 1 - first);
    for (std::uint64_t at = 8; at < 2 * LENGTHS; at += 2)
        parts += in.be16(at);
    if (parts != words)
        return std::nullopt;
    return records_to_end("TeX font metrics", 0, WORD, size);
}

// GNU gettext MO catalogues: a 28-byte header (the magic 0x950412de in
// the writer's byte order, a revision, the count N of strings and the
// offsets of the original and translated string tables and of the hash
// table), then the two tables of N descriptors, a 32-bit length and offset
// each, one after the other. The hash table and the strings are the
// trailer. Catalogues whose tables stand elsewhere are left to the survey.
std::optional<stated_layout> read_mo(const header_reader& in, std::uint64_t size)
{
    constexpr std::uint64_t header = 28, descriptor = 8;
    constexpr std::uint32_t MAGIC = 0x950412de;
    if (!in.has(0, header))
        return std::nullopt;
    bool little = in.le32(0) == MAGIC;
    if (!little && in.be32(0) != MAGIC)
        return std::nullopt;
    auto word = [&](std::uint64_t at) { return little ? in.le32(at) : in.be32(at); };
    std::uint64_t strings = word(8), originals = word(12), translations = word(16);
    std::uint64_t hash_size = word(20), hash_at = word(24);
    std::uint64_t tables = 2 * strings * descriptor;
    // The hash table, and the first string the sample shows, lie inside
    // the file.
    if (strings == 0 || originals != header || translations != header + strings * descriptor ||
        header + tables > size || (hash_size > 0 && hash_at + 4 * hash_size > size) ||
        (in.has(header, descriptor) && std::uint64_t{word(header + 4)} + word(header) > size))
        return std::nullopt;
    // Each descriptor is a length and an offset, two 32-bit words.
    stated_layout stated{"message catalogue", header, descriptor, 2 * strings,
                         size - header - tables};
    stated.records_are_values = true;
    stated.columns = {{0, 4}, {4, 8}};
    return stated;
}

// TrueType and OpenType fonts (the sfnt container): a 12-byte offset
// table (the version 0x00010000, "OTTO" or "true", the table count and
// the binary-search fields derived from it), then one 16-byte record a
// table (tag, checksum, offset, length); the tables are the trailer. The
// derived fields, and tables inside the file, tell the header from chance.
std::optional<stated_layout> read_sfnt(const header_reader& in, std::uint64_t size)
{
    constexpr std::uint64_t header = 12, entry = 16;
    if (!in.has(0, header) ||
        !(in.be32(0) == 0x00010000 || in.holds(0, "OTTO") || in.holds(0, "true")))
        return std::nullopt;
    std::uint64_t tables = in.be16(4);
    if (tables == 0 || header + tables * entry > size)
        return std::nullopt;
    std::uint64_t selector = std::bit_width(tables) - 1, search = entry << selector;
    if (in.be16(6) != search || in.be16(8) != selector || in.be16(10) != tables * entry - search)
        return std::nullopt;
    for (std::uint64_t table = 0; table < tables && in.has(header + table * entry, entry);
         table++) {
        std::uint64_t at = header + table * entry;
        if (std::uint64_t{in.be32(at + 8)} + in.be32(at + 12) > size)
            return std::nullopt;
    }
    return stated_layout{in.holds(0, "OTTO") ? "OpenType font" : "TrueType font", header, entry,
                         tables, size - header - tables * entry};
}

// X11 PCF fonts (the PCF format as X.Org's libXfont reads it): the magic
// "\1fcp" and a little-endian table count, then one 16-byte entry a table
// (type, format, size, offset); the tables are the trailer. Each entry's
// type is one of the nine table bits. Sizes are not held to the file's:
// writers round the last table's up past the end.
std::optional<stated_layout> read_pcf(const header_reader& in, std::uint64_t size)
{
    constexpr std::uint64_t header = 8, entry = 16, MOST_TABLES = 9;
    if (!in.holds(0, std::string_view("\1fcp", 4)) || !in.has(0, header))
        return std::nullopt;
    std::uint64_t tables = in.le32(4);
    if (tables == 0 || tables > MOST_TABLES || header + tables * entry > size)
        return std::nullopt;
    for (std::uint64_t table = 0; table < tables && in.has(header + table * entry, entry);
         table++) {
        std::uint64_t at = header + table * entry;
        std::uint32_t type = in.le32(at);
        if (!std::has_single_bit(type))
            return std::nullopt;
    }
    return stated_layout{"PCF font", header, entry, tables, size - header - tables * entry};
}

// ICC colour profiles: a 128-byte header whose first word is the profile's
// size and whose bytes 36-39 are "acsp", a 32-bit tag count, then the tag
// table of 12-byte entries (signature, offset, size). The tagged data
// after the table is the trailer.
std::optional<stated_layout> read_icc(const header_reader& in, std::uint64_t size)
{
    constexpr std::uint64_t header = 128, count = 4, entry = 12;
    if (!in.has(0, header + count) || !in.holds(36, "acsp") || in.be32(0) != size)
        return std::nullopt;
    std::uint64_t tags = in.be32(header);
    if (tags == 0 || header + count + tags * entry > size)
        return std::nullopt;
    // Every tag's data lies inside the profile, as far as the sample shows.
    for (std::uint64_t tag = 0; tag < tags && in.has(header + count + tag * entry, entry); tag++) {
        std::uint64_t at = header + count + tag * entry;
        if (std::uint64_t{in.be32(at + 4)} + in.be32(at + 8) > size)
            return std::nullopt;
    }
    return stated_layout{"ICC profile", header + count, entry, tags,
                         size - header - count - tags * entry};
}

// strfile(1) indexes of fortune files: a header of five 32-bit fields in
// network byte order (version 1 or 2, the number of strings, the longest
// and shortest string's lengths, flags: random, ordered, rotated) and the
// delimiting byte, padded to 24 bytes; then one 32-bit offset for each
// string and one past the last, the first 0. The count states the file's
// size exactly, which tells the header from chance.
std::optional<stated_layout> read_strfile(const header_reader& in, std::uint64_t size)
{
    constexpr std::uint64_t header = 24, offset = 4;
    constexpr std::uint32_t known_flags = 0x7;
    if (!in.has(0, header + offset))
        return std::nullopt;
    std::uint32_t version = in.be32(0), strings = in.be32(4);
    unsigned char delimiter = in.bytes[20];
    if ((version != 1 && version != 2) || strings == 0 || in.be32(12) > in.be32(8) ||
        (in.be32(16) & ~known_flags) != 0 || delimiter <= 0x20 || delimiter >= 0x7F ||
        in.be32(header) != 0 || header + (std::uint64_t{strings} + 1) * offset != size)
        return std::nullopt;
    std::optional<stated_layout> stated = records_to_end("strfile index", header, offset, size);
    if (stated)
        stated->records_are_values = true;
    return stated;
}

// The number after key in a NumPy header's dictionary text, and where it
// ends; none when the key is missing.
std::optional<std::uint64_t> npy_number(std::string_view text, std::size_t& at)
{
    while (at < text.size() && (text[at] == ' ' || text[at] == '(' || text[at] == ','))
        at++;
    if (at >= text.size() || text[at] < '0' || text[at] > '9')
        return std::nullopt;
    std::uint64_t value = 0;
    while (at < text.size() && text[at] >= '0' && text[at] <= '9' && value < (1ULL << 40))
        value = value * 10 + static_cast<std::uint64_t>(text[at++] - '0');
    return value;
}

// IDX files (LeCun, Cortes and Burges, "The MNIST database", section "The
// IDX file format"): two zero bytes, the type of the values (0x08 and 0x09
// bytes, 0x0B 16-bit, 0x0C 32-bit and 0x0D float, 0x0E double), the
// number of dimensions, then each dimension's size as a big-endian 32-bit
// word. The values follow, the last dimension changing fastest: a record
// is one item of the first dimension (an image, a label). Nothing follows
// them, which tells the header from chance.
std::optional<stated_layout> read_idx(const header_reader& in, std::uint64_t size)
{
    constexpr std::uint64_t MOST_DIMENSIONS = 8, MOST_RECORD = std::uint64_t{1} << 32;
    if (!in.has(0, 4) || in.bytes[0] != 0 || in.bytes[1] != 0)
        return std::nullopt;
    std::uint64_t value = 0;
    switch (in.bytes[2]) {
    case 0x08:
    case 0x09:
        value = 1;
        break;
    case 0x0B:
        value = 2;
        break;
    case 0x0C:
    case 0x0D:
        value = 4;
        break;
    case 0x0E:
        value = 8;
        break;
    default:
        return std::nullopt;
    }
    std::uint64_t dimensions = in.bytes[3], header = 4 + 4 * dimensions;
    if (dimensions == 0 || dimensions > MOST_DIMENSIONS || !in.has(0, header))
        return std::nullopt;
    std::uint64_t items = in.be32(4), record = value;
    for (std::uint64_t dimension = 1; dimension < dimensions; dimension++) {
        record *= in.be32(4 + 4 * dimension);
        if (record == 0 || record > MOST_RECORD)
            return std::nullopt;
    }
    if (items == 0 || header + items * record != size)
        return std::nullopt;
    stated_layout stated{"IDX array", header, record, items, 0};
    if (record != value)
        stated.element = value;
    return stated;
}

// NumPy arrays (.npy): the magic "\x93NUMPY", a version, the header's
// length (2 bytes little-endian in version 1, 4 after), and a dictionary
// giving 'descr' (a simple type such as '<f8' states its item size),
// 'fortran_order' and 'shape'. In C order a record is one row of the last
// dimensions: all but the first.
std::optional<stated_layout> read_npy(const header_reader& in, std::uint64_t size)
{
    if (!in.holds(0, "\x93NUMPY") || !in.has(0, 12))
        return std::nullopt;
    unsigned version = in.bytes[6];
    std::uint64_t header =
        version == 1 ? 10 + std::uint64_t{in.le16(8)} : 12 + std::uint64_t{in.le32(8)};
    if (!in.has(0, header) || header > size)
        return std::nullopt;
    std::string_view text(reinterpret_cast<const char*>(in.bytes.data()), header);
    std::size_t descr = text.find("'descr': '");
    std::size_t shape = text.find("'shape': (");
    if (descr == std::string_view::npos || shape == std::string_view::npos ||
        text.find("'fortran_order': False") == std::string_view::npos)
        return std::nullopt;
    // A byte order, a kind, then the item size: of numbers and byte
    // strings, the size in bytes.
    std::size_t at = descr + 10;
    if (at + 2 >= text.size() || text[at + 1] == '\0' ||
        std::strchr("biufcS", text[at + 1]) == nullptr)
        return std::nullopt;
    at += 2;
    std::optional<std::uint64_t> item = npy_number(text, at);
    if (!item || at >= text.size() || text[at] != '\'' || *item == 0)
        return std::nullopt;
    at = shape + 10;
    std::optional<std::uint64_t> rows = npy_number(text, at);
    std::uint64_t record = *item;
    while (rows) {
        std::optional<std::uint64_t> next = npy_number(text, at);
        if (!next)
            break;
        // A row longer than the file states nothing, however its
        // dimensions would multiply.
        if (*next != 0 && record > size / *next)
            return std::nullopt;
        record *= *next;
    }
    if (!rows || *rows == 0)
        return std::nullopt;
    std::optional<stated_layout> stated = image_rows("NumPy array", header, record, *rows, size);
    if (stated && record != *item)
        stated->element = *item;
    return stated;
}

// NIfTI-1 and NIfTI-2 single-file images (magic "n+1" at 344, "n+2" at 4):
// the header's size (348 or 540) in the file's byte order, the dimensions,
// the bits a voxel and the offset of the voxels; the first dimension
// varies fastest, so a row of it is a record.
std::uint64_t nifti_word(const header_reader& in, std::uint64_t offset, unsigned width, bool big)
{
    std::uint64_t value = 0;
    for (unsigned byte = 0; byte < width; byte++)
        value |= std::uint64_t{in.bytes[offset + byte]} << 8 * (big ? width - 1 - byte : byte);
    return value;
}

std::optional<stated_layout> read_nifti(const header_reader& in, std::uint64_t size)
{
    using namespace std::string_view_literals;
    bool one = in.holds(344, "n+1\0"sv), two = in.holds(4, "n+2\0\r\n\x1a\n"sv);
    if ((!one && !two) || !in.has(0, two ? 176 : 112))
        return std::nullopt;
    std::uint64_t header_size = one ? 348 : 540;
    bool big = nifti_word(in, 0, 4, false) != header_size;
    if (nifti_word(in, 0, 4, big) != header_size)
        return std::nullopt;
    unsigned dim_width = one ? 2 : 8;
    std::uint64_t dims_at = one ? 40 : 16;
    std::uint64_t bits = nifti_word(in, one ? 72 : 14, 2, big);
    // NIfTI-1 keeps the voxels' offset as a float.
    double offset =
        one ? std::bit_cast<float>(static_cast<std::uint32_t>(nifti_word(in, 108, 4, big)))
            : static_cast<double>(nifti_word(in, 168, 8, big));
    if (!(offset >= static_cast<double>(header_size) && offset <= static_cast<double>(size)))
        return std::nullopt;
    auto header = static_cast<std::uint64_t>(offset);
    std::uint64_t dimensions = nifti_word(in, dims_at, dim_width, big);
    if (dimensions == 0 || dimensions > NIFTI_MOST_DIMENSIONS || bits == 0 || bits % 8 != 0)
        return std::nullopt;
    // NIfTI-2's extents are 64-bit: none may take a row past the file's
    // size, nor the rows' count past 2^40.
    std::uint64_t extent = nifti_word(in, dims_at + dim_width, dim_width, big);
    if (extent == 0 || extent > size / (bits / 8))
        return std::nullopt;
    std::uint64_t row = extent * (bits / 8);
    std::uint64_t rows = 1;
    for (std::uint64_t dimension = 2; dimension <= dimensions; dimension++) {
        extent = nifti_word(in, dims_at + dimension * dim_width, dim_width, big);
        if (extent == 0 || rows > NIFTI_MOST_ROWS / extent)
            return std::nullopt;
        rows *= extent;
    }
    std::optional<stated_layout> stated = image_rows("NIfTI image", header, row, rows, size);
    if (stated && row != bits / 8)
        stated->element = bits / 8;
    return stated;
}

// Level 5 MAT-files (MathWorks, "MAT-File Format"): a 128-byte header
// whose last four bytes are the version 0x0100 and "IM" (or "MI" for
// big-endian), then data elements, each an 8-byte tag (type, bytes) and
// its data padded to 8 bytes; or a tag of 4 bytes with data in the other
// 4 ("small data element"), its bytes in the high half of the type word.
// The first element, an uncompressed numeric matrix (miMATRIX: array
// flags, dimensions, name, real part), stored column by column: a column
// of the first dimension is a record.
struct mat_element {
    std::uint32_t type = 0;
    std::uint64_t bytes = 0;
    std::uint64_t data = 0; // offset of the data
    std::uint64_t next = 0; // offset of the next element
};

std::optional<mat_element> mat_tag(const header_reader& in, std::uint64_t at, bool big)
{
    if (!in.has(at, 8))
        return std::nullopt;
    std::uint32_t word = big ? in.be32(at) : in.le32(at);
    if ((word >> 16) != 0)
        return mat_element{word & 0xFFFF, word >> 16, at + 4, at + 8};
    std::uint64_t bytes = big ? in.be32(at + 4) : in.le32(at + 4);
    return mat_element{word, bytes, at + 8, at + 8 + (bytes + 7) / 8 * 8};
}

// Bytes of one value of each numeric type (miINT8 = 1 ... miUINT64 = 13).
std::uint64_t mat_value_bytes(std::uint32_t type)
{
    constexpr std::uint8_t sizes[] = {0, 1, 1, 2, 2, 4, 4, 4, 0, 8, 0, 0, 8, 8};
    return type < std::size(sizes) ? sizes[type] : 0;
}

std::optional<stated_layout> read_mat5(const header_reader& in, std::uint64_t size)
{
    if (!in.holds(MAT_TEXT_AT, MAT_TEXT) || !in.has(MAT_TEXT_AT, MAT_HEADER_BYTES) ||
        (!in.holds(MAT_BYTE_ORDER_AT, "IM") && !in.holds(MAT_BYTE_ORDER_AT, "MI")))
        return std::nullopt;
    bool big = in.holds(MAT_BYTE_ORDER_AT, "MI");
    std::optional<mat_element> matrix = mat_tag(in, MAT_HEADER_BYTES, big);
    if (!matrix || matrix->type != MAT_MATRIX)
        return std::nullopt;
    std::optional<mat_element> flags = mat_tag(in, matrix->data, big);
    if (!flags || flags->type != MAT_FLAGS || flags->bytes != 8 || !in.has(flags->data, 8))
        return std::nullopt;
    std::uint32_t flag_word = big ? in.be32(flags->data) : in.le32(flags->data);
    std::uint32_t array_class = flag_word & 0xFF;
    // Complex values hold an imaginary part after the real one.
    if (array_class < MAT_FIRST_NUMERIC_CLASS || array_class > MAT_LAST_NUMERIC_CLASS ||
        (flag_word & MAT_COMPLEX) != 0)
        return std::nullopt;
    std::optional<mat_element> dimensions = mat_tag(in, flags->next, big);
    if (!dimensions || dimensions->type != MAT_DIMENSIONS || dimensions->bytes < 8 ||
        dimensions->bytes % 4 != 0 || dimensions->bytes / 4 > MAT_MOST_DIMENSIONS ||
        !in.has(dimensions->data, dimensions->bytes))
        return std::nullopt;
    std::optional<mat_element> name = mat_tag(in, dimensions->next, big);
    std::optional<mat_element> real = name ? mat_tag(in, name->next, big) : std::nullopt;
    std::uint64_t value = real ? mat_value_bytes(real->type) : 0;
    if (value == 0 || real->data > size)
        return std::nullopt;
    std::uint64_t count = 1, first = 0;
    for (std::uint64_t at = 0; at < dimensions->bytes; at += 4) {
        std::uint64_t extent =
            big ? in.be32(dimensions->data + at) : in.le32(dimensions->data + at);
        if (extent == 0 || count > NIFTI_MOST_ROWS / extent)
            return std::nullopt;
        count *= extent;
        first = at == 0 ? extent : first;
    }
    if (count * value != real->bytes)
        return std::nullopt;
    std::optional<stated_layout> stated =
        image_rows("MAT-file", real->data, first * value, count / first, size);
    if (stated && first > 1)
        stated->element = value;
    return stated;
}

// Level 4 MAT-files (MathWorks, "MAT-File Format", Level 4): each matrix
// is five 4-byte numbers (type MOPT, rows, columns, imaginary flag, name
// length), the name with its NUL, then the real part column by column.
// Nothing marks the format, so the type must be IEEE little- or big-endian
// (M 0 or 1, its own byte order), O 0, a precision P of 0 to 5 and a full
// numeric or text matrix (T 0 or 1), and the name an identifier.
constexpr std::uint64_t MAT4_HEADER = 20, MAT4_LONGEST_NAME = 64;
constexpr std::uint64_t MAT4_VALUE_BYTES[] = {8, 4, 4, 2, 2, 1};

bool mat4_name_fits(const header_reader& in, std::uint64_t length)
{
    if (length < 2 || length > MAT4_LONGEST_NAME || !in.has(MAT4_HEADER, length) ||
        in.bytes[MAT4_HEADER + length - 1] != 0 || !std::isalpha(in.bytes[MAT4_HEADER]))
        return false;
    for (std::uint64_t at = MAT4_HEADER + 1; at < MAT4_HEADER + length - 1; at++) {
        if (!std::isalnum(in.bytes[at]) && in.bytes[at] != '_')
            return false;
    }
    return true;
}

std::optional<stated_layout> read_mat4(const header_reader& in, std::uint64_t size)
{
    if (!in.has(0, MAT4_HEADER))
        return std::nullopt;
    bool big = in.le32(0) >= 1000;
    auto word = [&](std::uint64_t at) { return big ? in.be32(at) : in.le32(at); };
    std::uint32_t type = word(0);
    std::uint32_t machine = type / 1000, zero = type / 100 % 10, precision = type / 10 % 10;
    if (machine != (big ? 1u : 0u) || zero != 0 || precision > 5 || type % 10 > 1 ||
        word(12) != 0 || !mat4_name_fits(in, word(16)))
        return std::nullopt;
    std::uint64_t value = MAT4_VALUE_BYTES[precision], rows = word(4), columns = word(8);
    std::optional<stated_layout> stated =
        image_rows("MAT-file", MAT4_HEADER + word(16), rows * value, columns, size);
    if (stated && rows > 1)
        stated->element = value;
    return stated;
}

// POSIX tar archives: everything comes in blocks of 512 bytes.
std::optional<stated_layout> read_tar(const header_reader& in, std::uint64_t size)
{
    if (!in.holds(257, "ustar"))
        return std::nullopt;
    return records_to_end("tar archive", 0, 512, size);
}

// SQLite databases: pages of the size the header states at offset 16.
std::optional<stated_layout> read_sqlite(const header_reader& in, std::uint64_t size)
{
    if (!in.holds(0, "SQLite format 3") || !in.has(0, 100))
        return std::nullopt;
    std::uint64_t page = in.be16(16);
    if (page == 1)
        page = 65536;
    if (page < 512 || (page & (page - 1)) != 0)
        return std::nullopt;
    return records_to_end("SQLite database", 0, page, size);
}

// Microsoft's compound files (the Office 97 documents among them): sectors
// of the size the header gives as a power of two at offset 30; the header
// itself fills the first sector.
std::optional<stated_layout> read_compound_file(const header_reader& in, std::uint64_t size)
{
    static const unsigned char signature[] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};
    if (!in.has(0, 512) || std::memcmp(in.bytes.data(), signature, sizeof signature) != 0)
        return std::nullopt;
    std::uint32_t shift = in.le16(30);
    if (shift != 9 && shift != 12)
        return std::nullopt;
    return records_to_end("compound file", 0, std::uint64_t{1} << shift, size);
}

// The width of an observation's value of one type, in the binary .dta
// formats of releases 110 to 115: letters in 110, codes from 251 up after
// it; strings give their length (less 0x7F in 110). Zero for no type.
std::uint64_t old_stata_width(unsigned release, unsigned char type)
{
    if (release == 110) {
        switch (type) {
        case 'b':
            return 1;
        case 'i':
            return 2;
        case 'l':
        case 'f':
            return 4;
        case 'd':
            return 8;
        default:
            return type > 0x7F ? type - 0x7F : 0;
        }
    }
    constexpr std::uint64_t widths[] = {1, 2, 4, 4, 8};
    return type >= 251 ? widths[type - 251] : type <= 244 ? type : 0;
}

// Stata datasets of releases 110 to 115 (help dta_115): a binary header of
// the release, byte order (1 big-endian, 2 little), the file type 1, the
// variables and observations, a label and a time stamp; a type, a name, a
// sort entry, a format, a value label name and a label a variable;
// expansion fields (type, 4-byte length, contents) closed by a zero type
// and length; then the observations, and value labels as the trailer.
std::optional<stated_layout> read_old_stata(const header_reader& in, std::uint64_t size)
{
    constexpr std::uint64_t HEADER = 109, NAME = 33, LABEL = 81, FIELD = 5;
    unsigned release = in.has(0, HEADER) ? in.bytes[0] : 0;
    if ((release != 110 && release != 111 && (release < 113 || release > 115)) ||
        (in.bytes[1] != 1 && in.bytes[1] != 2) || in.bytes[2] != 1)
        return std::nullopt;
    bool big = in.bytes[1] == 1;
    std::uint64_t variables = big ? in.be16(4) : in.le16(4);
    std::uint64_t observations = big ? in.be32(6) : in.le32(6);
    if (variables == 0 || observations == 0 || !in.has(HEADER, variables))
        return std::nullopt;
    std::uint64_t width = 0;
    for (std::uint64_t each = 0; each < variables; each++) {
        std::uint64_t bytes = old_stata_width(release, in.bytes[HEADER + each]);
        if (bytes == 0)
            return std::nullopt;
        width += bytes;
    }
    std::uint64_t format = release >= 114 ? 49 : 12;
    std::uint64_t at =
        HEADER + variables * (1 + NAME + format + NAME + LABEL) + 2 * (variables + 1);
    for (;;) {
        if (!in.has(at, FIELD))
            return std::nullopt;
        std::uint64_t length = big ? in.be32(at + 1) : in.le32(at + 1);
        at += FIELD;
        if (in.bytes[at - FIELD] == 0 && length == 0)
            break;
        if (length > size - at)
            return std::nullopt;
        at += length;
    }
    if (at > size || observations > (size - at) / width)
        return std::nullopt;
    return stated_layout{"Stata dataset", at, width, observations,
                         size - at - observations * width};
}

// Gravis UltraSound patches (GF1PATCH110 or 100, the patch layout of the
// UltraSound SDK): a 129-byte file header, a 63-byte instrument header and
// a 47-byte layer header, then each wave's 96-byte header and its samples,
// 16-bit where bit 0 of its modes is set. The first wave's samples are the
// records; the waves after it are the trailer.
std::optional<stated_layout> read_gus_patch(const header_reader& in, std::uint64_t size)
{
    constexpr std::uint64_t WAVE = 129 + 63 + 47, HEADER = WAVE + 96;
    constexpr std::uint64_t DATA = WAVE + 8, MODES = WAVE + 55;
    if (!(in.holds(0, std::string_view("GF1PATCH110\0", 12)) ||
          in.holds(0, std::string_view("GF1PATCH100\0", 12))) ||
        !in.holds(12, std::string_view("ID#000002\0", 10)) || !in.has(0, HEADER))
        return std::nullopt;
    std::uint64_t sample = (in.bytes[MODES] & 1) != 0 ? 2 : 1;
    std::uint64_t samples = in.le32(DATA) / sample;
    if (samples == 0 || HEADER > size || samples > (size - HEADER) / sample)
        return std::nullopt;
    return stated_layout{"UltraSound patch", HEADER, sample, samples,
                         size - HEADER - samples * sample};
}

// SoundFont 2 banks (the SoundFont 2.01 technical document): a RIFF form of
// type "sfbk" whose LIST "sdta" holds the "smpl" chunk of 16-bit samples;
// the preset data after it is the trailer.
std::optional<stated_layout> read_soundfont(const header_reader& in, std::uint64_t size)
{
    constexpr std::uint64_t SAMPLE = 2;
    if (!in.holds(0, "RIFF") || !in.holds(8, "sfbk"))
        return std::nullopt;
    for (std::uint64_t chunk = 12; in.has(chunk, 12);) {
        std::uint64_t chunk_size = in.le32(chunk + 4);
        if (in.holds(chunk, "LIST") && in.holds(chunk + 8, "sdta") &&
            in.holds(chunk + 12, "smpl") && in.has(chunk + 12, 8)) {
            std::uint64_t header = chunk + 20, samples = in.le32(chunk + 16) / SAMPLE;
            if (samples == 0 || header > size || samples > (size - header) / SAMPLE)
                return std::nullopt;
            return stated_layout{"SoundFont bank", header, SAMPLE, samples,
                                 size - header - samples * SAMPLE};
        }
        chunk += 8 + chunk_size + (chunk_size & 1);
    }
    return std::nullopt;
}

// Stata datasets, formats 117 to 119 (Stata's "help dta"): a map of
// eight-byte offsets in the dataset's byte order locates the <data>
// section, whose observations all have one length, and the section after
// it. The header and map lie in the first few hundred bytes; a small
// dataset is smaller than the most that is looked through for them.
constexpr std::size_t STATA_HEADER_SPAN = 4096;
constexpr std::uint64_t STATA_MAP_ENTRY = 8, STATA_DATA_ENTRY = 9, STATA_AFTER_DATA_ENTRY = 10;
constexpr std::string_view STATA_OPENING = "<stata_dta><header><release>";

std::optional<stated_layout> read_stata(const header_reader& in, std::uint64_t size)
{
    if (!in.holds(0, STATA_OPENING))
        return std::nullopt;
    std::string_view text(reinterpret_cast<const char*>(in.bytes.data()),
                          std::min<std::size_t>(in.bytes.size(), STATA_HEADER_SPAN));
    bool big = text.find("<byteorder>MSF</byteorder>") != std::string_view::npos;
    std::size_t observations_at = text.find("<N>");
    std::size_t map_at = text.find("<map>");
    bool release_117 = in.holds(STATA_OPENING.size(), "117");
    int observation_bytes = release_117 ? 4 : 8;
    std::uint64_t map = map_at + std::string_view("<map>").size();
    if (observations_at == std::string_view::npos || map_at == std::string_view::npos ||
        !in.has(observations_at + 3, observation_bytes) ||
        !in.has(map, (STATA_AFTER_DATA_ENTRY + 1) * STATA_MAP_ENTRY))
        return std::nullopt;
    auto number = [&](std::uint64_t at, int bytes) {
        std::uint64_t value = 0;
        for (int i = 0; i < bytes; i++) {
            std::uint64_t byte = in.bytes[at + (big ? i : bytes - 1 - i)];
            value = value << 8 | byte;
        }
        return value;
    };
    std::uint64_t observations = number(observations_at + 3, observation_bytes);
    std::uint64_t data_at = number(map + STATA_DATA_ENTRY * STATA_MAP_ENTRY, 8);
    std::uint64_t after_data = number(map + STATA_AFTER_DATA_ENTRY * STATA_MAP_ENTRY, 8);
    std::uint64_t header = data_at + 6; // "<data>"
    if (observations == 0 || data_at > size || after_data < header + 7 || after_data > size)
        return std::nullopt;
    std::uint64_t data = after_data - 7 - header; // "</data>"
    if (data % observations != 0)
        return std::nullopt;
    return stated_layout{"Stata dataset", header, data / observations, observations,
                         size - header - data};
}

// Formats whose documentation gives them parts of many lengths, never one
// record length: programs, compressed and archived data, images and sound
// in coded streams, tables of several kinds.
std::optional<stated_layout> read_varying(const header_reader& in, std::uint64_t)
{
    static const struct {
        const char* name;
        std::size_t length;
        const char* magic;
    } formats[] = {
        {"ELF program or library", 4,
         "\x7F"
         "ELF"},
        {"PNG image", 8, "\x89PNG\r\n\x1A\n"},
        {"GIF image", 4, "GIF8"},
        {"JPEG image", 3, "\xFF\xD8\xFF"},
        {"zip archive", 4, "PK\x03\x04"},
        {"zip archive", 4, "PK\x05\x06"},
        {"gzip data", 2, "\x1F\x8B"},
        {"bzip2 data", 3, "BZh"},
        {"xz data", 6,
         "\xFD"
         "7zXZ\x00"},
        {"zstd data", 4, "\x28\xB5\x2F\xFD"},
        {"7-zip archive", 6, "7z\xBC\xAF\x27\x1C"},
        {"PDF document", 5, "%PDF-"},
        {"time zone data", 4, "TZif"},
        {"message catalogue", 4, "\xDE\x12\x04\x95"},
        {"message catalogue", 4, "\x95\x04\x12\xDE"},
        {"Java class", 4, "\xCA\xFE\xBA\xBE"},
        {"Ogg stream", 4, "OggS"},
        {"FLAC audio", 4, "fLaC"},
        {"MIDI music", 4, "MThd"},
        {"PCF font", 4,
         "\x01"
         "fcp"},
        {"compiled terminfo", 2, "\x1A\x01"},
        {"compiled terminfo", 2, "\x1E\x02"},
        {"X cursor", 4, "Xcur"},
        {"TIFF image", 4, "II*\x00"},
        {"TIFF image", 4, "MM\x00*"},
        {"WOFF font", 4, "wOFF"},
        {"WOFF2 font", 4, "wOF2"},
    };
    // DICOM's 128-byte preamble may hold another format's header (a TIFF
    // one, for files that are both); "DICM" after it names the file.
    if (in.holds(128, "DICM"))
        return stated_layout{"DICOM file", 0, 0, 0, 0, true};
    // A Windows program or library: the DOS header's "MZ", and at the
    // offset it gives at 0x3C, the PE signature.
    if (in.holds(0, "MZ") && in.has(0x3C, 4)) {
        std::uint64_t pe = in.le32(0x3C);
        if (in.holds(pe, std::string_view("PE\0\0", 4)))
            return stated_layout{"Windows program or library", 0, 0, 0, 0, true};
    }
    for (const auto& format : formats) {
        if (in.has(0, format.length) &&
            std::memcmp(in.bytes.data(), format.magic, format.length) == 0)
            return stated_layout{format.name, 0, 0, 0, 0, true};
    }
    return std::nullopt;
}

// A container no reader names whose header counts a directory of entries
// pointing at its parts: the entries are the records, the parts the
// trailer, as the documents of the containers read above have it.
std::optional<stated_layout> read_directory(const header_reader& in, std::uint64_t size)
{
    std::optional<counted_directory> found = find_counted_directory(in.bytes, size);
    if (!found)
        return std::nullopt;
    std::uint64_t records_end = found->header + found->entries * found->entry;
    stated_layout stated{"", found->header, found->entry, found->entries, size - records_end};
    stated.records_are_values = true;
    return stated;
}

} // namespace

std::optional<stated_layout> read_stated_layout(byte_span start, std::uint64_t file_size)
{
    header_reader in{start};
    using reader = std::optional<stated_layout> (*)(const header_reader&, std::uint64_t);
    static const reader readers[] = {
        read_wave,      read_aiff,      read_sun_audio,   read_psf,       read_shape_index,
        read_shapefile, read_tfm,       read_fits,        read_iso9660,   read_sas_transport,
        read_npy,       read_strfile,   read_tar,         read_sqlite,    read_bmp,
        read_icon,      read_netpbm,    read_sun_raster,  read_sgi,       read_compound_file,
        read_stata,     read_old_stata, read_soundfont,   read_gus_patch, read_nifti,
        read_mat5,      read_mat4,      read_tga,         read_dbase,     read_mo,
        read_icc,       read_sfnt,      read_gimp_pixels, read_pcf,       read_idx,
        read_varying,   read_directory};
    for (reader read : readers) {
        if (std::optional<stated_layout> stated = read(in, file_size))
            return stated;
    }
    return std::nullopt;
}
