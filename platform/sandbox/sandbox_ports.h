#pragma once

#include "platform/actions.h"
#include "platform/session_end.h"
#include "platform/shell_lockdown.h"
#include "platform/sound_mute.h"

namespace tlv {

// Sandbox mode: the actions on the PC are written to the actions log instead.
class SandboxShellLockdown : public ShellLockdown {
public:
    // With a real lockdown behind it (a test of the lock on a private display), each switch
    // is recorded and then done; its answer is the real one.
    explicit SandboxShellLockdown(ActionLog& log, ShellLockdown* real = nullptr)
        : m_log(log), m_real(real) {}
    bool funToggleTaskbar(bool on) override {
        return toggle("Taskbar", on) && (!m_real || m_real->funToggleTaskbar(on));
    }
    bool funToggleDesktop(bool on) override {
        return toggle("Desktop", on) && (!m_real || m_real->funToggleDesktop(on));
    }
    bool funToggleTaskSwitching(bool on) override {
        return toggle("TaskSwitching", on) && (!m_real || m_real->funToggleTaskSwitching(on));
    }
    bool funToggleCtrlAltDel(bool on) override {
        return toggle("CtrlAltDel", on) && (!m_real || m_real->funToggleCtrlAltDel(on));
    }

private:
    bool toggle(const char* which, bool on);
    ActionLog& m_log;
    ShellLockdown* m_real;
};

// Keeps a pretend master switch so that restoring writes the state that was saved.
class SandboxSoundMute : public SoundMute {
public:
    explicit SandboxSoundMute(ActionLog& log) : m_log(log) {}
    void muteOnLock() override;
    void restoreOnUnlock() override;

private:
    ActionLog& m_log;
    bool m_muted = false;
    bool m_saved = false;
    bool m_locked = false; // muted by muteOnLock, not yet restored
};

class SandboxSessionEnd : public SessionEndPort {
public:
    explicit SandboxSessionEnd(ActionLog& log) : m_log(log) {}
    bool exitWindows(int flags) override;

private:
    ActionLog& m_log;
};

} // namespace tlv
