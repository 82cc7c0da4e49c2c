// tlvpot FILE: writes the translation template of the built-in texts.
#include "core/pot_template.h"

#include <cstdio>
#include <fstream>

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: tlvpot FILE\n");
        return 2;
    }
    std::ofstream out(argv[1], std::ios::binary | std::ios::trunc);
    out << tlv::potTemplate();
    out.close();
    if (!out) {
        std::fprintf(stderr, "tlvpot: cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
