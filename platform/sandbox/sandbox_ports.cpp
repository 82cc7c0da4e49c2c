#include "platform/sandbox/sandbox_ports.h"

#include <string>

namespace tlv {

bool SandboxShellLockdown::toggle(const char* which, bool on) {
    m_log.record("lockdown", {which, on ? "-1" : "0"});
    return true;
}

void SandboxSoundMute::muteOnLock() {
    // A second lock before the unlock keeps the state saved by the first.
    if (!m_locked)
        m_saved = m_muted;
    m_locked = true;
    m_muted = true;
    m_log.record("mute", {"1"});
}

void SandboxSoundMute::restoreOnUnlock() {
    m_locked = false;
    m_muted = m_saved;
    m_log.record("mute", {m_muted ? "1" : "0"});
}

bool SandboxSessionEnd::exitWindows(int flags) {
    m_log.record("exitwindows", {std::to_string(flags)});
    return true;
}

} // namespace tlv
