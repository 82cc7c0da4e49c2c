#pragma once

// Recorders for the ports of the server link, and a fixture that builds a link in virtual time.

#include "core/log.h"
#include "core/settings.h"
#include "link/cp1252.h"
#include "link/link_host.h"
#include "link/message.h"
#include "link/server_link.h"
#include "platform/fake/fake_sockets.h"
#include "platform/fake/virtual_time.h"
#include "tests/support/temp_root.h"

#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace tlv::test {

struct FakeWorkstation : WorkstationPort {
    int st = 2, prev = 2, type = 0;
    bool isDisabled = false;
    std::string disabledReason;
    int defaultState = 2;
    std::string language;
    int charset = 0;
    std::vector<std::string> calls;

    int state() const override { return st; }
    void setState(int s) override { st = s; }
    int previousState() const override { return prev; }
    void setPreviousState(int s) override { prev = s; }
    int sessionType() const override { return type; }
    void setSessionType(int t) override { type = t; }
    bool disabled() const override { return isDisabled; }
    void subShowBlockScreen() override { calls.push_back("subShowBlockScreen"); }
    bool funStartSession() override {
        calls.push_back("funStartSession");
        return true;
    }
    bool funStopSession() override {
        calls.push_back("funStopSession");
        return true;
    }
    bool funPauseSession() override {
        calls.push_back("funPauseSession");
        return true;
    }
    bool funLockSession() override {
        calls.push_back("funLockSession");
        return true;
    }
    bool funFollowSession() override {
        calls.push_back("funFollowSession");
        return true;
    }
    bool funUnPauseSession() override {
        calls.push_back("funUnPauseSession");
        return true;
    }
    void subActivate() override { calls.push_back("subActivate"); }
    void subLock() override {
        calls.push_back("subLock");
        st = 3;
    }
    void subDisableWksn(const std::string& reason) override {
        calls.push_back("subDisableWksn");
        disabledReason = reason;
        isDisabled = true;
    }
    void subSetDefaultUsage() override { calls.push_back("subSetDefaultUsage"); }
    void subShutdown(int mode, const std::string&) override {
        calls.push_back("subShutdown " + std::to_string(mode));
    }
    void subUserInit() override { st = prev = defaultState; }
    void onServerLockWksn() override {
        calls.push_back("onServerLockWksn");
        st = 3;
    }
    void onServerActivateWksn() override { calls.push_back("onServerActivateWksn"); }
    LinkFlags flags;
    bool boxShown = false;
    LinkFlags commandFlags() const override { return flags; }
    void setCommandFlags(const LinkFlags& f) override { flags = f; }
    bool msgBoxShown() const override { return boxShown; }
    int startBatch = -1, endBatch = -1;
    bool appKiller = true;
    void setSessionBatch(bool start, int v) override { (start ? startBatch : endBatch) = v; }
    void setAppKillerEnabled(bool on) override { appKiller = on; }
    void subSetDefaultLanguage(const std::string& suffix, int cs) override {
        language = suffix;
        charset = cs;
    }
};

struct FakeSession : SessionPort {
    double elapsed = 0, connected = 0, offPeak = 0, disconnected = 0;
    double remaining = 0, displayed = 0, credit = 0, validity = 0, offset = 0;
    int unlimited = 0;
    float amount = 0;
    std::vector<std::string> calls;
    std::vector<std::pair<double, float>> recharges;
    bool rechargesSet = false;
    int ratioDisconnected = -1;
    std::string currencySymbol, currencyFormat;
    std::vector<double> numbers; // the values of the last tariff setter

    double elapsedTime() const override { return elapsed; }
    double connectedTime() const override { return connected; }
    double offPeakTime() const override { return offPeak; }
    double disconnectedTime() const override { return disconnected; }
    double remainingTime() const override { return remaining; }
    double displayedRemaining() const override { return displayed; }
    float amountDue() const override { return amount; }
    double serverTimeOffset() const override { return offset; }
    void onSessionOK(double r, double v, int u) override {
        remaining = r;
        validity = v;
        unlimited = u;
        credit += r;
        calls.push_back("onSessionOK");
    }
    void onRechargeCard(double added, double v) override {
        remaining += added;
        credit += added;
        validity = v;
        calls.push_back("onRechargeCard");
    }
    void onServerDate(double d) override { numbers = {d}; }
    void setPostPaid(int a, double b, double c, int d, double e) override {
        numbers = {double(a), b, c, double(d), e};
    }
    void setRecharges(const std::vector<std::pair<double, float>>& t) override {
        recharges = t;
        rechargesSet = true;
    }
    void setRatioDisconnected(int p) override { ratioDisconnected = p; }
    void setCurrency(const std::string& s, const std::string& f) override {
        currencySymbol = s;
        currencyFormat = f;
    }
    void setOffPeak(int r, double e, double s) override { numbers = {double(r), e, s}; }
    void setWarnings(int a, int b, int c, int d, float e) override {
        numbers = {double(a), double(b), double(c), double(d), double(e)};
    }
};

