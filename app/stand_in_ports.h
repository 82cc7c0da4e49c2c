#pragma once

// Ports whose real implementations come with the forms, the status windows and the workstation
// control. Until then the client runs with these: they trace what they are asked to do and
// show operator messages on standard error.

#include "core/log.h"
#include "platform/app_closing_port.h"
#include "platform/batch_port.h"
#include "platform/cleanup_port.h"
#include "platform/forms_port.h"
#include "platform/shell_lockdown.h"
#include "platform/sound_mute.h"
#include "platform/status_port.h"
#include "platform/tray_port.h"

#include <functional>
#include <set>
#include <string>

namespace tlv {

using TraceFn = std::function<void(const std::string&)>;

class LoggingForms : public FormsPort {
public:
    explicit LoggingForms(TraceFn trace) : m_trace(std::move(trace)) {}
    bool isLoaded(FormId id) const override { return m_loaded.count(id) != 0; }
    void load(FormId id) override;
    void unload(FormId id) override;
    void hide(FormId id) override;
    void showBlockScreen(const BlockScreenView& view) override;
    bool lockOptionEnabled(LockOption) const override { return true; }
    void applyDefaultUsage(UsageSelection s) override;
    void stopCloseSessionCountdown() override { m_trace("frmBlock: tmrCloseSession stopped"); }
    void showMain(bool topmost) override;
    void fitMainToControls() override {}
    void showMainDisabled(const std::string& text) override { m_trace("frmMain: " + text); }
    void showAboutSplash(bool) override { m_trace("frmAbout: splash"); }
    void showSetupWizardModal() override { m_trace("frmSetupWizard: not available yet"); }
    // Written to standard error; a question is answered with its default button.
    MsgAnswer showStandardMessage(const std::string& text, const std::string& title,
                                  const MsgBoxStyle& style) override;

private:
    TraceFn m_trace;
    std::set<FormId> m_loaded;
};

class LoggingStatus : public StatusPort {
public:
    explicit LoggingStatus(TraceFn t) : m_trace(std::move(t)) {}
    void prepareForSession(int type) override {
        m_trace("status: prepared for type " + std::to_string(type));
    }
    void setConnectedOption(bool c) override {
        m_trace(c ? "status: connected" : "status: disconnected");
    }
    void subShowStatus() override { m_trace("status: shown"); }
    bool funHideStatusWindows() override {
        m_trace("status: hidden");
        return true;
    }

private:
    TraceFn m_trace;
};

class LoggingTray : public TrayPort {
public:
    explicit LoggingTray(TraceFn t) : m_trace(std::move(t)) {}
    void addIcon() override { m_trace("tray: icon added"); }
    void removeIcon() override { m_trace("tray: icon removed"); }
    void setIcon(TrayImage) override {}

private:
    TraceFn m_trace;
};

class LoggingCleanup : public CleanupPort, public BatchPort, public AppClosingPort {
public:
    explicit LoggingCleanup(TraceFn t) : m_trace(std::move(t)) {}
    void subSessionCleanup() override { m_trace("cleanup: not available yet"); }
    void subRunSessionStartBatch() override { m_trace("batch: start batch not available yet"); }
    void subRunSessionEndBatch() override { m_trace("batch: end batch not available yet"); }
    bool funCloseAllApps() override {
        m_trace("apps: closing not available yet");
        return true;
    }
    void subKillApps() override { m_trace("apps: killing not available yet"); }

private:
    TraceFn m_trace;
};

} // namespace tlv
