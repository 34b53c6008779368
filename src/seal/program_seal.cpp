#include "program_seal.h"

#include "image_digest.h"

#include <bit>
#include <cstring>

namespace
{

// Whenever a loaded image's header is mapped, its whole first page is.
constexpr std::uint64_t LOADED_HEADER_EXTENT = 4096;
// No part of korvalen comes near this; a header that says more is damaged.
constexpr std::uint64_t LARGEST_IMAGE = 1u << 30;
// Sections or segments that one image may have digested.
constexpr std::size_t MOST_PARTS = 32;

constexpr std::uint32_t ELF_LOADED_SEGMENT = 1;
constexpr std::uint32_t ELF_WRITABLE = 2;
constexpr std::uint32_t PE_SIGNATURE = 0x00004550; // "PE\0\0"
constexpr std::uint32_t PE_DISCARDABLE = 0x02000000;
constexpr std::uint32_t PE_WRITABLE = 0x80000000;
constexpr std::size_t PE_SECTION_ENTRY_SIZE = 40;
constexpr std::size_t PE_SECURITY_DIRECTORY = 4;
constexpr std::size_t PE_RELOCATION_DIRECTORY = 5;

// Where an image's bytes are: a file read whole, or the loader's layout.
struct image_view {
    const unsigned char* start;
    std::uint64_t extent; // bytes from start known to be readable
    bool loaded;
    std::uint64_t image_base; // loaded: the base its seal gives
};

// A range of the image; in a loaded one, by address from its start.
struct image_range {
    std::uint64_t at;
    std::uint64_t length;
};

bool holds(const image_view& view, std::uint64_t at, std::uint64_t length)
{
    return at <= view.extent && length <= view.extent - at;
}

std::uint64_t field(const image_view& view, std::uint64_t at, int width)
{
    return read_little_endian(view.start + at, width);
}

// A span digested as it lies, with the bytes that may differ from the
// file's put right afterwards.
struct digested_span {
    const unsigned char* bytes;
    std::uint64_t first_block;
};

digested_span take_in(image_digest& digest, const unsigned char* bytes, std::uint64_t length)
{
    digested_span span = {bytes, digest.blocks};
    digest_span(digest, bytes, static_cast<std::size_t>(length));
    return span;
}

void replace_field(image_digest& digest, const digested_span& span, std::uint64_t at, int width,
                   std::uint64_t value)
{
    for (int i = 0; i < width; i++) {
        unsigned char now = static_cast<unsigned char>(value >> (8 * i));
        digest_replace_byte(digest, span.first_block, at + i, span.bytes[at + i], now);
    }
}

void clear_bits(image_digest& digest, const digested_span& span, std::uint64_t at,
                unsigned char bits)
{
    unsigned char was = span.bytes[at];
    digest_replace_byte(digest, span.first_block, at, was, static_cast<unsigned char>(was & ~bits));
}

// ELF, 32- and 64-bit alike, by the offsets of the fields used.

struct elf_fields {
    std::uint64_t header_size;
    std::uint64_t segments_at, section_table_at, segment_entry_size, segment_count, section_count,
        section_names;
    int address_width;
    std::uint64_t segment_size, segment_flags, segment_offset, segment_address, segment_file_size;
};

constexpr elf_fields ELF32 = {52, 28, 32, 42, 44, 48, 50, 4, 32, 24, 4, 8, 16};
constexpr elf_fields ELF64 = {64, 32, 40, 54, 56, 60, 62, 8, 56, 4, 8, 16, 32};

struct elf_segment {
    std::uint32_t type, flags;
    std::uint64_t offset, address, file_size;
};

// The format and the segment table of an ELF file or image.
image_check read_elf(const image_view& view, const elf_fields*& fields, std::uint64_t& table,
                     std::uint64_t& count)
{
    static constexpr unsigned char MAGIC[] = {0x7F, 'E', 'L', 'F'};
    if (!holds(view, 0, 16) || std::memcmp(view.start, MAGIC, sizeof MAGIC) != 0)
        return image_check::unknown_format;
    unsigned char word_size = view.start[4], byte_order = view.start[5];
    if (byte_order != 1 || (word_size != 1 && word_size != 2))
        return image_check::unknown_format;
    fields = word_size == 2 ? &ELF64 : &ELF32;
    if (!holds(view, 0, fields->header_size))
        return image_check::malformed;
    table = field(view, fields->segments_at, fields->address_width);
    count = field(view, fields->segment_count, 2);
    if (field(view, fields->segment_entry_size, 2) != fields->segment_size ||
        !holds(view, table, count * fields->segment_size))
        return image_check::malformed;
    return image_check::digested;
}

elf_segment elf_segment_at(const image_view& view, const elf_fields& fields, std::uint64_t at)
{
    int width = fields.address_width;
    return {static_cast<std::uint32_t>(field(view, at, 4)),
            static_cast<std::uint32_t>(field(view, at + fields.segment_flags, 4)),
            field(view, at + fields.segment_offset, width),
            field(view, at + fields.segment_address, width),
            field(view, at + fields.segment_file_size, width)};
}

image_check digest_elf(const image_view& view, image_digest& digest)
{
    const elf_fields* fields = nullptr;
    std::uint64_t table = 0, count = 0;
    image_check format = read_elf(view, fields, table, count);
    if (format != image_check::digested)
        return format;
    // A loaded segment lies as far from the header as its address is
    // from that of the segment that maps the header.
    std::uint64_t header_address = 0;
    bool header_loaded = false;
    for (std::uint64_t i = 0; i < count && !header_loaded; i++) {
        elf_segment segment = elf_segment_at(view, *fields, table + i * fields->segment_size);
        header_loaded = segment.type == ELF_LOADED_SEGMENT && segment.offset == 0;
        header_address = segment.address;
    }
    if (!header_loaded)
        return image_check::malformed;
    bool any = false;
    for (std::uint64_t i = 0; i < count; i++) {
        elf_segment segment = elf_segment_at(view, *fields, table + i * fields->segment_size);
        if (segment.type != ELF_LOADED_SEGMENT || (segment.flags & ELF_WRITABLE) != 0)
            continue;
        std::uint64_t at = view.loaded ? segment.address - header_address : segment.offset;
        bool in_reach = view.loaded ? segment.address >= header_address && at < LARGEST_IMAGE &&
                                          segment.file_size < LARGEST_IMAGE
                                    : holds(view, at, segment.file_size);
        if (!in_reach)
            return image_check::malformed;
        digested_span span = take_in(digest, view.start + at, segment.file_size);
        any = true;
        if (segment.offset != 0)
            continue;
        if (segment.file_size < fields->header_size)
            return image_check::malformed;
        // Strip moves the section table and may drop sections; the
        // loader reads neither.
        replace_field(digest, span, fields->section_table_at, fields->address_width, 0);
        replace_field(digest, span, fields->section_count, 2, 0);
        replace_field(digest, span, fields->section_names, 2, 0);
    }
    return any ? image_check::digested : image_check::malformed;
}

// Windows programs, PE32 and PE32+, by the offsets of the fields used.

struct pe_headers {
    std::uint64_t file_header;     // the COFF header, behind the signature
    std::uint64_t optional_header; // its first field tells PE32 from PE32+
    std::uint64_t sections;        // the section table, which ends the headers
    std::uint64_t section_count;
    bool wide;
    std::uint64_t image_base_at, directories_at, directory_count;
    std::uint64_t image_size;
};

struct pe_section {
    std::uint64_t entry;
    std::uint32_t flags;
    std::uint64_t address, length, file_offset, file_size;
};

image_check read_pe(const image_view& view, pe_headers& pe)
{
    if (!holds(view, 0, 64) || view.start[0] != 'M' || view.start[1] != 'Z')
        return image_check::unknown_format;
    std::uint64_t signature = field(view, 0x3C, 4);
    if (!holds(view, signature, 24 + 2) || field(view, signature, 4) != PE_SIGNATURE)
        return image_check::malformed;
    pe.file_header = signature + 4;
    pe.section_count = field(view, pe.file_header + 2, 2);
    std::uint64_t optional_size = field(view, pe.file_header + 16, 2);
    pe.optional_header = pe.file_header + 20;
    std::uint64_t magic = field(view, pe.optional_header, 2);
    pe.wide = magic == 0x20B;
    if (!pe.wide && magic != 0x10B)
        return image_check::malformed;
    pe.image_base_at = pe.optional_header + (pe.wide ? 24 : 28);
    std::uint64_t directory_count_at = pe.optional_header + (pe.wide ? 108 : 92);
    pe.directories_at = directory_count_at + 4;
    pe.sections = pe.optional_header + optional_size;
    if (pe.directories_at > pe.sections ||
        !holds(view, pe.sections, pe.section_count * PE_SECTION_ENTRY_SIZE))
        return image_check::malformed;
    pe.directory_count = field(view, directory_count_at, 4);
    pe.image_size = field(view, pe.optional_header + 56, 4);
    return image_check::digested;
}

// Addresses of a PE32 image are 32 bits wide, whatever runs the code.
std::uint64_t address_mask(const pe_headers& pe)
{
    return pe.wide ? ~std::uint64_t{0} : 0xFFFFFFFFu;
}

bool has_directory(const pe_headers& pe, std::size_t index)
{
    return index < pe.directory_count && pe.directories_at + 8 * (index + 1) <= pe.sections;
}

pe_section pe_section_at(const image_view& view, const pe_headers& pe, std::uint64_t index)
{
    std::uint64_t entry = pe.sections + index * PE_SECTION_ENTRY_SIZE;
    pe_section section = {entry,
                          static_cast<std::uint32_t>(field(view, entry + 36, 4)),
                          field(view, entry + 12, 4),
                          field(view, entry + 8, 4),
                          field(view, entry + 20, 4),
                          field(view, entry + 16, 4)};
    // Past the file's data a section holds zeros, which a file of the
    // program has no bytes for.
    if (section.length == 0 || section.length > section.file_size)
        section.length = section.file_size;
    return section;
}

// Where a range given by address lies in the view; false when it lies
// outside.
bool locate(const image_view& view, const pe_headers& pe, std::uint64_t address,
            std::uint64_t length, std::uint64_t& at)
{
    if (view.loaded) {
        at = address;
        return address <= pe.image_size && length <= pe.image_size - address;
    }
    for (std::uint64_t i = 0; i < pe.section_count; i++) {
        pe_section section = pe_section_at(view, pe, i);
        if (address < section.address || address - section.address >= section.file_size)
            continue;
        at = section.file_offset + (address - section.address);
        return length <= section.file_size - (address - section.address) && holds(view, at, length);
    }
    return false;
}

void digest_pe_headers(const image_view& view, const pe_headers& pe, image_digest& digest)
{
    digested_span span = take_in(digest, view.start, pe.sections);
    // What strip and signing tools rewrite: the count of sections, the
    // time stamp, the symbol table, the flags that say symbols and debug
    // data were stripped, the size of the image and of the headers, the
    // checksum and the signature's place.
    replace_field(digest, span, pe.file_header + 2, 2, 0);
    replace_field(digest, span, pe.file_header + 4, 4, 0);
    replace_field(digest, span, pe.file_header + 8, 8, 0);
    clear_bits(digest, span, pe.file_header + 18, 0x0C);
    clear_bits(digest, span, pe.file_header + 19, 0x02);
    replace_field(digest, span, pe.optional_header + 56, 4, 0);
    replace_field(digest, span, pe.optional_header + 60, 4, 0);
    replace_field(digest, span, pe.optional_header + 64, 4, 0);
    if (has_directory(pe, PE_SECURITY_DIRECTORY))
        replace_field(digest, span, pe.directories_at + 8 * PE_SECURITY_DIRECTORY, 8, 0);
    // The loader may write where it put the image in place of where it
    // was linked for.
    int width = pe.wide ? 8 : 4;
    std::uint64_t load_address = reinterpret_cast<std::uintptr_t>(view.start) & address_mask(pe);
    if (view.loaded && field(view, pe.image_base_at, width) == load_address)
        replace_field(digest, span, pe.image_base_at, width, view.image_base);
}

struct digested_section {
    std::uint64_t address, length;
    digested_span span;
};

// Takes back what the loader added to each address in the digested
// sections when it moved the image by distance.
image_check undo_relocations(const unsigned char* table, std::uint64_t size, std::uint64_t distance,
                             const digested_section* sections, std::size_t count,
                             image_digest& digest)
{
    for (std::uint64_t block = 0; block + 8 <= size;) {
        std::uint64_t page = read_little_endian(table + block, 4);
        std::uint64_t block_size = read_little_endian(table + block + 4, 4);
        if (block_size < 8 || block_size > size - block)
            return image_check::malformed;
        for (std::uint64_t entry = block + 8; entry + 2 <= block + block_size; entry += 2) {
            std::uint64_t value = read_little_endian(table + entry, 2);
            std::uint64_t kind = value >> 12, address = page + (value & 0xFFF);
            if (kind == 0) // padding
                continue;
            if (kind != 3 && kind != 10) // other than 32-bit and 64-bit addresses
                return image_check::malformed;
            int width = kind == 3 ? 4 : 8;
            for (std::size_t i = 0; i < count; i++) {
                const digested_section& section = sections[i];
                if (address < section.address || address - section.address >= section.length)
                    continue;
                std::uint64_t at = address - section.address;
                std::uint64_t original =
                    read_little_endian(section.span.bytes + at, width) - distance;
                for (int b = 0; b < width && at + b < section.length; b++) {
                    unsigned char now = static_cast<unsigned char>(original >> (8 * b));
                    digest_replace_byte(digest, section.span.first_block, at + b,
                                        section.span.bytes[at + b], now);
                }
            }
        }
        block += block_size;
    }
    return image_check::digested;
}

image_check digest_pe(const image_view& view, image_digest& digest)
{
    pe_headers pe = {};
    image_check format = read_pe(view, pe);
    if (format != image_check::digested)
        return format;
    digest_pe_headers(view, pe, digest);
    digested_section sections[MOST_PARTS];
    std::size_t count = 0;
    for (std::uint64_t i = 0; i < pe.section_count; i++) {
        pe_section section = pe_section_at(view, pe, i);
        // Debug data is discardable and strip takes it away; the
        // relocation table, discardable too, comes below.
        if ((section.flags & (PE_WRITABLE | PE_DISCARDABLE)) != 0)
            continue;
        std::uint64_t at = 0;
        if (count == MOST_PARTS || !locate(view, pe, section.address, section.length, at))
            return image_check::malformed;
        // Its entry tells the loader what to map; where it lies in the
        // file changes when strip makes the headers shorter.
        digested_span entry = take_in(digest, view.start + section.entry, PE_SECTION_ENTRY_SIZE);
        replace_field(digest, entry, 20, 4, 0);
        sections[count++] = {section.address, section.length,
                             take_in(digest, view.start + at, section.length)};
    }
    if (count == 0)
        return image_check::malformed;
    std::uint64_t table_address = 0, table_size = 0, table_at = 0;
    if (has_directory(pe, PE_RELOCATION_DIRECTORY)) {
        std::uint64_t entry = pe.directories_at + 8 * PE_RELOCATION_DIRECTORY;
        table_address = field(view, entry, 4);
        table_size = field(view, entry + 4, 4);
    }
    if (table_size != 0) {
        if (!locate(view, pe, table_address, table_size, table_at))
            return image_check::malformed;
        take_in(digest, view.start + table_at, table_size);
    }
    if (!view.loaded)
        return image_check::digested;
    std::uint64_t distance =
        (reinterpret_cast<std::uintptr_t>(view.start) - view.image_base) & address_mask(pe);
    if (distance == 0)
        return image_check::digested;
    return undo_relocations(view.start + table_at, table_size, distance, sections, count, digest);
}

image_check digest_image(const image_view& view, std::uint64_t& digest_made)
{
    image_digest digest;
    image_check made = digest_elf(view, digest);
    if (made == image_check::unknown_format)
        made = digest_pe(view, digest);
    digest_made = digest_value(digest);
    return made;
}

// The ranges of a program file that hold writable data.
std::size_t writable_ranges(const image_view& view, image_range* ranges)
{
    std::size_t count = 0;
    const elf_fields* fields = nullptr;
    std::uint64_t table = 0, segments = 0;
    if (read_elf(view, fields, table, segments) == image_check::digested) {
        for (std::uint64_t i = 0; i < segments && count < MOST_PARTS; i++) {
            elf_segment segment = elf_segment_at(view, *fields, table + i * fields->segment_size);
            if (segment.type == ELF_LOADED_SEGMENT && (segment.flags & ELF_WRITABLE) != 0)
                ranges[count++] = {segment.offset, segment.file_size};
        }
        return count;
    }
    pe_headers pe = {};
    if (read_pe(view, pe) != image_check::digested)
        return 0;
    for (std::uint64_t i = 0; i < pe.section_count && count < MOST_PARTS; i++) {
        pe_section section = pe_section_at(view, pe, i);
        if ((section.flags & PE_WRITABLE) != 0)
            ranges[count++] = {section.file_offset, section.file_size};
    }
    return count;
}

} // namespace

