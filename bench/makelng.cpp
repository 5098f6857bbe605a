// Writes the benchmarks' complete language file (see languagefile.h).
//
//   corvane_makelng <file.lng>

#include "languagefile.h"

#include <cstdio>

int main(int argc, char* argv[])
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <file.lng>\n", argv[0]);
        return 2;
    }
    if (!corvane::bench::writeLanguageFile(QString::fromLocal8Bit(argv[1]))) {
        std::fprintf(stderr, "%s: cannot write %s\n", argv[0], argv[1]);
        return 1;
    }
    return 0;
}
