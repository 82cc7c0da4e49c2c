// The receive path: wire bytes in reads of any size through the data-arrival handler, the
// receive buffer and the dispatcher, with recording fakes for every port and virtual time.
// Input: a control byte per read (low 6 bits: length - 1; 0x40: an end token follows;
// 0x80: 300 ms pass after it), then the read's bytes.
#include "tests/link/fake_host.h"

#include <cstddef>
#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace tlv;
    static const std::string kEnd = utf8ToCp1252(tok::kMessageEnd);
    test::LinkRig r;
    r.connect();
    for (size_t i = 0; i < size;) {
        const uint8_t c = data[i++];
        const size_t len = std::min<size_t>((c & 0x3F) + 1, size - i);
        std::string read(reinterpret_cast<const char*>(data + i), len);
        i += len;
        if (c & 0x40)
            read += kEnd;
        if (r.sockets.tcp.empty())
            break;
        r.tcp().deliver(read);
        r.wksn.isDisabled = false;
        r.scheduler.runPending();
        if (c & 0x80)
            r.scheduler.advance(300);
    }
    return 0;
}
