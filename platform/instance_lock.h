#pragma once

namespace tlv {

// One running client per machine root.
class InstanceLock {
public:
    virtual ~InstanceLock() = default;
    // True when this process now holds the lock (kept until the object goes).
    virtual bool tryAcquire() = 0;
};

} // namespace tlv
