#pragma once

#include "platform/forms_port.h"

#include <string>

namespace tlv {

// What the password dialogs read and call: the credentials, the state machine, the server
// link and the catalogue of operator messages. The client implements it.
class PasswordHost {
public:
    virtual ~PasswordHost() = default;
    virtual std::string adminLogon() const = 0;    // genAdminLogon
    virtual std::string adminPassword() const = 0; // "Password", deciphered
    virtual std::string managerLogin() const = 0;  // empty without PasswordMangr
    virtual std::string managerPassword() const = 0;
    virtual std::string sessionPassword() const = 0;
    virtual void setSessionPassword(const std::string& password) = 0;
    virtual std::string workstationName() const = 0;
    // funSendData on the server socket: the whole message, tokens included.
    virtual void funSendData(const std::string& message) = 0;
    virtual void subDeactivate() = 0;
    virtual void subLock() = 0;
    // The lock screen's tmrUnblock with wksnActivateDelayTime as the countdown.
    virtual void startUnblockCountdown() = 0;
    virtual void funMsg(int number, const std::string& insert = {}) = 0;
    // The Yes/No question of funMsg: true for Yes.
    virtual bool funMsgYes(int number) = 0;
    virtual void subShutdown(int exitFlags) = 0;
    virtual void funShutdownApplication(bool force) = 0;
    virtual void setFormLoaded(FormId form, bool loaded) = 0;
    virtual void hideStatus() = 0; // frmStatus
    virtual void focusMain() = 0;
    // funLoadResStringDefault: texts composed for the server.
    virtual std::string defaultText(int id) = 0;
};

} // namespace tlv
