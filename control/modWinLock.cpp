#include "control/modWinLock.h"

#include "core/error.h"
#include "core/log.h"
#include "platform/lock_library.h"

namespace tlv {

bool modWinLock::toggle(int which, bool on, const char* context) {
    try {
        if (!m_library)
            throw TlvError(53, "File not found: TlvWinLock", "modWinLock");
        const auto r = m_library->call(static_cast<ShellSwitch>(which), on ? -1 : 0);
        if (!r)
            throw TlvError(453, "Can't find DLL entry point in TlvWinLock", "modWinLock");
        return (static_cast<uint32_t>(*r) & 0xFFFFu) != 0;
    } catch (const std::exception& e) {
        if (Logger* log = m_log ? m_log() : nullptr)
            log->subLogError(context, e);
        return false;
    }
}

bool modWinLock::funToggleTaskbar(bool on) {
    return toggle(static_cast<int>(ShellSwitch::Taskbar), on, "modWinLock.funToggleTaskbarError");
}
bool modWinLock::funToggleDesktop(bool on) {
    return toggle(static_cast<int>(ShellSwitch::Desktop), on, "modWinLock.funToggleDesktopError");
}
bool modWinLock::funToggleTaskSwitching(bool on) {
    return toggle(static_cast<int>(ShellSwitch::TaskSwitching), on,
                  "modWinLock.funToggleTaskSwitchingError");
}
bool modWinLock::funToggleCtrlAltDel(bool on) {
    return toggle(static_cast<int>(ShellSwitch::CtrlAltDel), on,
                  "modWinLock.funToggleCtrlAltDelError");
}

} // namespace tlv
