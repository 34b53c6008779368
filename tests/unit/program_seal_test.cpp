#include "../../src/seal/image_digest.h"
#include "../../src/seal/program_seal.h"
#include "../../src/process/platform.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <iterator>
#include <random>
#include <vector>

namespace
{

using bytes = std::vector<unsigned char>;

bytes random_bytes(std::size_t count, unsigned seed)
{
    std::mt19937 generator(seed);
    bytes made(count);
    for (unsigned char& byte : made)
        byte = static_cast<unsigned char>(generator());
    return made;
}

// The digest of whole blocks by its definition.
std::uint64_t blocks_by_definition(const bytes& stream)
{
    image_digest digest;
    digest.blocks = stream.size() / 32;
    for (std::uint64_t word = 0; word < stream.size() / 8; word++) {
        std::uint64_t value = read_little_endian(stream.data() + 8 * word, 8);
        digest.sums[word % 4] += value;
        digest.sums_of_sums[word % 4] +=
            value * (digest.blocks / DIGEST_GROUP - word / 4 / DIGEST_GROUP);
    }
    return digest_value(digest);
}

// The digest by its definition: lane sums and sums of sums (taken at the
// end of every group of blocks) written out in closed form over the padded
// stream of spans, each followed by its length.
std::uint64_t digest_by_definition(const std::vector<bytes>& spans)
{
    bytes stream;
    for (const bytes& span : spans) {
        stream.insert(stream.end(), span.begin(), span.end());
        stream.resize((stream.size() + 31) / 32 * 32, 0);
        unsigned char length[32] = {};
        write_little_endian(length, 8, span.size());
        stream.insert(stream.end(), length, length + 32);
    }
    return blocks_by_definition(stream);
}

TEST(ImageDigest, BlockLoopsAgreeWithTheDefinition)
{
    std::vector<bytes> spans;
    unsigned seed = 1;
    for (std::size_t length : {0, 1, 31, 32, 33, 63, 64, 65, 96, 1000, 4099})
        spans.push_back(random_bytes(length, seed++));
    image_digest whole;
    for (const bytes& span : spans)
        digest_span(whole, span.data(), span.size());
    EXPECT_EQ(digest_value(whole), digest_by_definition(spans));

    // The loops over the same blocks, aligned and not, the AVX2 one where
    // the processor has it.
    alignas(32) unsigned char blocks[32 * 38];
    bytes filling = random_bytes(sizeof blocks, 99);
    std::memcpy(blocks, filling.data(), sizeof blocks);
    image_digest aligned, unaligned, wide;
    ASSERT_TRUE(digest_blocks_baseline(aligned, blocks, 37));
    std::memmove(blocks + 1, blocks, 32 * 37);
    ASSERT_TRUE(digest_blocks_baseline(unaligned, blocks + 1, 37));
    EXPECT_EQ(digest_value(aligned), digest_value(unaligned));
    if (!digest_blocks_avx2(wide, blocks + 1, 37))
        GTEST_SKIP() << "the processor has no AVX2";
    EXPECT_EQ(digest_value(aligned), digest_value(wide));
    EXPECT_EQ(aligned.blocks, wide.blocks);
}

// Whole blocks from every kind of place in a group: the blocks before the
// first group end (reaching it or not), whole groups, and the rest.
TEST(ImageDigest, BlockCountsFromAnyPlaceInAGroup)
{
    bytes stream = random_bytes(32 * 400, 3);
    for (std::size_t before : {0, 1, 8, 56, 57, 63, 64, 65})
        for (std::size_t count : {0, 1, 7, 8, 9, 55, 56, 63, 64, 65, 127, 128, 191, 200}) {
            SCOPED_TRACE(std::to_string(before) + " then " + std::to_string(count));
            bytes taken(stream.begin(), stream.begin() + 32 * (before + count));
            image_digest baseline, wide;
            digest_blocks_baseline(baseline, stream.data(), before);
            digest_blocks_baseline(baseline, stream.data() + 32 * before, count);
            EXPECT_EQ(digest_value(baseline), blocks_by_definition(taken));
            if (digest_blocks_avx2(wide, stream.data(), before)) {
                digest_blocks_avx2(wide, stream.data() + 32 * before, count);
                EXPECT_EQ(digest_value(wide), blocks_by_definition(taken));
            }
        }
}

TEST(ImageDigest, ReplacedBytesDigestAsIfTheyHadBeenThere)
{
    bytes first = random_bytes(200, 5), second = random_bytes(77, 6);
    image_digest patched;
    std::uint64_t first_block = patched.blocks;
    digest_span(patched, first.data(), first.size());
    digest_span(patched, second.data(), second.size());
    // Put right after a later span, as the relocations are.
    for (std::size_t at : {0, 7, 8, 95, 199}) {
        digest_replace_byte(patched, first_block, at, first[at], static_cast<unsigned char>(at));
        first[at] = static_cast<unsigned char>(at);
    }
    EXPECT_EQ(digest_value(patched), digest_by_definition({first, second}));
}

TEST(ImageDigest, EveryChangedByteChangesTheDigest)
{
    bytes span = random_bytes(300, 7);
    std::uint64_t intact = digest_by_definition({span});
    for (std::size_t at = 0; at < span.size(); at++) {
        for (unsigned char flip : {0x01, 0x80, 0xFF}) {
            span[at] ^= flip;
            image_digest digest;
            digest_span(digest, span.data(), span.size());
            EXPECT_NE(digest_value(digest), intact) << "byte " << at;
            span[at] ^= flip;
        }
    }
}

// ELF: this test program itself, as a file and as the loader laid it out.

bytes own_file()
{
    std::ifstream input("/proc/self/exe", std::ios::binary);
    return bytes((std::istreambuf_iterator<char>(input)), std::istreambuf_iterator<char>());
}

std::uint64_t file_digest(const bytes& file)
{
    image_seal_values values;
    EXPECT_EQ(digest_program_file(file.data(), file.size(), values), image_check::digested);
    return values.digest;
}

TEST(ProgramSeal, LoadedElfImageDigestsAsItsFile)
{
    const unsigned char* image = platform_own_image();
    bytes file = own_file();
    if (image == nullptr || file.empty())
        GTEST_SKIP() << "no loaded ELF image, or no /proc to read its file";
    std::uint64_t loaded = 0;
    ASSERT_EQ(digest_loaded_program(image, 0, loaded), image_check::digested);
    EXPECT_EQ(loaded, file_digest(file));

    // What strip rewrites in the header, and bytes appended, do not count;
    // a byte of the header or of the code does.
    bytes stripped = file;
    std::memset(stripped.data() + 40, 0x5A, 8);
    std::memset(stripped.data() + 60, 0x5A, 4);
    stripped.insert(stripped.end(), 1000, 0xEE);
    EXPECT_EQ(file_digest(stripped), loaded);
    // The code of the digest itself, where a linker lays the file out as
    // it is loaded.
    std::size_t code =
        static_cast<std::size_t>(reinterpret_cast<const unsigned char*>(&digest_span) - image);
    ASSERT_LT(code, file.size());
    ASSERT_EQ(file[code], image[code]);
    for (std::size_t at : {std::size_t{24}, std::size_t{58}, code}) {
        bytes damaged = file;
        damaged[at] ^= 0x10;
        EXPECT_NE(file_digest(damaged), loaded) << "byte " << at;
    }
}

// Windows: a small program made here, laid out as a loader would, at the
// address it was linked for and elsewhere.

constexpr std::uint32_t CODE = 0x60000020, DATA = 0xC0000040, RELOCATIONS = 0x42000040,
                        DEBUG = 0x42100040;

struct pe_program {
    bool wide;
    std::uint64_t image_base;
    bool with_debug_section = false;
};

constexpr std::uint64_t PE_AT = 0x80, FILE_HEADER = PE_AT + 4, OPTIONAL_HEADER = PE_AT + 24;

std::uint64_t optional_size(bool wide)
{
    return wide ? 240 : 224;
}

// Headers in the first 0x400 bytes; .text, .data (with the seal), .reloc
// and, when asked, a debug section, 0x200 bytes each, at addresses 0x1000
// apart.
bytes make_pe(const pe_program& program)
{
    bytes file(0x400, 0);
    file[0] = 'M', file[1] = 'Z';
    write_little_endian(&file[0x3C], 4, PE_AT);
    write_little_endian(&file[PE_AT], 4, 0x4550);
    std::uint64_t section_count = program.with_debug_section ? 4 : 3;
    write_little_endian(&file[FILE_HEADER], 2, program.wide ? 0x8664 : 0x14C);
    write_little_endian(&file[FILE_HEADER + 2], 2, section_count);
    write_little_endian(&file[FILE_HEADER + 16], 2, optional_size(program.wide));
    unsigned char* optional = &file[OPTIONAL_HEADER];
    write_little_endian(optional, 2, program.wide ? 0x20B : 0x10B);
    if (program.wide)
        write_little_endian(optional + 24, 8, program.image_base);
    else
        write_little_endian(optional + 28, 4, program.image_base);
    write_little_endian(optional + 56, 4, 0x1000 * (section_count + 1));
    write_little_endian(optional + 60, 4, 0x400);
    unsigned char* directories = optional + (program.wide ? 112 : 96);
    write_little_endian(directories - 4, 4, 16);
    write_little_endian(directories + 8 * 5, 4, 0x3000);
    write_little_endian(directories + 8 * 5 + 4, 4, 12);
    unsigned char* table = optional + optional_size(program.wide);
    const std::uint32_t flags[] = {CODE, DATA, RELOCATIONS, DEBUG};
    for (std::uint64_t i = 0; i < section_count; i++) {
        unsigned char* entry = table + 40 * i;
        const char* names[] = {".text", ".data", ".reloc", "/4"};
        std::memcpy(entry, names[i], std::strlen(names[i]));
        write_little_endian(entry + 8, 4, 0x200);
        write_little_endian(entry + 12, 4, 0x1000 * (i + 1));
        write_little_endian(entry + 16, 4, 0x200);
        write_little_endian(entry + 20, 4, 0x400 + 0x200 * i);
        write_little_endian(entry + 36, 4, flags[i]);
    }
    bytes sections = random_bytes(0x200 * section_count, program.wide ? 3 : 4);
    file.insert(file.end(), sections.begin(), sections.end());
    // Two addresses of .data in the code, which the loader must move with
    // the image.
    int width = program.wide ? 8 : 4;
    write_little_endian(&file[0x400 + 0x10], width, program.image_base + 0x2000);
    write_little_endian(&file[0x400 + 0x1F0], width, program.image_base + 0x2010);
    std::memcpy(&file[0x600 + 0x20], SEAL_MARKER, SEAL_MARKER_SIZE);
    unsigned char* relocations = &file[0x800];
    std::uint64_t kind = program.wide ? 10 : 3;
    write_little_endian(relocations, 4, 0x1000);
    write_little_endian(relocations + 4, 4, 12);
    write_little_endian(relocations + 8, 2, kind << 12 | 0x10);
    write_little_endian(relocations + 10, 2, kind << 12 | 0x1F0);
    return file;
}

// The image a loader makes of file at image, moved from the base the file
// was linked for; a loader may write the new base into the headers.
void load_pe(const bytes& file, bool wide, unsigned char* image, bool write_base)
{
    std::memcpy(image, file.data(), 0x400);
    for (std::uint64_t i = 0; i < 3; i++)
        std::memcpy(image + 0x1000 * (i + 1), &file[0x400 + 0x200 * i], 0x200);
    int width = wide ? 8 : 4;
    std::uint64_t base_at = OPTIONAL_HEADER + (wide ? 24 : 28);
    std::uint64_t mask = wide ? ~std::uint64_t{0} : 0xFFFFFFFFu;
    std::uint64_t address = reinterpret_cast<std::uintptr_t>(image) & mask;
    std::uint64_t distance = address - read_little_endian(&file[base_at], width);
    for (std::uint64_t at : {0x1010, 0x11F0}) {
        std::uint64_t value = read_little_endian(image + at, width);
        write_little_endian(image + at, width, value + distance);
    }
    if (write_base)
        write_little_endian(image + base_at, width, address);
}

TEST(ProgramSeal, LoadedPeImageDigestsAsItsFileWhereverItLies)
{
    bytes image(0x5000);
    std::uint64_t here = reinterpret_cast<std::uintptr_t>(image.data());
    for (bool wide : {false, true}) {
        std::uint64_t mask = wide ? ~std::uint64_t{0} : 0xFFFFFFFFu;
        for (std::uint64_t base : {here & mask, (here + 0x7FFF0000) & mask}) {
            for (bool write_base : {false, true}) {
                SCOPED_TRACE(testing::Message()
                             << (wide ? "PE32+" : "PE32") << " linked for " << std::hex << base
                             << " loaded at " << here << (write_base ? ", base rewritten" : ""));
                bytes file = make_pe({wide, base});
                image_seal_values sealed;
                ASSERT_EQ(digest_program_file(file.data(), file.size(), sealed),
                          image_check::digested);
                EXPECT_EQ(sealed.image_base, base);
                std::fill(image.begin(), image.end(), 0);
                load_pe(file, wide, image.data(), write_base);
                std::uint64_t loaded = 0;
                ASSERT_EQ(digest_loaded_program(image.data(), sealed.image_base, loaded),
                          image_check::digested);
                EXPECT_EQ(loaded, sealed.digest);

                // A moved image whose addresses the loader did not fix.
                if (base != (here & mask)) {
                    std::memcpy(&image[0x1000], &file[0x400], 0x200);
                    digest_loaded_program(image.data(), sealed.image_base, loaded);
                    EXPECT_NE(loaded, sealed.digest);
                }
            }
        }
    }
}

TEST(ProgramSeal, PeDigestIgnoresStripAndSigningButNotCodeOrHeaders)
{
    bytes file = make_pe({true, 0x140000000});
    std::uint64_t intact = file_digest(file);

    bytes with_debug = make_pe({true, 0x140000000, true});
    EXPECT_EQ(file_digest(with_debug), intact);
    // Stripped: time stamp, symbol table, flags, sizes, checksum, headers
    // shortened (every section's file offset moves), signature appended.
    bytes stripped = file;
    write_little_endian(&stripped[FILE_HEADER + 4], 4, 0x65432100);
    write_little_endian(&stripped[FILE_HEADER + 8], 8, 0x1234);
    write_little_endian(&stripped[FILE_HEADER + 18], 2, 0x020C);
    write_little_endian(&stripped[OPTIONAL_HEADER + 64], 4, 0xC0FFEE);
    write_little_endian(&stripped[OPTIONAL_HEADER + 112 + 8 * 4], 8, 0x0000100000000C00);
    stripped.erase(stripped.begin() + 0x200, stripped.begin() + 0x400);
    write_little_endian(&stripped[OPTIONAL_HEADER + 60], 4, 0x200);
    for (std::uint64_t i = 0; i < 3; i++)
        write_little_endian(&stripped[OPTIONAL_HEADER + 240 + 40 * i + 20], 4, 0x200 * (i + 1));
    stripped.insert(stripped.end(), 3000, 0x30);
    EXPECT_EQ(file_digest(stripped), intact);

    for (std::uint64_t at :
         {std::uint64_t{0x4E}, FILE_HEADER, OPTIONAL_HEADER + 24, OPTIONAL_HEADER + 240 + 36,
          std::uint64_t{0x400 + 0x100}, std::uint64_t{0x800 + 8}}) {
        bytes damaged = file;
        damaged[at] ^= 0x04;
        image_seal_values values;
        digest_program_file(damaged.data(), damaged.size(), values);
        EXPECT_NE(values.digest, intact) << "byte " << std::hex << at;
    }
    // Writable data is not digested.
    bytes data_changed = file;
    data_changed[0x600 + 0x100] ^= 1;
    EXPECT_EQ(file_digest(data_changed), intact);
}

TEST(ProgramSeal, SealIsFoundOnlyOnceAndOnlyInWritableData)
{
    bytes file = make_pe({true, 0x140000000});
    EXPECT_EQ(find_seal(file.data(), file.size()), 0x600 + 0x20);
    std::memcpy(&file[0x400 + 0x40], SEAL_MARKER, SEAL_MARKER_SIZE); // in the code
    EXPECT_EQ(find_seal(file.data(), file.size()), 0x600 + 0x20);
    std::memcpy(&file[0x600 + 0x100], SEAL_MARKER, SEAL_MARKER_SIZE);
    EXPECT_EQ(find_seal(file.data(), file.size()), -1);
    bytes not_a_program = random_bytes(500, 8);
    EXPECT_EQ(find_seal(not_a_program.data(), not_a_program.size()), -1);
    image_seal_values values;
    EXPECT_EQ(digest_program_file(not_a_program.data(), not_a_program.size(), values),
              image_check::unknown_format);
}

} // namespace
