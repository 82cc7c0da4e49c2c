#pragma once

#include "platform/process_exit.h"

namespace tlv {

// Leaves the Qt event loop with the code; asked before the loop runs, it ends as soon as the
// loop starts.
class QtProcessExit : public ProcessExit {
public:
    void endProcess(int exitCode) override;
};

} // namespace tlv
