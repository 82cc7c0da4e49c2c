#pragma once

namespace tlv {

// One running client per graphical session (per machine root in sandbox mode).
class InstanceLock {
public:
    virtual ~InstanceLock() = default;
    // True when this process now holds the lock (kept until the object goes).
    virtual bool tryAcquire() = 0;
    // After a refusal: the other copy is the session guard's, started for this session (a copy
    // started at logon by the autostart entry simply makes way, without a message).
    virtual bool guardRunsOne() const { return false; }
};

} // namespace tlv
