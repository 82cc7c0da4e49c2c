#pragma once

#include "ui/settings_forms_host.h"

#include <map>
#include <string>
#include <vector>

namespace tlv::test {

struct FakeSettingsHost : SettingsFormsHost {
    SystemSettings s;
    std::vector<SystemSettings> stored;
    std::vector<std::string> calls;
    std::vector<int> msgs;
    bool answerYes = true;
    std::map<FormId, bool> loaded;
    FakeSettingsHost() {
        s.serverName = "srv";
        s.serverPort = "4646";
        s.workstationName = "PC-07";
        s.windowsUserName = "anna";
    }
    const SystemSettings& settings() const override { return s; }
    void subSetSystemSettings(const SystemSettings& e) override {
        s = e;
        stored.push_back(e);
    }
    void setServerCaption(const std::string& c) override { calls.push_back("caption " + c); }
    void localizeAll() override { calls.push_back("localizeAll"); }
    void funMsg(int n, const std::string&) override { msgs.push_back(n); }
    bool funMsgYes(int n) override {
        msgs.push_back(n);
        return answerYes;
    }
    void unloadMain() override { calls.push_back("unload frmMain"); }
    void setFormLoaded(FormId f, bool l) override { loaded[f] = l; }
    void setMainTopmost(bool t) override {
        calls.push_back(t ? "main topmost" : "main not topmost");
    }
    void storeConfigWizardDone() override { calls.push_back("Config Wizard 1 1"); }
    void subActivate() override { calls.push_back("subActivate"); }
};

} // namespace tlv::test
