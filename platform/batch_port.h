#pragma once

namespace tlv {

// The session start and end batch files.
class BatchPort {
public:
    virtual ~BatchPort() = default;
    virtual void subRunSessionStartBatch() = 0;
    virtual void subRunSessionEndBatch() = 0;
};

} // namespace tlv
