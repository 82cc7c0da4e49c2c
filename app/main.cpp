#include "tlv_version.h"

#include <cstdio>

int main() {
    std::printf("%s %s\n", tlv::kExeName, tlv::kVersionText);
    return 0;
}
