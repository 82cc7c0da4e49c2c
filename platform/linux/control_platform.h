#pragma once

// The process, window, accessibility, spawner and profile ports of the composition root: the
// Linux ones, or in sandbox mode the recorders in front of the read-only Linux ones (and of
// the closing ones, with TLVCLI_REAL_CLOSING=1).

#include "platform/desktop_profile.h"
#include "platform/paths.h"
#include "platform/processes.h"
#include "platform/window_system.h"

#include <memory>

namespace tlv {

class ActionLog;
class Scheduler;

struct ControlPlatform {
    std::unique_ptr<ProcessTable> processes;
    std::unique_ptr<WindowSystem> realWindows;
    WindowSystem* windows = nullptr; // realWindows, or its sandbox recorder
    std::unique_ptr<WindowSystem> sandboxWindows;
    std::unique_ptr<ProcessTerminator> realTerminator; // behind the sandbox's, when it acts
    std::unique_ptr<ProcessTerminator> terminator;
    std::unique_ptr<BrowserAccessibility> accessibility;
    std::unique_ptr<ProcessSpawner> spawner;
    std::unique_ptr<DesktopProfile> profile;
};

ControlPlatform makeControlPlatform(const RuntimeLayout& layout, const Environment& env,
                                    Scheduler& scheduler, ActionLog& actions);

} // namespace tlv
