#include "survey_fixtures.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <random>

namespace
{

void put_header(std::vector<unsigned char>& bytes, std::uint32_t header, std::mt19937& random)
{
    static const char magic[] = "HDR1";
    for (std::uint32_t at = 0; at < header; at++)
        bytes.push_back(at < 4 ? magic[at] : static_cast<unsigned char>(random()));
}

// Short records have room for a sample value and little else; longer ones
// carry the fields of a ledger.
void put_binary_record(std::vector<unsigned char>& bytes, std::uint32_t length, std::uint32_t index,
                       std::mt19937& random)
{
    std::vector<unsigned char> record(length, 0);
    if (length <= 4) {
        auto sample = static_cast<std::uint16_t>(2000 + 300 * std::sin(index / 9.0) +
                                                 40 * std::sin(index / 2.3) + random() % 64);
        record[0] = static_cast<unsigned char>(sample);
        record[1] = static_cast<unsigned char>(sample >> 8);
        if (length > 2)
            record[2] = static_cast<unsigned char>('A' + index % 3);
    } else {
        record[0] = static_cast<unsigned char>("AAAB"[random() % 4]);
        for (std::uint32_t i = 0; i < 4 && 1 + i < length; i++)
            record[1 + i] = static_cast<unsigned char>(index >> (8 * i));
        char name[32];
        std::snprintf(name, sizeof name, "NAME%06u", index);
        for (std::uint32_t i = 0; name[i] != '\0' && 8 + i < length * 3 / 4; i++)
            record[8 + i] = static_cast<unsigned char>(name[i]);
        for (std::uint32_t i = length * 3 / 4; i < length * 3 / 4 + 3 && i < length; i++)
            record[i] = static_cast<unsigned char>(random());
    }
    bytes.insert(bytes.end(), record.begin(), record.end());
}

} // namespace

file_sample fixture_file::sample() const
{
    file_sample sample;
    sample.file_size = bytes.size();
    std::size_t start = bytes.size() < SAMPLE_START_SIZE ? bytes.size() : SAMPLE_START_SIZE;
    sample.start = byte_span(bytes.data(), start);
    for (piece_plan piece : plan_later_pieces(bytes.size()))
        sample.later.push_back(
            {piece.offset, byte_span(bytes.data() + piece.offset, piece.length)});
    return sample;
}

fixture_file binary_records(std::uint32_t length, std::uint32_t count, std::uint32_t header,
                            std::uint32_t trailer, std::uint32_t seed)
{
    std::mt19937 random(seed);
    fixture_file file;
    put_header(file.bytes, header, random);
    for (std::uint32_t index = 0; index < count; index++)
        put_binary_record(file.bytes, length, index, random);
    for (std::uint32_t at = 0; at < trailer; at++)
        file.bytes.push_back(at == 0 ? 0x1A : static_cast<unsigned char>(random()));
    return file;
}

fixture_file text_records(std::uint32_t length, std::uint32_t count, std::uint32_t header,
                          std::uint32_t seed)
{
    static const char* names[] = {"ANNA BERG", "OLE DAHL", "KARI NORDMANN", "PER HANSEN", "LI"};
    std::mt19937 random(seed);
    fixture_file file;
    for (std::uint32_t at = 0; at < header; at++)
        file.bytes.push_back(static_cast<unsigned char>("FILE HEADER 2026-12-09 "[at % 23]));
    for (std::uint32_t index = 0; index < count; index++) {
        std::string record(length, ' ');
        char field[40];
        std::snprintf(field, sizeof field, "%08u", 10000 + index * 7);
        record.replace(0, 8, field);
        const char* name = names[random() % 5];
        record.replace(9, std::min<std::size_t>(std::strlen(name), length - 9), name);
        std::snprintf(field, sizeof field, "%010u", static_cast<unsigned>(random() % 100000000));
        if (length >= 40)
            record.replace(length - 11, 10, field);
        file.bytes.insert(file.bytes.end(), record.begin(), record.end());
    }
    return file;
}

fixture_file text_lines(const std::vector<std::string>& lines, const std::string& terminator)
{
    fixture_file file;
    for (const std::string& line : lines) {
        file.bytes.insert(file.bytes.end(), line.begin(), line.end());
        file.bytes.insert(file.bytes.end(), terminator.begin(), terminator.end());
    }
    return file;
}

std::vector<unsigned char> smooth_picture(int width, int height, int samples, int dark_rows)
{
    std::mt19937 noise(11);
    std::vector<unsigned char> bytes(static_cast<std::size_t>(width * samples * dark_rows), 0);
    for (int y = 0; y < height; y++) {
        for (int x = 0; x < width; x++) {
            double dx = x - 0.6 * width, dy = y - 0.4 * height;
            double spot = 120 * std::exp(-(dx * dx + dy * dy) / (width * width / 8.0));
            for (int sample = 0; sample < samples; sample++)
                bytes.push_back(static_cast<unsigned char>(spot + 0.4 * x + 30 * sample + 20 +
                                                           static_cast<double>(noise() % 5)));
        }
    }
    return bytes;
}

fixture_file random_bytes(std::uint32_t size, std::uint32_t seed)
{
    std::mt19937 random(seed);
    fixture_file file;
    for (std::uint32_t at = 0; at < size; at++)
        file.bytes.push_back(static_cast<unsigned char>(random()));
    return file;
}

byte_span bytes_of(std::string_view text)
{
    return {reinterpret_cast<const unsigned char*>(text.data()), text.size()};
}

std::vector<std::string_view> line_views(std::string_view text)
{
    std::vector<std::string_view> lines;
    while (!text.empty()) {
        std::size_t end = text.find('\n');
        lines.push_back(text.substr(0, end));
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    }
    return lines;
}
