#include "platform/sandbox/sandbox_ports.h"

#include <string>

namespace tlv {

bool SandboxShellLockdown::toggle(const char* which, bool on) {
    m_log.record("lockdown", {which, on ? "-1" : "0"});
    return true;
}

void SandboxSoundMute::muteOnLock() {
    m_saved = m_muted;
    m_muted = true;
    m_log.record("mute", {"1"});
}

void SandboxSoundMute::restoreOnUnlock() {
    m_muted = m_saved;
    m_log.record("mute", {m_muted ? "1" : "0"});
}

bool SandboxSessionEnd::exitWindows(int flags) {
    m_log.record("exitwindows", {std::to_string(flags)});
    return true;
}

} // namespace tlv
