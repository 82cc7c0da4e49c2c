// The language-pack reader: a PO file of any bytes. libgettextpo reads from a path, so each
// input goes to an in-memory file reached through /proc/self/fd.
#include "platform/linux/po_lang_packs.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <sys/mman.h>
#include <unistd.h>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const int fd = memfd_create("tlvcli_fuzz.po", MFD_CLOEXEC);
    if (fd < 0)
        std::abort();
    for (size_t done = 0; done < size;) {
        const ssize_t n = write(fd, data + done, size - done);
        if (n <= 0)
            std::abort();
        done += static_cast<size_t>(n);
    }
    const std::string path = "/proc/self/fd/" + std::to_string(fd);
    const tlv::LangPackLookup r = tlv::PoLangPackStore::parseFile(path);
    // A pack or a reason, never neither.
    if (!r.pack && r.error.empty())
        std::abort();
    if (r.pack)
        for (const auto& [id, text] : r.pack->texts)
            if (text.empty())
                std::abort();
    close(fd);
    return 0;
}
