/* The least any run of korvalen must do: open the file named by the first
   argument, read its first 16,000 bytes in one read, and end. A whole run
   of korvalen is measured against this program. */
#include <fcntl.h>
#include <unistd.h>

static char sample[16000];

int main(int argc, char** argv)
{
    if (argc < 2)
        return 2;
    int file = open(argv[1], O_RDONLY);
    if (file < 0)
        return 2;
    if (read(file, sample, sizeof sample) < 0)
        return 2;
    return 0;
}
