#pragma once

#include "platform/actions.h"
#include "platform/session_end.h"
#include "platform/shell_lockdown.h"
#include "platform/sound_mute.h"

namespace tlv {

// Sandbox mode: the actions on the PC are written to the actions log instead.
class SandboxShellLockdown : public ShellLockdown {
public:
    explicit SandboxShellLockdown(ActionLog& log) : m_log(log) {}
    bool funToggleTaskbar(bool on) override { return toggle("Taskbar", on); }
    bool funToggleDesktop(bool on) override { return toggle("Desktop", on); }
    bool funToggleTaskSwitching(bool on) override { return toggle("TaskSwitching", on); }
    bool funToggleCtrlAltDel(bool on) override { return toggle("CtrlAltDel", on); }

private:
    bool toggle(const char* which, bool on);
    ActionLog& m_log;
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
