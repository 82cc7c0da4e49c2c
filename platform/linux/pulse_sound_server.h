#pragma once

#include "platform/clock.h"
#include "platform/sound_server.h"

#include <cstdint>
#include <functional>
#include <string>

struct pa_mainloop;
struct pa_context;
struct pa_operation;

namespace tlv {

// The desktop's sound server through libpulse (PulseAudio, or PipeWire's PulseAudio service).
// Each call waits for its answer at most timeoutMs; the connection is kept between calls and
// made again after a failure. A server is never started here (no autospawn).
class PulseSoundServer : public SoundServer {
public:
    // SERVER: an address as in PULSE_SERVER ("unix:/run/user/1000/pulse/native"); empty for
    // the one libpulse finds itself (PULSE_SERVER, then the user's runtime folder).
    explicit PulseSoundServer(const Clock& clock, std::string server = {}, int timeoutMs = 1000);
    ~PulseSoundServer() override;
    PulseSoundServer(const PulseSoundServer&) = delete;
    PulseSoundServer& operator=(const PulseSoundServer&) = delete;

    std::optional<std::string> defaultOutput() override;
    std::optional<bool> outputMuted(const std::string& name) override;
    bool setOutputMuted(const std::string& name, bool muted) override;

    struct Answer {
        bool done = false;
        bool ok = false;
        std::string name;
        bool muted = false;
    };

private:
    bool connect();
    void disconnect();
    bool waitFor(const std::function<bool()>& done);
    bool complete(pa_operation* op, const Answer& answer);

    const Clock& m_clock;
    std::string m_server;
    int m_timeoutMs;
    pa_mainloop* m_loop = nullptr;
    pa_context* m_context = nullptr;
};

} // namespace tlv
