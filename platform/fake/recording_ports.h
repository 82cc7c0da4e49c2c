#pragma once

#include "platform/app_closing_port.h"
#include "platform/batch_port.h"
#include "platform/cleanup_port.h"
#include "platform/fake/fake_autostart.h"
#include "platform/fake/fake_system_info.h"
#include "platform/forms_port.h"
#include "platform/guard_port.h"
#include "platform/instance_lock.h"
#include "platform/lang_packs.h"
#include "platform/process_exit.h"
#include "platform/session_end.h"
#include "platform/shell_lockdown.h"
#include "platform/sound_mute.h"
#include "platform/status_port.h"
#include "platform/tray_port.h"

#include <functional>
#include <set>
#include <string>
#include <vector>

namespace tlv {

// One list of calls shared by all recording fakes, so a test sees their order across ports:
// "lockdown TaskSwitching 0", "mute 1", "show frmBlock state=3", ...
struct CallLog {
    std::vector<std::string> calls;
    void add(std::string c) { calls.push_back(std::move(c)); }
    void clear() { calls.clear(); }
    // The calls that start with the prefix, in order.
    std::vector<std::string> with(const std::string& prefix) const;
    bool has(const std::string& call) const;
};

class FakeShellLockdown : public ShellLockdown {
public:
    explicit FakeShellLockdown(CallLog& log) : m_log(log) {}
    bool funToggleTaskbar(bool on) override { return rec("Taskbar", on); }
    bool funToggleDesktop(bool on) override { return rec("Desktop", on); }
    bool funToggleTaskSwitching(bool on) override { return rec("TaskSwitching", on); }
    bool funToggleCtrlAltDel(bool on) override { return rec("CtrlAltDel", on); }

private:
    bool rec(const char* w, bool on) {
        m_log.add(std::string("lockdown ") + w + (on ? " -1" : " 0"));
        return true;
    }
    CallLog& m_log;
};

class FakeSoundMute : public SoundMute {
public:
    explicit FakeSoundMute(CallLog& log) : m_log(log) {}
    void muteOnLock() override { m_log.add("mute 1"); }
    void restoreOnUnlock() override { m_log.add("mute restore"); }

private:
    CallLog& m_log;
};

class FakeForms : public FormsPort {
public:
    explicit FakeForms(CallLog& log) : m_log(log) {}
    bool isLoaded(FormId id) const override { return m_loaded.count(id) != 0; }
    void load(FormId id) override;
    void unload(FormId id) override;
    void hide(FormId id) override { m_log.add(std::string("hide ") + formName(id)); }
    void showBlockScreen(const BlockScreenView& view) override;
    bool lockOptionEnabled(LockOption o) const override { return m_disabledOptions.count(o) == 0; }
    void applyDefaultUsage(UsageSelection s) override;
    void stopCloseSessionCountdown() override { m_log.add("stop tmrCloseSession"); }
    ScreenSize screenSize() const override { return screen; }
    void showMain(bool topmost) override {
        m_log.add(topmost ? "show frmMain topmost" : "show frmMain");
    }
    void fitMainToControls() override { m_log.add("fit frmMain"); }
    void showMainDisabled(const std::string& text) override {
        m_log.add("disabled frmMain " + text);
    }
    void subQuitPassword() override { m_log.add("subQuitPassword"); }
    void subDeactivationPassword() override { m_log.add("subDeactivationPassword"); }
    void subLogOffPassword() override { m_log.add("subLogOffPassword"); }
    void showAboutSplash(bool overMain) override;
    void showSetupWizardModal() override;
    MsgAnswer showStandardMessage(const std::string& text, const std::string& title,
                                  const MsgBoxStyle& style) override;

