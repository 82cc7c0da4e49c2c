// The session snapshot reader: any stored "Serialized User" value, read when the client connects
// (subInitSerializedUser), with the real client, link and snapshot on fakes in virtual time.
// Input: a control byte (bit 0: stand-alone workstation, the value in the machine hive; bit 1:
// a self-service session ran in this program already, so the IDs may match), then the value.
#include "core/session_clock.h"
#include "tests/link/linked_client_rig.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

namespace {

const char* const kGeneral = "Software\\Talvor Client\\General";

void require(bool ok) {
    if (!ok)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace tlv;
    if (size == 0)
        return 0;
    const uint8_t control = data[0];
    const std::string value(reinterpret_cast<const char*>(data + 1), size - 1);
    test::LinkedClientRig rig;
    test::ClientRig& c = rig.c;
    const bool standalone = control & 1;
    c.c().settings().standaloneWorkstation = standalone;
    if (control & 2)
        rig.server().setSessionId(17);
    MemoryHive& hive = standalone ? c.machine : c.user;
    hive.set(kGeneral, "Serialized User", RegValue::sz(value));

    // Discovery and connection: the identification block, then the snapshot is read.
    if (!rig.connect())
        return 0;

    // Read once and cleared: 200 spaces afterwards, whatever it held; a restored self-service
    // session writes its own snapshot again on the next tick.
    const auto stored = hive.get(kGeneral, "Serialized User");
    require(stored && utf8Length(stored->text) == kSnapshotLength);
    const SessionRecord& r = c.c().sessionClock().record();
    if (c.c().state() == kStateSessionEnd) {
        // A restored session is one that ended, with counters it can have run.
        require(c.c().sessionType() == kSessionSelfService);
        require(r.elapsedMs >= 0 && r.connectedMs >= 0 && r.offPeakMs >= 0 &&
                r.disconnectedMs >= 0);
        require(stored->text.find_first_not_of(' ') != std::string::npos);
    } else {
        require(stored->text == std::string(kSnapshotLength, ' '));
    }
    // The client goes on with what it restored.
    c.scheduler.advance(1000);
    return 0;
}