image_check digest_program_file(const unsigned char* file, std::size_t size,
                                image_seal_values& values)
{
    image_view view = {file, size, false, 0};
    image_check made = digest_image(view, values.digest);
    values.image_base = 0;
    pe_headers pe = {};
    if (made == image_check::digested && read_pe(view, pe) == image_check::digested)
        values.image_base = field(view, pe.image_base_at, pe.wide ? 8 : 4);
    return made;
}

image_check digest_loaded_program(const unsigned char* image, std::uint64_t image_base,
                                  std::uint64_t& digest)
{
    image_view view = {image, LOADED_HEADER_EXTENT, true, image_base};
    return digest_image(view, digest);
}

std::ptrdiff_t find_seal(const unsigned char* file, std::size_t size)
{
    image_view view = {file, size, false, 0};
    image_range ranges[MOST_PARTS];
    std::size_t count = writable_ranges(view, ranges);
    std::ptrdiff_t found = -1;
    for (std::size_t r = 0; r < count; r++) {
        if (!holds(view, ranges[r].at, ranges[r].length))
            return -1;
        for (std::uint64_t at = ranges[r].at;
             at + sizeof(program_seal) <= ranges[r].at + ranges[r].length; at++) {
            if (std::memcmp(file + at, SEAL_MARKER, SEAL_MARKER_SIZE) != 0)
                continue;
            if (found >= 0)
                return -1;
            found = static_cast<std::ptrdiff_t>(at);
        }
    }
    return found;
}

std::uint64_t read_little_endian(const unsigned char* bytes, int count)
{
    // Headers are read field by field; the common widths take one load.
    if constexpr (std::endian::native == std::endian::little) {
        std::uint16_t half;
        std::uint32_t word;
        std::uint64_t wide;
        switch (count) {
        case 2:
            return std::memcpy(&half, bytes, 2), half;
        case 4:
            return std::memcpy(&word, bytes, 4), word;
        case 8:
            return std::memcpy(&wide, bytes, 8), wide;
        }
    }
    std::uint64_t value = 0;
    for (int i = 0; i < count; i++)
        value |= std::uint64_t{bytes[i]} << (8 * i);
    return value;
}

void write_little_endian(unsigned char* bytes, int count, std::uint64_t value)
{
    for (int i = 0; i < count; i++)
        bytes[i] = static_cast<unsigned char>(value >> (8 * i));
}
