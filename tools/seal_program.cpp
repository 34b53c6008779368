// Writes the seal into a built korvalen: the digest of what the program
// checks of itself at every start (its code, read-only data and the
// headers that map them), and the address it was linked for. An ELF
// program or a Windows one, whatever machine this runs on. Strip and an
// appended signature leave the seal valid; nothing needs sealing again.
#include "../src/seal/program_seal.h"

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
    std::vector<unsigned char> file(size > 0 ? static_cast<std::size_t>(size) : 0);
    input.seekg(0);
    if (file.empty() || !input.read(reinterpret_cast<char*>(file.data()), size)) {
        std::fprintf(stderr, "seal_program: cannot read %s\n", path);
        return 1;
    }
    image_seal_values values;
    if (digest_program_file(file.data(), file.size(), values) != image_check::digested) {
        std::fprintf(stderr, "seal_program: %s is no ELF or Windows program it can read\n", path);
        return 1;
    }
    std::ptrdiff_t seal_at = find_seal(file.data(), file.size());
    if (seal_at < 0) {
        std::fprintf(stderr,
                     "seal_program: %s holds no seal in its writable data, or more than one\n",
                     path);
        return 1;
    }
    program_seal seal = {};
    for (std::size_t i = 0; i < SEAL_MARKER_SIZE; i++)
        seal.marker[i] = SEAL_MARKER[i];
    write_little_endian(seal.digest, 8, values.digest);
    write_little_endian(seal.image_base, 8, values.image_base);
    std::fstream output(path, std::ios::binary | std::ios::in | std::ios::out);
    output.seekp(seal_at);
    output.write(reinterpret_cast<const char*>(&seal), sizeof seal);
    if (!output.flush()) {
        std::fprintf(stderr, "seal_program: cannot write %s\n", path);
        return 1;
    }
    return 0;
}
