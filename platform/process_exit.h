#pragma once

namespace tlv {

// Ends the process: on the event loop, after the current event has finished.
class ProcessExit {
public:
    virtual ~ProcessExit() = default;
    virtual void endProcess(int exitCode) = 0;
};

} // namespace tlv