struct ShownBox {
    std::string text;
    bool yesNo = false;
    bool defaultYes = true;
    LinkMsgAction action = LinkMsgAction::None;
};

// Control states by "form.control".
struct FakeLinkForms : LinkForms {
    std::map<std::string, bool> enabled, visible, value, timers;
    std::map<std::string, std::string> caption, toolTip, text;
    std::string focus;
    std::vector<ShownBox> boxes;
    std::vector<std::string> chat;
    std::vector<std::string> calls;
    std::map<std::string, bool> loaded{{"frmBlock", true}};
    bool hourglass = false, connectedPicture = false, cardMasked = false, pauseButtons = false;
    double unblockDelay = 0;

    static std::string key(std::string_view f, std::string_view c) {
        return std::string(f) + "." + std::string(c);
    }
    void setEnabled(std::string_view f, std::string_view c, bool on) override {
        enabled[key(f, c)] = on;
    }
    void setVisible(std::string_view f, std::string_view c, bool on) override {
        visible[key(f, c)] = on;
    }
    void setCaption(std::string_view f, std::string_view c, const std::string& t) override {
        caption[key(f, c)] = t;
    }
    void setToolTip(std::string_view f, std::string_view c, const std::string& t) override {
        toolTip[key(f, c)] = t;
    }
    void setValue(std::string_view f, std::string_view c, bool on) override {
        value[key(f, c)] = on;
    }
    void setText(std::string_view f, std::string_view c, const std::string& t) override {
        text[key(f, c)] = t;
    }
    void setFocus(std::string_view f, std::string_view c) override { focus = key(f, c); }
    void setTimer(std::string_view f, std::string_view t, bool running) override {
        timers[key(f, t)] = running;
    }
    void setHourglass(std::string_view, bool on) override { hourglass = on; }
    void applyConnectRule() override { calls.push_back("applyConnectRule"); }
    void setConnectedPicture(bool c) override { connectedPicture = c; }
    void setCardMasked(bool m) override { cardMasked = m; }
    void setTopmost(std::string_view f, bool on) override {
        calls.push_back("setTopmost " + std::string(f) + (on ? " on" : " off"));
    }
    void setUnblockDelay(double d) override { unblockDelay = d; }
    void reloadLockMessage() override { calls.push_back("reloadLockMessage"); }
    bool isLoaded(std::string_view f) const override {
        auto it = loaded.find(std::string(f));
        return it != loaded.end() && it->second;
    }
    void unload(std::string_view f) override {
        loaded[std::string(f)] = false;
        calls.push_back("unload " + std::string(f));
    }
    void subShowMsgBox(const std::string& t, bool yesNo, bool defaultYes, LinkMsgAction a,
                       std::string_view) override {
        boxes.push_back({t, yesNo, defaultYes, a});
    }
    void subShowStatus() override { calls.push_back("subShowStatus"); }
    void subSetCloseButtons() override { calls.push_back("subSetCloseButtons"); }
    void subLocalizeInterface() override { calls.push_back("subLocalizeInterface"); }
    void chatManagerLine(const std::string& line) override { chat.push_back(line); }
    void setPauseButtons(bool shown) override { pauseButtons = shown; }
};

