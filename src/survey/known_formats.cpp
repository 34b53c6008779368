#include "known_formats.h"

#include <cstring>

namespace
{

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

    bool holds(std::uint64_t offset, const char* text) const
    {
        std::size_t length = std::strlen(text);
        return has(offset, length) && std::memcmp(bytes.data() + offset, text, length) == 0;
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
    // The descriptors end with 0x0D at a multiple of 32 within the header.
    bool terminated = false;
    for (std::uint64_t at = 32; at < header && in.has(at, 1); at += 32) {
        if (in.bytes[at] == 0x0D) {
            terminated = true;
            break;
        }
    }
    if (!terminated)
        return std::nullopt;
    return stated_layout{"dBASE table", header, length, records, size - end};
}

// RIFF WAVE audio: the "fmt " chunk's block align is the size of one frame
// of samples; the "data" chunk holds the frames.
std::optional<stated_layout> read_wave(const header_reader& in, std::uint64_t size)
{
    if (!in.holds(0, "RIFF") || !in.holds(8, "WAVE"))
        return std::nullopt;
    std::uint64_t frame = 0;
    for (std::uint64_t chunk = 12; in.has(chunk, 8);) {
        std::uint64_t chunk_size = in.le32(chunk + 4);
        if (in.holds(chunk, "fmt ") && chunk_size >= 16 && in.has(chunk + 8, 16))
            frame = in.le16(chunk + 8 + 12);
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
        if (in.le32(4) != 0 || length == 0 || length != height * ((width + 7) / 8) ||
            header + glyphs * length > size || glyphs == 0)
            return std::nullopt;
        return stated_layout{"PC screen font", header, length, glyphs,
                             size - header - glyphs * length};
    }
    return std::nullopt;
}

// ESRI shapefile index: a 100-byte header with the file code 9994 and the
// file's length in 16-bit words, then an offset and a length for each shape.
std::optional<stated_layout> read_shape_index(const header_reader& in, std::uint64_t size)
{
    if (!in.has(0, 100) || in.be32(0) != 9994 || in.le32(28) != 1000)
        return std::nullopt;
    if (std::uint64_t{in.be32(24)} * 2 != size)
        return std::nullopt;
    return records_to_end("shapefile index", 100, 8, size);
}

// FITS: headers and data alike come in logical records of 2880 bytes.
std::optional<stated_layout> read_fits(const header_reader& in, std::uint64_t size)
{
    if (!in.holds(0, "SIMPLE  = ") || !in.has(0, 80) || in.bytes[29] != 'T')
        return std::nullopt;
    return records_to_end("FITS", 0, 2880, size);
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

} // namespace

std::optional<stated_layout> read_stated_layout(byte_span start, std::uint64_t file_size)
{
    header_reader in{start};
    using reader = std::optional<stated_layout> (*)(const header_reader&, std::uint64_t);
    static const reader readers[] = {read_wave, read_sun_audio, read_psf,    read_shape_index,
                                     read_fits, read_tar,       read_sqlite, read_dbase};
    for (reader read : readers) {
        if (std::optional<stated_layout> stated = read(in, file_size))
            return stated;
    }
    return std::nullopt;
}