    // Test controls.
    std::set<FormId> m_loaded;
    std::set<LockOption> m_disabledOptions;
    MsgAnswer nextAnswer = MsgAnswer::Yes;
    ScreenSize screen{1366 * kTwipsPerPixel, 768 * kTwipsPerPixel};
    BlockScreenView lastView;
    std::string lastMessageText, lastMessageTitle;
    MsgBoxStyle lastMessageStyle;
    std::function<void()> onWizard;

private:
    CallLog& m_log;
};

class FakeStatus : public StatusPort {
public:
    explicit FakeStatus(CallLog& log) : m_log(log) {}
    void prepareForSession(int t) override { m_log.add("status prepare " + std::to_string(t)); }
    void setConnectedOption(bool c) override {
        m_log.add(c ? "status connected" : "status disconnected");
    }
    void subShowStatus() override { m_log.add("subShowStatus"); }
    bool funHideStatusWindows() override {
        m_log.add("funHideStatusWindows");
        return true;
    }
    void subSetCloseButtons(bool hideAll, bool noClose) override {
        m_log.add(std::string("status close buttons ") + (hideAll ? "hide-all " : "") +
                  (noClose ? "no-close" : "close"));
    }

private:
    CallLog& m_log;
};

class FakeTray : public TrayPort {
public:
    explicit FakeTray(CallLog& log) : m_log(log) {}
    void addIcon() override { m_log.add("tray add"); }
    void removeIcon() override { m_log.add("tray remove"); }
    void setIcon(TrayImage i) override {
        m_log.add(i == TrayImage::imgTlvInactive ? "tray imgTlvInactive" : "tray imgTlvCliSmall");
    }

private:
    CallLog& m_log;
};

class FakeCleanup : public CleanupPort {
public:
    explicit FakeCleanup(CallLog& log) : m_log(log) {}
    void subSessionCleanup() override { m_log.add("subSessionCleanup"); }

private:
    CallLog& m_log;
};

class FakeBatch : public BatchPort {
public:
    explicit FakeBatch(CallLog& log) : m_log(log) {}
    void subRunSessionStartBatch() override { m_log.add("subRunSessionStartBatch"); }
    void subRunSessionEndBatch() override { m_log.add("subRunSessionEndBatch"); }

private:
    CallLog& m_log;
};

class FakeAppClosing : public AppClosingPort {
public:
    explicit FakeAppClosing(CallLog& log) : m_log(log) {}
    bool funCloseAllApps() override {
        m_log.add("funCloseAllApps");
        return true;
    }
    void subKillApps() override { m_log.add("subKillApps"); }

private:
    CallLog& m_log;
};

class FakeSessionEnd : public SessionEndPort {
public:
    explicit FakeSessionEnd(CallLog& log) : m_log(log) {}
    bool exitWindows(int flags) override {
        m_log.add("exitwindows " + std::to_string(flags));
        return true;
    }

private:
    CallLog& m_log;
};

class FakeInstanceLock : public InstanceLock {
public:
    bool tryAcquire() override { return !otherInstanceRunning; }
    bool guardRunsOne() const override { return otherIsGuards; }
    bool otherInstanceRunning = false;
    bool otherIsGuards = false;
};

// Records "guard release WHY" and "guard in service"; refuses everything when told to.
class FakeGuard : public GuardPort {
public:
    explicit FakeGuard(CallLog& log) : m_log(log) {}
    bool release(const std::string& why) override {
        m_log.add("guard release " + why);
        return !refuse;
    }
    bool guard() override {
        m_log.add("guard in service");
        return !refuse;
    }
    bool startedAgain() const override { return restarted; }
    bool refuse = false;
    bool restarted = false;

private:
    CallLog& m_log;
};

class FakeProcessExit : public ProcessExit {
public:
    explicit FakeProcessExit(CallLog& log) : m_log(log) {}
    void endProcess(int code) override {
        ended = true;
        exitCode = code;
        m_log.add("end process " + std::to_string(code));
    }
    bool ended = false;
    int exitCode = -1;

private:
    CallLog& m_log;
};

// Packs held in memory; a name mapped to nullptr stands for a file that does not parse.
class FakeLangPacks : public LangPackStore {
public:
    std::vector<std::string> listPacks(const std::string& baseName) override;
    LangPackLookup find(const std::string& languageName) override;
    void add(const std::string& name, LangPack pack);
    void addBroken(const std::string& name);

private:
    std::vector<std::pair<std::string, std::shared_ptr<const LangPack>>> m_packs;
    std::set<std::string> m_reported;
};

// Every recording fake, wired to one call log.
struct FakePorts {
    CallLog calls;
    FakeShellLockdown lockdown{calls};
    FakeSoundMute mute{calls};
    FakeForms forms{calls};
    FakeStatus status{calls};
    FakeTray tray{calls};
    FakeCleanup cleanup{calls};
    FakeBatch batch{calls};
    FakeAppClosing apps{calls};
    FakeSessionEnd sessionEnd{calls};
    FakeInstanceLock instanceLock;
    FakeGuard guard{calls};
    FakeProcessExit processExit{calls};
    FakeLangPacks langPacks;
    FakeAutostart autostart;
    FakeSystemInfo systemInfo;
};

} // namespace tlv
