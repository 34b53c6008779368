#include "../../../src/survey/detect/known_formats.h"
#include "../survey_fixtures.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

namespace
{

void put_be32(std::string& bytes, std::size_t at, std::uint32_t value)
{
    for (int i = 0; i < 4; i++)
        bytes[at + i] = static_cast<char>(value >> (24 - 8 * i));
}

void put_le(std::string& bytes, std::size_t at, std::uint32_t value, int width)
{
    for (int i = 0; i < width; i++)
        bytes[at + i] = static_cast<char>(value >> (8 * i));
}

// A shapefile of polygons whose record headers state these content
// lengths in 16-bit words.
std::string shapefile(const std::vector<std::uint32_t>& words)
{
    std::string bytes(100, '\0');
    put_be32(bytes, 0, 9994);
    put_le(bytes, 28, 1000, 4);
    put_le(bytes, 32, 5, 4);
    std::uint32_t number = 1;
    for (std::uint32_t content : words) {
        std::string record(8 + 2 * content, '\x11');
        put_be32(record, 0, number++);
        put_be32(record, 4, content);
        bytes += record;
    }
    put_be32(bytes, 24, static_cast<std::uint32_t>(bytes.size() / 2));
    return bytes;
}

// An ISO 9660 image of blocks 2048 bytes, its primary volume descriptor
// at sector 16.
std::string disc_image(std::uint32_t blocks)
{
    std::string bytes(std::size_t{blocks} * 2048, '\0');
    std::size_t descriptor = 16 * 2048;
    bytes[descriptor] = 1;
    bytes.replace(descriptor + 1, 5, "CD001");
    put_le(bytes, descriptor + 80, blocks, 4);
    put_be32(bytes, descriptor + 84, blocks);
    put_le(bytes, descriptor + 128, 2048, 2);
    bytes[descriptor + 130] = 0x08;
    bytes[descriptor + 131] = 0x00;
    return bytes;
}

// A NumPy array file of version 1 with this dictionary and 216 bytes of
// data, its header padded to 128 bytes.
std::string npy(std::string dictionary)
{
    dictionary.resize(117, ' ');
    dictionary += '\n';
    return std::string("\x93NUMPY\x01\x00\x76\x00", 10) + dictionary + std::string(216, '\x01');
}

// A fortune file's strfile index of strings strings of 10 bytes each;
// extra bytes after it break the count the header states.
std::string strfile_index(std::uint32_t strings, std::size_t extra = 0)
{
    std::string bytes(24 + (std::size_t{strings} + 1) * 4 + extra, '\0');
    put_be32(bytes, 0, 2);
    put_be32(bytes, 4, strings);
    put_be32(bytes, 8, 10);
    put_be32(bytes, 12, 10);
    bytes[20] = '%';
    for (std::uint32_t string = 0; string <= strings; string++)
        put_be32(bytes, 24 + std::size_t{string} * 4, string * 10);
    return bytes;
}

std::string fits_cards(const char* line_end)
{
    std::string card = "SIMPLE  =                    T";
    card.resize(80, ' ');
    std::string bytes;
    for (int i = 0; i < 36; i++)
        bytes += card + line_end;
    return bytes;
}

// A Level 5 MAT-file holding a 3x4 matrix of singles, little- or
// big-endian, its name in a small data element; a complex one's
// imaginary part would follow, so it states nothing.
std::string mat5(bool big, bool complex = false)
{
    std::string bytes = "MATLAB 5.0 MAT-file, written by hand";
    bytes.resize(124, ' ');
    auto put = [&](std::uint32_t value) {
        for (int i = 0; i < 4; i++)
            bytes += static_cast<char>(value >> (8 * (big ? 3 - i : i)));
    };
    bytes += big ? std::string("\x01\x00MI", 4) : std::string("\x00\x01IM", 4);
    // miMATRIX; array flags (single); dimensions 3 x 4; the name "m" in a
    // small element; miSINGLE, 12 values.
    for (std::uint32_t word : {14u, 104u, 6u, 8u, complex ? 0x0807u : 7u, 0u, 5u, 8u, 3u, 4u,
                               1u << 16 | 1u, static_cast<std::uint32_t>('m'), 7u, 48u})
        put(word);
    bytes += std::string(48, '\x01');
    return bytes;
}

// A NIfTI-1 volume of 3x2x2 voxels of 16 bits (rows of 6 bytes) after a
// 352-byte header, in either byte order, or a NIfTI-2 one after 544 bytes.
std::string nifti(int version, bool big, float offset = 352, std::uint64_t first_extent = 3)
{
    std::size_t header = version == 1 ? 352 : 544;
    std::string bytes(header + 24, '\0');
    auto put = [&](std::size_t at, std::uint64_t value, int width) {
        for (int i = 0; i < width; i++)
            bytes[at + i] = static_cast<char>(value >> (8 * (big ? width - 1 - i : i)));
    };
    std::uint64_t dims[] = {3, first_extent, 2, 2};
    if (version == 1) {
        put(0, 348, 4);
        for (int i = 0; i < 4; i++)
            put(40 + 2 * i, dims[i], 2);
        put(72, 16, 2);
        std::uint32_t bits;
        std::memcpy(&bits, &offset, 4);
        put(108, bits, 4);
        bytes.replace(344, 4, std::string("n+1\0", 4));
    } else {
        put(0, 540, 4);
        bytes.replace(4, 8, std::string("n+2\0\r\n\x1a\n", 8));
        put(14, 16, 2);
        for (int i = 0; i < 4; i++)
            put(16 + 8 * i, dims[i], 8);
        put(168, 544, 8);
    }
    return bytes;
}

// A bitmap's file and info headers (40 bytes) and a row of pixels.
std::string bitmap(std::uint32_t width, std::uint32_t height, std::uint32_t bits)
{
    std::string bytes(54 + 16, '\0');
    bytes[0] = 'B';
    bytes[1] = 'M';
    put_le(bytes, 10, 54, 4);
    put_le(bytes, 14, 40, 4);
    put_le(bytes, 18, width, 4);
    put_le(bytes, 22, height, 4);
    put_le(bytes, 28, bits, 2);
    return bytes;
}

// A Windows icon of one size-by-size image of bits a pixel: the colour
// rows (and a palette where bits are 8 or fewer), then the 1-bit mask.
std::string icon(std::uint32_t side, std::uint32_t bits)
{
    std::uint32_t colours = bits <= 8 ? 1u << bits : 0;
    std::uint32_t rows = side * ((side * bits + 31) / 32 * 4), mask = side * ((side + 31) / 32 * 4);
    std::string bytes(22 + 40 + 4 * colours + rows + mask, '\x55');
    bytes.replace(0, 22, std::string(22, '\0'));
    bytes.replace(22, 40, std::string(40, '\0'));
    put_le(bytes, 2, 1, 2);
    put_le(bytes, 4, 1, 2);
    bytes[6] = bytes[7] = static_cast<char>(side);
    put_le(bytes, 6 + 8, static_cast<std::uint32_t>(bytes.size() - 22), 4);
    put_le(bytes, 6 + 12, 22, 4);
    put_le(bytes, 22, 40, 4);
    put_le(bytes, 22 + 4, side, 4);
    put_le(bytes, 22 + 8, 2 * side, 4);
    put_le(bytes, 22 + 14, bits, 2);
    return bytes;
}

// A TeX font metric file of four characters: its twelve lengths (lf, lh,
// bc, ec, nw, nh, nd, ni, nl, nk, ne, np), then lf words in all, and
// extra bytes after them.
std::string font_metrics(std::size_t extra)
{
    const std::uint32_t lengths[] = {18, 2, 0, 3, 2, 1, 1, 1, 0, 0, 0, 1};
    std::string bytes(18 * 4 + extra, '\x07');
    for (std::size_t at = 0; at < 12; at++) {
        bytes[2 * at] = static_cast<char>(lengths[at] >> 8);
        bytes[2 * at + 1] = static_cast<char>(lengths[at]);
    }
    return bytes;
}

// A GNU MO catalogue of three strings in either byte order: the header,
// both descriptor tables, then 20 bytes of strings.
std::string mo_catalogue(bool big, std::uint32_t translations_at = 52, std::uint32_t hashes = 0)
{
    std::string bytes = std::string(28 + 2 * 3 * 8, '\0') + std::string(20, 's');
    const std::uint32_t fields[] = {0x950412de, 0, 3, 28, translations_at, hashes, 76};
    for (std::size_t at = 0; at < 7; at++)
        for (std::size_t byte = 0; byte < 4; byte++)
            bytes[4 * at + (big ? 3 - byte : byte)] = static_cast<char>(fields[at] >> (8 * byte));
    return bytes;
}

// A TrueType font's offset table and records for five tables, the search
// fields as the count gives them, then 200 bytes of tables.
std::string sfnt_font(std::uint16_t search_range = 64)
{
    std::string bytes(12 + 5 * 16 + 200, '\0');
    const std::uint16_t fields[] = {1, 0, 5, search_range, 2, 16};
    for (std::size_t at = 0; at < 6; at++) {
        bytes[2 * at] = static_cast<char>(fields[at] >> 8);
        bytes[2 * at + 1] = static_cast<char>(fields[at]);
    }
    return bytes;
}

// A container no reader names: "KVDR", a count of three parts at 4 in
// either byte order, 6 bytes of other fields, then a 16-byte entry a part
// (tag, flags, offset, length) and the parts, 24 bytes each, the second
// moved by shift bytes, then extra bytes.
std::string directory(bool big, std::size_t extra = 0, std::uint32_t shift = 0)
{
    std::string bytes = "KVDR" + std::string(8 + 3 * 16 + 3 * 24 + extra, '\0');
    auto put = [&](std::size_t at, std::uint32_t value, int width) {
        for (int byte = 0; byte < width; byte++)
            bytes[at + (big ? width - 1 - byte : byte)] = static_cast<char>(value >> (8 * byte));
    };
    put(4, 3, 2);
    for (std::uint32_t part = 0; part < 3; part++) {
        put(12 + 16 * part + 8, 60 + 24 * part + (part == 1 ? shift : 0), 4);
        put(12 + 16 * part + 12, 24, 4);
    }
    return bytes;
}

// A directory behind a count and a flags word, its entries (offset,
// length, tag) pointing at six parts of 30 bytes: read a field early, the
// entries still point at the parts, but past a gap.
std::string directory_behind_flags()
{
    std::string bytes(8 + 6 * 12 + 6 * 30, '\x55');
    put_le(bytes, 0, 6, 4);
    put_le(bytes, 4, 0x10000, 4);
    for (std::uint32_t part = 0; part < 6; part++) {
        put_le(bytes, 8 + 12 * part, 80 + 30 * part, 4);
        put_le(bytes, 12 + 12 * part, 30, 4);
        put_le(bytes, 16 + 12 * part, 0x54414730 + part, 4);
    }
    return bytes;
}

// A file that is a list of contiguous extents (offset, length), one of
// whose lengths, read as a count, puts a directory's end where a later
// extent begins.
std::string extent_list()
{
    std::vector<std::uint32_t> lengths = {100, 100, 112, 40};
    for (int pair = 0; pair < 20; pair++)
        lengths.insert(lengths.end(), {12, 20});
    for (int four = 0; four < 20; four++)
        lengths.insert(lengths.end(), {3, 7, 5, 9});
    std::string bytes(8 * lengths.size(), '\0');
    std::uint32_t offset = 0;
    for (std::size_t extent = 0; extent < lengths.size(); extent++) {
        put_le(bytes, 8 * extent, offset, 4);
        put_le(bytes, 8 * extent + 4, lengths[extent], 4);
        offset += lengths[extent];
    }
    return bytes;
}

// An IDX file of bytes: three 2 x 2 images, or five labels, and extra
// bytes after them.
std::string idx_file(bool images, std::size_t extra = 0)
{
    std::string bytes = images ? std::string("\0\0\x08\x03", 4) + std::string(12, '\0')
                               : std::string("\0\0\x08\x01", 4) + std::string(4, '\0');
    put_be32(bytes, 4, images ? 3 : 5);
    if (images) {
        put_be32(bytes, 8, 2);
        put_be32(bytes, 12, 2);
    }
    return bytes + std::string(images ? 12 : 5, '\x07') + std::string(extra, '\0');
}

// A GIMP pattern of 6 x 4 RGBA pixels named "x" (a 26-byte header), or
// a version 2 brush of 6 x 4 grey pixels, its pixels all empty.
std::string gimp_pixels(bool pattern, std::size_t extra = 0)
{
    std::uint32_t header = pattern ? 26 : 30, bytes = pattern ? 4 : 1;
    std::string data(header + 6 * 4 * bytes + extra, '\0');
    const std::uint32_t fields[] = {header, pattern ? 1u : 2u, 6, 4, bytes};
    for (std::size_t at = 0; at < 5; at++)
        put_be32(data, 4 * at, fields[at]);
    data.replace(20, 4, pattern ? "GPAT" : "GIMP");
    data[header - 2] = 'x';
    return data;
}

// A PCF font's header and three table entries, the first of the given
// type, then 100 bytes of tables.
std::string pcf_font(std::uint32_t first_type)
{
    std::string bytes = std::string("\1fcp", 4) + std::string(4 + 3 * 16 + 100, '\0');
    put_le(bytes, 4, 3, 4);
    for (std::uint32_t table = 0; table < 3; table++)
        put_le(bytes, 8 + 16 * table, table == 0 ? first_type : 1u << (table + 1), 4);
    return bytes;
}

// An ICC profile of two tags: the 128-byte header (its size first, "acsp"
// at 36), the tag count, two 12-byte entries and 40 bytes of tag data.
std::string icc_profile(std::size_t stated_size, std::uint32_t first_tag_at = 156)
{
    std::string bytes(128 + 4 + 2 * 12 + 40, '\0');
    for (std::size_t byte = 0; byte < 4; byte++) {
        bytes[3 - byte] = static_cast<char>(stated_size >> (8 * byte));
        bytes[132 + 7 - byte] = static_cast<char>(first_tag_at >> (8 * byte));
    }
    bytes.replace(36, 4, "acsp");
    bytes[131] = 2;
    return bytes;
}

// A Stata dataset of release 110 or 114 of two variables (a long and a
// 3-byte string, 7 bytes an observation), one expansion field of 6 bytes,
// then the observations and 10 bytes of value labels.
std::string old_stata(unsigned char release, bool big, std::uint32_t observations)
{
    std::string bytes(109, '\0');
    bytes[0] = static_cast<char>(release);
    bytes[1] = big ? 1 : 2;
    bytes[2] = 1;
    bytes[big ? 5 : 4] = 2;
    for (int i = 0; i < 4; i++)
        bytes[6 + i] = static_cast<char>(observations >> (8 * (big ? 3 - i : i)));
    bytes += release == 110 ? std::string("l\x82") : std::string("\xFD\x03");
    std::size_t format = release >= 114 ? 49 : 12;
    bytes += std::string(2 * (33 + format + 33 + 81) + 2 * 3, 'n');
    bytes += std::string(1, '\x01') +
             (big ? std::string("\0\0\0\x06", 4) : std::string("\x06\0\0\0", 4)) + "abcdef" +
             std::string(5, '\0');
    return bytes + std::string(7 * observations, 'o') + std::string(10, 'v');
}

// A SoundFont bank whose sample chunk holds this many bytes.
std::string soundfont(std::uint32_t samples)
{
    std::string bytes = std::string("RIFF") + std::string(4, '\0') + "sfbkLIST" +
                        std::string(4, '\0') + "INFOifil" + std::string(8, '\0') + "LIST" +
                        std::string(4, '\0') + "sdtasmpl" + std::string(4, '\0') +
                        std::string(samples, '\x22') + "LIST" + std::string(4, '\0') + "pdta";
    put_le(bytes, 16, 16, 4);
    put_le(bytes, 28, 4, 4);
    put_le(bytes, 40, 12 + samples, 4);
    put_le(bytes, 52, samples, 4);
    return bytes;
}

// An UltraSound patch of one wave of this many bytes, 16-bit or 8-bit,
// and 6 bytes of a second wave after it.
std::string gus_patch(std::uint32_t data, bool wide)
{
    std::string bytes = std::string("GF1PATCH110\0ID#000002\0", 22) + std::string(335 - 22, '\0');
    put_le(bytes, 239 + 8, data, 4);
    bytes[239 + 55] = wide ? 0x41 : 0x40;
    return bytes + std::string(data, '\x33') + std::string(6, '\x44');
}

// A DOS header pointing at offset pe, and the signature found there.
std::string windows_program(std::uint32_t pe, const char* signature)
{
    std::string bytes(512, '\x90');
    bytes.replace(0, 2, "MZ");
    put_le(bytes, 0x3C, pe, 4);
    bytes.replace(pe, 4, std::string(signature) + std::string(2, '\0'));
    return bytes;
}

// A Stata dataset of release 117 or 118 holding observations of 6 bytes,
// its map pointing at <data> and the section after it (help dta).
std::string stata(const char* release, bool big, std::uint64_t observations,
                  std::uint64_t after_data_shift = 0)
{
    auto number = [big](std::uint64_t value, int width) {
        std::string bytes(static_cast<std::size_t>(width), '\0');
        for (int i = 0; i < width; i++)
            bytes[static_cast<std::size_t>(big ? width - 1 - i : i)] =
                static_cast<char>(value >> (8 * i));
        return bytes;
    };
    bool release_117 = std::string(release) == "117";
    std::string bytes = std::string("<stata_dta><header><release>") + release +
                        "</release><byteorder>" + (big ? "MSF" : "LSF") + "</byteorder><K>" +
                        number(1, 2) + "</K><N>" + number(observations, release_117 ? 4 : 8) +
                        "</N><label>" + number(0, release_117 ? 1 : 2) + "</label><timestamp>" +
                        number(0, 1) + "</timestamp></header><map>";
    std::size_t map = bytes.size();
    bytes +=
        std::string(14 * 8, '\0') + "</map><variable_types>" + number(6, 2) + "</variable_types>";
    std::size_t data = bytes.size();
    bytes += "<data>" + std::string(6 * observations, 'v') + "</data>";
    std::size_t strls = bytes.size();
    bytes += "<strls></strls><value_labels></value_labels></stata_dta>";
    bytes.replace(map + 9 * 8, 8, number(data, 8));
    bytes.replace(map + 10 * 8, 8, number(strls + after_data_shift, 8));
    return bytes;
}

// An SGI image's 512-byte header (big-endian) and data bytes after it.
std::string sgi(unsigned storage, unsigned bpc, unsigned dimension, unsigned x, unsigned y,
                unsigned z, std::size_t data)
{
    std::string bytes(512, '\0');
    auto put16 = [&](std::size_t at, unsigned value) {
        bytes[at] = static_cast<char>(value >> 8);
        bytes[at + 1] = static_cast<char>(value);
    };
    put16(0, 474);
    bytes[2] = static_cast<char>(storage);
    bytes[3] = static_cast<char>(bpc);
    put16(4, dimension);
    put16(6, x);
    put16(8, y);
    put16(10, z);
    return bytes + std::string(data, 'v');
}

// A Level 4 MAT-file's matrix: five 4-byte numbers, the name, the data.
std::string mat4(bool big, unsigned type, unsigned rows, unsigned columns, unsigned imaginary,
                 const std::string& name, std::size_t data)
{
    std::string bytes;
    for (unsigned word : {type, rows, columns, imaginary, static_cast<unsigned>(name.size() + 1)}) {
        for (int i = 0; i < 4; i++)
            bytes += static_cast<char>(word >> 8 * (big ? 3 - i : i));
    }
    return bytes + name + '\0' + std::string(data, 'v');
}

// A TGA image's 18-byte header, an id, a colour map of entries of
// map_entry bits, data bytes and what follows them.
std::string tga(unsigned type, unsigned depth, unsigned width, unsigned height, std::size_t data,
                const std::string& after = "", unsigned map_length = 0, unsigned map_entry = 0)
{
    std::string bytes(18, '\0');
    auto put16 = [&](std::size_t at, unsigned value) {
        bytes[at] = static_cast<char>(value);
        bytes[at + 1] = static_cast<char>(value >> 8);
    };
    std::string id = "scan 7";
    bytes[0] = static_cast<char>(id.size());
    bytes[1] = static_cast<char>(map_length > 0 ? 1 : 0);
    bytes[2] = static_cast<char>(type);
    put16(5, map_length);
    bytes[7] = static_cast<char>(map_entry);
    put16(12, width);
    put16(14, height);
    bytes[16] = static_cast<char>(depth);
    bytes[17] = depth == 32 ? 8 : 0;
    return bytes + id + std::string(map_length * ((map_entry + 7) / 8), 'm') +
           std::string(data, 'v') + after;
}

// A RIFF WAVE file of PCM samples whose fmt chunk states this block align
// (channels times bytes a sample, or 0 where a writer left it unset).
std::string wave(std::uint16_t channels, std::uint16_t bits, std::uint16_t align,
                 std::uint32_t data)
{
    std::string bytes = std::string("RIFF") + std::string(4, '\0') + "WAVEfmt " +
                        std::string(4 + 16, '\0') + "data" + std::string(4, '\0');
    put_le(bytes, 16, 16, 4);
    put_le(bytes, 20, 1, 2);
    put_le(bytes, 22, channels, 2);
    put_le(bytes, 32, align, 2);
    put_le(bytes, 34, bits, 2);
    put_le(bytes, 40, data, 4);
    bytes += std::string(data, '\x40');
    put_le(bytes, 4, static_cast<std::uint32_t>(bytes.size() - 8), 4);
    return bytes;
}

const std::string tga_footer = std::string(8, '\0') + std::string("TRUEVISION-XFILE.\0", 18);

struct stated_case {
    const char* name;
    std::string bytes;
    const char* expected; // format header length records trailer; "none"
};

std::string describe(const std::optional<stated_layout>& stated)
{
    if (!stated)
        return "none";
    return std::string(stated->format_name) + " " + std::to_string(stated->header) + " " +
           std::to_string(stated->record_length) + " " + std::to_string(stated->records) + " " +
           std::to_string(stated->trailer) +
           (stated->element != 0 ? " element " + std::to_string(stated->element) : "");
}

class KnownFormats : public testing::TestWithParam<stated_case>
{
};

TEST_P(KnownFormats, Chooses)
{
    const std::string& bytes = GetParam().bytes;
    EXPECT_EQ(describe(read_stated_layout(bytes_of(bytes), bytes.size())), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Headers, KnownFormats,
    testing::Values(
        stated_case{"greymap", "P5 4 3 255\n" + std::string(12, 'x'), "Netpbm image 11 4 3 0"},
        stated_case{"greymap_with_a_comment", "P5\n# by hand\n4 3\n255\n" + std::string(13, 'x'),
                    "Netpbm image 21 4 3 1"},
        // A top-down bitmap whose rows come to 2^64 bytes: the product must
        // not wrap to nothing.
        stated_case{"bitmap_rows_past_64_bits", bitmap(0x80000000, 0x80000000, 32), "none"},
        // A DICOM file whose preamble is a TIFF header is named by "DICM".
        stated_case{"dicom_behind_a_tiff_preamble",
                    std::string("II*\x00", 4) + std::string(124, '\0') + "DICM" +
                        std::string(64, '\x02'),
                    "DICOM file 0 0 0 0"},
        stated_case{"windows_program", windows_program(0x80, "PE"),
                    "Windows program or library 0 0 0 0"},
        // "MZ" alone, with no PE signature where it points, names nothing.
        stated_case{"mz_without_pe", windows_program(0x80, "XY"), "none"},
        // A header whose rows do not fit the file states nothing.
        stated_case{"greymap_cut_short", "P5 4 3 255\n" + std::string(11, 'x'), "none"},
        stated_case{"text", "P5 is a name\n", "none"},
        stated_case{"shapefile_of_one_length", shapefile({64, 64, 64}), "shapefile 100 136 3 0"},
        stated_case{"shapefile_of_lengths", shapefile({64, 40, 64}), "shapefile 100 0 0 0"},
        stated_case{"iso9660", disc_image(20), "ISO 9660 image 0 2048 20 0"},
        stated_case{"tex_font_metrics", font_metrics(0), "TeX font metrics 0 4 18 0"},
        stated_case{"tex_font_metrics_longer_than_stated", font_metrics(4), "none"},
        stated_case{"mo_little_endian", mo_catalogue(false), "message catalogue 28 8 6 20"},
        stated_case{"mo_big_endian", mo_catalogue(true), "message catalogue 28 8 6 20"},
        // Tables apart from each other: not records one after another.
        stated_case{"mo_tables_apart", mo_catalogue(false, 60), "message catalogue 0 0 0 0"},
        stated_case{"icc_profile", icc_profile(196), "ICC profile 132 12 2 40"},
        stated_case{"truetype_font", sfnt_font(), "TrueType font 12 16 5 200"},
        // Empty pixels show no period: the header gives the rows.
        stated_case{"gimp_pattern", gimp_pixels(true), "GIMP pattern 26 24 4 0 element 4"},
        stated_case{"gimp_brush", gimp_pixels(false), "GIMP brush 30 6 4 0"},
        stated_case{"gimp_pattern_longer_than_stated", gimp_pixels(true, 3), "none"},
        stated_case{"pcf_font", pcf_font(1), "PCF font 8 16 3 100"},
        // A type of two bits is no table's: the magic alone names the font.
        stated_case{"pcf_type_of_two_bits", pcf_font(3), "PCF font 0 0 0 0"},
        // Search fields that the count does not give: chance, not a font.
        stated_case{"truetype_search_off_its_count", sfnt_font(80), "none"},
        stated_case{"icc_size_off_the_file", icc_profile(200), "none"},
        // A directory no reader names, its entries pointing at parts that
        // fill the file: the entries are the records.
        stated_case{"directory_big_endian", directory(true), " 12 16 3 72"},
        stated_case{"directory_little_endian", directory(false, 8), " 12 16 3 80"},
        // Parts that stop short of the file's end, or that overlap, are
        // pointers by chance into a file of something else.
        stated_case{"directory_short_of_the_end", directory(true, 40), "none"},
        stated_case{"directory_parts_overlapping", directory(true, 0, 8), "none"},
        stated_case{"directory_behind_flags", directory_behind_flags(), " 8 12 6 180"},
        stated_case{"extents_are_no_directory", extent_list(), "none"},
        stated_case{"idx_images", idx_file(true), "IDX array 16 4 3 0 element 1"},
        stated_case{"idx_labels", idx_file(false), "IDX array 8 1 5 0"},
        // Values that do not end the file: the header is chance.
        stated_case{"idx_longer_than_stated", idx_file(true, 2), "none"},
        // Parts past the file's end: the header is chance, or damaged.
        stated_case{"mo_hash_table_past_the_end", mo_catalogue(false, 52, 1000),
                    "message catalogue 0 0 0 0"},
        stated_case{"icc_tag_past_the_end", icc_profile(196, 0xFFFFFFF0), "none"},
        stated_case{"icon_32_bits", icon(32, 32), "Windows icon 62 128 32 128"},
        stated_case{"icon_16_colours", icon(16, 4), "Windows icon 126 8 16 64"},
        // A directory whose entry names another size than its bitmap.
        stated_case{"icon_entry_off_its_bitmap", icon(32, 32).replace(6, 1, "\x10"), "none"},
        // An entry that sizes the image smaller than its rows.
        stated_case{"icon_rows_past_its_entry", icon(32, 32).replace(14, 2, "\x3C\x00"), "none"},
        stated_case{"wave_stereo_16", wave(2, 16, 4, 40), "WAVE audio 44 4 10 0"},
        stated_case{"wave_block_align_unset", wave(2, 16, 0, 40), "WAVE audio 44 4 10 0"},
        stated_case{"sas_transport",
                    "HEADER RECORD*******LIBRARY HEADER RECORD!!!!!!!" + std::string(272, '0'),
                    "SAS transport file 0 80 4 0"},
        stated_case{"fits", fits_cards(""), "FITS 0 2880 1 0"},
        stated_case{"strfile_index", strfile_index(30), "strfile index 24 4 31 0"},
        stated_case{"strfile_count_off_the_size", strfile_index(30, 4), "none"},
        stated_case{"npy_rows", npy("{'descr': '<f8', 'fortran_order': False, 'shape': (3, 9), }"),
                    "NumPy array 128 72 3 0 element 8"},
        // Datasets far smaller than the span their header is looked for in.
        stated_case{"stata_117_little_endian", stata("117", false, 3), "Stata dataset 300 6 3 63"},
        stated_case{"stata_118_big_endian", stata("118", true, 4), "Stata dataset 305 6 4 63"},
        stated_case{"stata_map_past_the_end", stata("118", false, 4, 1000), "none"},
        stated_case{"stata_110_little_endian", old_stata(110, false, 5),
                    "Stata dataset 451 7 5 10"},
        stated_case{"stata_114_big_endian", old_stata(114, true, 5), "Stata dataset 525 7 5 10"},
        stated_case{"stata_115_more_observations_than_bytes",
                    old_stata(115, false, 5).substr(0, 540), "none"},
        stated_case{"soundfont", soundfont(40), "SoundFont bank 56 2 20 12"},
        stated_case{"gus_patch_16_bits", gus_patch(40, true), "UltraSound patch 335 2 20 6"},
        stated_case{"gus_patch_8_bits", gus_patch(40, false), "UltraSound patch 335 1 40 6"},
        // Scanlines channel after channel; two bytes a value are the element.
        stated_case{"sgi_rgb", sgi(0, 1, 3, 4, 3, 3, 36), "SGI image 512 4 9 0"},
        stated_case{"sgi_two_bytes", sgi(0, 2, 2, 4, 3, 1, 24), "SGI image 512 8 3 0 element 2"},
        stated_case{"sgi_run_length", sgi(1, 1, 3, 4, 3, 3, 40), "SGI image 512 0 0 0"},
        stated_case{"sgi_cut_short", sgi(0, 1, 3, 4, 3, 3, 35), "none"},
        // No magic number: the header's every field and the file's size
        // must agree.
        stated_case{"tga_true_colour", tga(2, 24, 5, 4, 60), "TGA image 24 15 4 0"},
        stated_case{"tga_with_footer", tga(2, 32, 5, 4, 80, tga_footer), "TGA image 24 20 4 26"},
        stated_case{"tga_colour_mapped", tga(1, 8, 5, 4, 20, "", 16, 24), "TGA image 72 5 4 0"},
        stated_case{"tga_run_length", tga(10, 24, 5, 4, 60), "none"},
        stated_case{"tga_cut_short", tga(2, 24, 5, 4, 59), "none"},
        stated_case{"tga_bytes_after_the_rows", tga(2, 24, 5, 4, 60, "more"), "none"},
        // Nothing marks the format: the type, the flag and the name must fit.
        stated_case{"mat4_little_endian", mat4(false, 0, 3, 2, 0, "eeg", 48),
                    "MAT-file 24 24 2 0 element 8"},
        stated_case{"mat4_big_endian_single", mat4(true, 1010, 3, 2, 0, "x_1", 24),
                    "MAT-file 24 12 2 0 element 4"},
        stated_case{"mat4_complex", mat4(false, 0, 3, 2, 1, "eeg", 96), "none"},
        stated_case{"mat4_name_not_an_identifier", mat4(false, 0, 3, 2, 0, "e g", 48), "none"},
        stated_case{"mat5_little_endian", mat5(false), "MAT-file 184 12 4 0 element 4"},
        stated_case{"mat5_big_endian", mat5(true), "MAT-file 184 12 4 0 element 4"},
        stated_case{"mat5_complex", mat5(false, true), "none"},
        stated_case{"nifti1_little_endian", nifti(1, false), "NIfTI image 352 6 4 0 element 2"},
        stated_case{"nifti1_big_endian", nifti(1, true), "NIfTI image 352 6 4 0 element 2"},
        stated_case{"nifti2", nifti(2, false), "NIfTI image 544 6 4 0 element 2"},
        // An offset that is no number, or past the file's end, states nothing.
        stated_case{"nifti1_offset_not_a_number", nifti(1, false, std::nanf("")), "none"},
        stated_case{"nifti1_offset_past_the_end", nifti(1, false, 1e9f), "none"},
        // A 64-bit extent whose row (two bytes a voxel) wraps to 6 bytes
        // states nothing either.
        stated_case{"nifti2_extents_past_64_bits", nifti(2, false, 352, 0x8000000000000003),
                    "none"},
        // Dimensions whose product wraps 64 bits to a row of 8 bytes.
        stated_case{"npy_row_past_64_bits",
                    npy("{'descr': '<f8', 'fortran_order': False, "
                        "'shape': (3, 5, 5581, 49477, 8681, 384773), }"),
                    "none"},
        stated_case{"npy_fortran_order",
                    npy("{'descr': '<f8', 'fortran_order': True, 'shape': (3, 9), }"), "none"},
        // The same cards a line each are text, not FITS.
        stated_case{"fits_cards_as_lines", fits_cards("\n"), "none"}),
    [](const testing::TestParamInfo<stated_case>& info) { return info.param.name; });

} // namespace
