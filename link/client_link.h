#pragma once

#include "link/link_host.h"
#include "link/server_link.h"

#include <memory>

namespace tlv {

class Client;
class SocketFactory;

// The server link plugged into the client object: the client's state machine, session clock,
// string table and settings store behind the link's ports, and the client's hooks and timers
// driving the link. The forms and the parts of later subsystems come from outside.
class ClientLink : private WorkstationPort,
                   private SessionPort,
                   private StringsPort,
                   private SettingsPort {
public:
    ClientLink(Client& client, SocketFactory& sockets, LinkForms& forms, ExtensionsPort& ext);
    ~ClientLink() override;

    ServerLink& link() { return *m_link; }

private:
    // WorkstationPort
    int state() const override;
    void setState(int s) override;
    int previousState() const override;
    void setPreviousState(int s) override;
    int sessionType() const override;
    void setSessionType(int t) override;
    bool disabled() const override;
    void subShowBlockScreen() override;
    bool funStartSession() override;
    bool funStopSession() override;
    bool funPauseSession() override;
    bool funLockSession() override;
    bool funFollowSession() override;
    bool funUnPauseSession() override;
    void subActivate() override;
    void subLock() override;
    void subDisableWksn(const std::string& reason) override;
    void subSetDefaultUsage() override;
    void subShutdown(int mode, const std::string& reason) override;
    void subUserInit() override;
    void onServerLockWksn() override;
    void onServerActivateWksn() override;
    void subSetDefaultLanguage(const std::string& suffix, int charset) override;
    LinkFlags commandFlags() const override;
    void setCommandFlags(const LinkFlags& f) override;
    bool msgBoxShown() const override;
    void setSessionBatch(bool start, int value) override;
    void setAppKillerEnabled(bool on) override;

    // SessionPort
    double elapsedTime() const override;
    double connectedTime() const override;
    double offPeakTime() const override;
    double disconnectedTime() const override;
    double remainingTime() const override;
    double displayedRemaining() const override;
    float amountDue() const override;
    double serverTimeOffset() const override;
    void onSessionOK(double remaining, double validity, int unlimited) override;
    void onRechargeCard(double added, double validity) override;
    void onServerDate(double serverDate) override;
    void setPostPaid(int rechargeBased, double increment, double minimum, int autoOptimise,
                     double extra) override;
    void setRecharges(const std::vector<std::pair<double, float>>& rows) override;
    void setRatioDisconnected(int percent) override;
    void setCurrency(const std::string& symbol, const std::string& format) override;
    void setOffPeak(int ratio, double end, double start) override;
    void setWarnings(int timeWarnings, int first, int second, int amountWarning,
                     float step) override;
    void constantsChanged() override;
    void serverConnected() override;

    // StringsPort
    std::string funLoadResString(int id) const override;
    std::string funLoadResStringDefault(int id) const override;

    // SettingsPort
    void saveGeneralText(const std::string& name, const std::string& value) override;
    void saveGeneralNumber(const std::string& name, uint32_t value) override;
    void saveAdminPassword(const std::string& clearText) override;
    void subSetConstWksn(const ConstWksn& c) override;
    bool fileExistsInDataFolder(const std::string& name) const override;
    double fileDateInDataFolder(const std::string& name) const override;

    Client& m_c;
    std::unique_ptr<ServerLink> m_link;
};

} // namespace tlv
