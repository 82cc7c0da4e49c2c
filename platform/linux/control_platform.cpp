#include "platform/linux/control_platform.h"

#include "platform/linux/atspi_accessibility.h"
#include "platform/linux/linux_desktop_profile.h"
#include "platform/linux/posix_spawner.h"
#include "platform/linux/proc_table.h"
#include "platform/linux/x11_window_system.h"
#include "platform/sandbox/sandbox_control.h"

namespace tlv {

ControlPlatform makeControlPlatform(const RuntimeLayout& layout, const Environment& env,
                                    Scheduler& scheduler, ActionLog& actions) {
    ControlPlatform p;
    p.processes = std::make_unique<LinuxProcessTable>();
    const auto display = env.find("DISPLAY");
    p.realWindows =
        std::make_unique<X11WindowSystem>(display == env.end() ? std::string() : display->second);
    p.accessibility = std::make_unique<AtspiAccessibility>(&scheduler);
    if (layout.sandbox) {
        p.sandboxWindows =
            std::make_unique<SandboxWindowSystem>(*p.realWindows, actions, layout.realClosing);
        p.windows = p.sandboxWindows.get();
        if (layout.realClosing)
            p.realTerminator = std::make_unique<LinuxProcessTerminator>();
        p.terminator = std::make_unique<SandboxTerminator>(actions, p.realTerminator.get(),
                                                           p.realWindows.get());
        p.spawner = std::make_unique<SandboxSpawner>(actions);
        p.profile = std::make_unique<SandboxDesktopProfile>(actions, layout.userAppData);
    } else {
        p.windows = p.realWindows.get();
        p.terminator = std::make_unique<LinuxProcessTerminator>();
        auto spawner = std::make_unique<PosixSpawner>(scheduler);
        PosixSpawner* raw = spawner.get();
        p.spawner = std::move(spawner);
        p.profile = std::make_unique<LinuxDesktopProfile>(
            layout.userAppData, env,
            [raw](const std::vector<std::string>& argv) { return raw->spawn(argv) > 0; });
    }
    return p;
}

} // namespace tlv
