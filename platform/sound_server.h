#pragma once

#include <optional>
#include <string>

namespace tlv {

// The desktop's sound server (PulseAudio, or PipeWire through its PulseAudio service): its
// outputs by name. Every call answers nothing or false when no server answers.
class SoundServer {
public:
    virtual ~SoundServer() = default;
    // The name of the output that new sound goes to.
    virtual std::optional<std::string> defaultOutput() = 0;
    // The output's mute switch; nothing when the output is gone.
    virtual std::optional<bool> outputMuted(const std::string& name) = 0;
    virtual bool setOutputMuted(const std::string& name, bool muted) = 0;
};

} // namespace tlv