// English texts of the strings the link uses.
struct FakeStrings : StringsPort {
    std::map<int, std::string> table{
        {10104, "The card number that you entered does not seem correct."},
        {10178, "The server is not available!"},
        {10179, "Please contact the manager."},
        {10191, "The server is not responding!"},
        {10192, "Your connection time has run out."},
        {10193, "Please recharge your card before continuing."},
        {10194, "Your card is deactivated."},
        {10195, "This card is currently in use."},
        {10212, "Connecting..."},
        {10213, "Connected"},
        {10263, "The server version is insufficient"},
        {10264, "The workstation version is insufficient"},
        {10265, "An internal error has occurred"},
        {10305, "There has been  "},
        {10306, " connexion failures on workstation "},
        {10307, "Workstation deactivated."},
        {10310, "Searching..."},
        {10322, "The client login or password that you entered does not seem correct."},
        {10323, "Please recharge your client account before continuing."},
        {10336, "Searching..."},
        {10338, "Server"},
        {10350, "Manager"},
        {10360, "Same computer </resInsert1> </resInsert2>"},
        {10361, "(Current version: </resInsert1> - Required version: </resInsert2>)"},
        {10362, "Access to this computer has been denied."},
    };
    std::string funLoadResString(int id) const override {
        auto it = table.find(id);
        return it == table.end() ? "#" + std::to_string(id) : it->second;
    }
    std::string funLoadResStringDefault(int id) const override { return funLoadResString(id); }
};

struct FakeStore : SettingsPort {
    std::map<std::string, std::string> texts;
    std::map<std::string, uint32_t> numbers;
    std::string adminPassword;
    int constantsSaved = 0;
    bool backupExists = false;
    double backupDate = 0;

    void saveGeneralText(const std::string& n, const std::string& v) override { texts[n] = v; }
    void saveGeneralNumber(const std::string& n, uint32_t v) override { numbers[n] = v; }
    void saveAdminPassword(const std::string& p) override { adminPassword = p; }
    void subSetConstWksn(const ConstWksn&) override { ++constantsSaved; }
    bool fileExistsInDataFolder(const std::string& n) const override {
        return backupExists && n == "server_db_backup.mdb";
    }
    double fileDateInDataFolder(const std::string&) const override { return backupDate; }
};

struct FakeExtensions : ExtensionsPort {
    std::vector<std::string> calls;
    std::vector<std::pair<int, std::string>> files;
    void subProcessReceivedFile(int kind, const std::string& c) override {
        files.emplace_back(kind, c);
    }
    void subSerializeUser() override { calls.push_back("subSerializeUser"); }
    void subInitSerializedUser() override { calls.push_back("subInitSerializedUser"); }
    void subEmptySerializedUser() override { calls.push_back("subEmptySerializedUser"); }
};

// A link on fakes in virtual time: the real supervisor, dispatcher and reports.
struct LinkRig {
    TempRoot root;
    VirtualClock clock;
    VirtualScheduler scheduler{clock};
    Logger log{clock, root.file("tlvcli.log")};
    FakeSocketFactory sockets;
    ConstWksn constants;
    SystemSettings settings;
    FakeWorkstation wksn;
    FakeSession session;
    FakeLinkForms forms;
    FakeStrings strings;
    FakeStore store;
    FakeExtensions ext;
    std::unique_ptr<ServerLink> link;

    explicit LinkRig(bool automatic = true) {
        settings.automaticServerConnection = automatic;
        settings.workstationName = "PC#07";
        settings.computerName = "wks07";
        settings.windowsUserName = "Guest";
        settings.computerAddress = "00-11-22-33-44-55";
        settings.configWizardMachine = 1;
        settings.configWizardUser = 1;
        build();
    }
    void build() {
        link = std::make_unique<ServerLink>(ServerLink::Deps{clock, scheduler, log, sockets,
                                                             constants, settings, wksn, session,
                                                             forms, strings, store, ext});
    }
    FakeTcpSocket& tcp() { return *sockets.tcp.back(); }
    FakeUdpSocket& udp() { return *sockets.udp.back(); }
    std::string logText() const { return readFile(root.file("tlvcli.log")); }
    bool logExists() const { return std::filesystem::exists(root.file("tlvcli.log")); }
    // Started and connected to a server at 192.168.1.10, identification sent and taken.
    void connect() {
        link->tmrActivateClient_Timer();
        scheduler.advance(500);
        udp().deliver(utf8ToCp1252(tok::kServerAnswer), "192.168.1.10");
        tcp().accept();
        scheduler.advance(500);
        tcp().takeSent();
    }
    // Delivers text (UTF-8) as wire bytes.
    void deliver(std::string_view text) { tcp().deliver(utf8ToCp1252(text)); }
    std::string sentText() { return cp1252ToUtf8(tcp().takeSent()); }
};

} // namespace tlv::test
