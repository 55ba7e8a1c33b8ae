// EXTRACT CABINET TARGET: writes the first file of a cabinet to TARGET.
#include "ExtractFirstFile.h"

#include <cstdio>
#include <string>

int main(int argc, char *argv[])
{
    if (argc != 3) {
        std::fprintf(stderr, "Usage: EXTRACT CABINET TARGET\n"
                             "Writes the first file stored in CABINET to TARGET.\n");
        return 2;
    }
    std::string error;
    if (!extractFirstFile(argv[1], argv[2], error)) {
        std::fprintf(stderr, "EXTRACT: %s\n", error.c_str());
        return 1;
    }
    return 0;
}
