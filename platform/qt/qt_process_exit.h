#pragma once

#include "platform/process_exit.h"

namespace tlv {

// Leaves the Qt event loop with the code; asked before the loop runs, it ends as soon as the
// loop starts.
class QtProcessExit : public ProcessExit {
public:
    void endProcess(int exitCode) override;
    // Runs the application's event loop unless the end was asked for already. A request made
    // inside a nested loop that ran before it (a modal dialog at start-up) is not lost: Qt
    // forgets such a quit when the main loop starts.
    int exec();

private:
    bool m_requested = false;
    int m_exitCode = 0;
};

} // namespace tlv
