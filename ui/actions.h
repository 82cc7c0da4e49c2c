#pragma once

#include <memory>

namespace tlv {

// What the button actions act on; the client implements it.
class ActionHost {
public:
    virtual ~ActionHost() = default;
    virtual bool funPauseSession() = 0;
    virtual void funUnPauseSession() = 0;
    virtual void funStopSession(bool noReboot) = 0;
    virtual void subShowBlockScreen() = 0;
    // clsActionConnected / clsActionDisconnected: previous state = state, state = 6 or 5.
    virtual void setSessionMode(int state) = 0;
    virtual void setAppKillerEnabled(bool enabled) = 0;
    virtual void subKillApps() = 0;
};

// The owner form of a mode question: its option buttons are set back on No.
class ModeOptionOwner {
public:
    virtual ~ModeOptionOwner() = default;
    virtual void selectConnectedOption() = 0;
    virtual void selectDisconnectedOption() = 0;
};

// An action object run by frmMsgBox's Yes (button 1) or No (button 2).
class clsAction {
public:
    virtual ~clsAction() = default;
    virtual void subExecuteCommandButton1() = 0;
    virtual void subExecuteCommandButton2() = 0;
};

class clsActionEmpty : public clsAction {
public:
    void subExecuteCommandButton1() override {}
    void subExecuteCommandButton2() override {}
};

class clsActionPauseSession : public clsAction {
public:
    explicit clsActionPauseSession(ActionHost& h) : m_host(h) {}
    void subExecuteCommandButton1() override {
        if (m_host.funPauseSession())
            m_host.subShowBlockScreen();
    }
    void subExecuteCommandButton2() override {}

private:
    ActionHost& m_host;
};

class clsActionUnPauseSession : public clsAction {
public:
    explicit clsActionUnPauseSession(ActionHost& h) : m_host(h) {}
    void subExecuteCommandButton1() override { m_host.funUnPauseSession(); }
    void subExecuteCommandButton2() override {}

private:
    ActionHost& m_host;
};

class clsActionCloseSession : public clsAction {
public:
    explicit clsActionCloseSession(ActionHost& h) : m_host(h) {}
    void subExecuteCommandButton1() override {
        m_host.funStopSession(false);
        m_host.subShowBlockScreen();
    }
    void subExecuteCommandButton2() override {}

private:
    ActionHost& m_host;
};

class clsActionConnected : public clsAction {
public:
    clsActionConnected(ActionHost& h, ModeOptionOwner* owner) : m_host(h), m_owner(owner) {}
    void subExecuteCommandButton1() override {
        m_host.setSessionMode(6);
        m_host.setAppKillerEnabled(false);
    }
    void subExecuteCommandButton2() override {
        if (m_owner)
            m_owner->selectDisconnectedOption();
    }

private:
    ActionHost& m_host;
    ModeOptionOwner* m_owner;
};

class clsActionDisconnected : public clsAction {
public:
    clsActionDisconnected(ActionHost& h, ModeOptionOwner* owner) : m_host(h), m_owner(owner) {}
    void subExecuteCommandButton1() override {
        m_host.setSessionMode(5);
        m_host.subKillApps();
        m_host.setAppKillerEnabled(true);
    }
    void subExecuteCommandButton2() override {
        if (m_owner)
            m_owner->selectConnectedOption();
    }

private:
    ActionHost& m_host;
    ModeOptionOwner* m_owner;
};

} // namespace tlv
