#pragma once

#include "platform/autostart.h"

namespace tlv {

// Start-at-logon entry kept in memory; records the command it was enabled with.
class FakeAutostart : public Autostart {
public:
    bool isEnabled() const override { return enabled; }
    bool enable(const std::string& cmd) override {
        if (failWrites)
            return false;
        enabled = true;
        command = cmd;
        return true;
    }
    bool disable() override {
        if (failWrites)
            return false;
        enabled = false;
        command.clear();
        return true;
    }
    std::string lastError() const override { return failWrites ? "write refused" : ""; }

    bool enabled = false;
    bool failWrites = false;
    std::string command;
};

} // namespace tlv
