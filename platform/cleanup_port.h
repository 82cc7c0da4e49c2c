#pragma once

namespace tlv {

// Reset of the user's profile before a session.
class CleanupPort {
public:
    virtual ~CleanupPort() = default;
    virtual void subSessionCleanup() = 0;
};

} // namespace tlv
