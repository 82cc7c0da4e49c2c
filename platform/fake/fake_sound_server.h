#pragma once

#include "platform/sound_server.h"

#include <map>
#include <optional>
#include <string>

namespace tlv {

// A sound server in memory: outputs by name with their mute switch, and the default one.
// `running = false` is a desktop without a server.
class FakeSoundServer : public SoundServer {
public:
    std::optional<std::string> defaultOutput() override {
        if (!running || !outputs.count(defaultName))
            return std::nullopt;
        return defaultName;
    }
    std::optional<bool> outputMuted(const std::string& name) override {
        const auto it = outputs.find(name);
        if (!running || it == outputs.end())
            return std::nullopt;
        return it->second;
    }
    bool setOutputMuted(const std::string& name, bool muted) override {
        const auto it = outputs.find(name);
        if (!running || it == outputs.end())
            return false;
        it->second = muted;
        ++writes;
        return true;
    }

    bool running = true;
    std::map<std::string, bool> outputs; // name -> muted
    std::string defaultName;
    int writes = 0;
};

} // namespace tlv
