#pragma once

#include <cstdint>
#include <optional>

namespace tlv {

enum class ShellSwitch { Taskbar, Desktop, TaskSwitching, CtrlAltDel };

// The desktop switch library: one call per switch with -1 (show / allow) or 0 (hide / prevent).
class LockLibrary {
public:
    virtual ~LockLibrary() = default;
    // The library's answer, or nothing when the library or its entry cannot be reached.
    virtual std::optional<int32_t> call(ShellSwitch which, int32_t arg) = 0;
};

} // namespace tlv
