// Writes the seal into a built korvalen: the CRC-32 of the whole file,
// computed with the seal's checksum field zeroed. The program checks it at
// every start. Run it again after anything that rewrites the file, such
// as strip.
#include "../src/driver/program_seal.h"

#include <cstdio>
#include <fstream>
#include <vector>

int main(int argument_count, char** arguments)
{
    if (argument_count != 2) {
        std::fprintf(stderr, "usage: seal_program PROGRAM_FILE\n");
        return 2;
    }
    const char* path = arguments[1];
    std::ifstream input(path, std::ios::binary | std::ios::ate);
    std::streamoff size = input.tellg();
    std::vector<unsigned char> image(size > 0 ? static_cast<std::size_t>(size) : 0);
    input.seekg(0);
    if (image.empty() || !input.read(reinterpret_cast<char*>(image.data()), size)) {
        std::fprintf(stderr, "seal_program: cannot read %s\n", path);
        return 1;
    }
    std::ptrdiff_t seal_at = find_seal(image.data(), image.size(), SEAL_MARKER);
    if (seal_at < 0) {
        std::fprintf(stderr, "seal_program: %s holds no seal, or more than one\n", path);
        return 1;
    }
    std::size_t at = static_cast<std::size_t>(seal_at);
    write_checksum_in_seal(image.data(), at, checksum_for_seal(image.data(), image.size(), at));
    std::ofstream output(path, std::ios::binary | std::ios::in | std::ios::out);
    output.seekp(static_cast<std::streamoff>(at));
    output.write(reinterpret_cast<const char*>(image.data() + at), SEAL_SIZE);
    if (!output.flush()) {
        std::fprintf(stderr, "seal_program: cannot write %s\n", path);
        return 1;
    }
    return 0;
}
