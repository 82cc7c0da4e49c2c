#pragma once

#include "platform/scheduler.h"
#include "platform/sound_mute.h"
#include "platform/sound_server.h"

#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace tlv {

// The mute on lock of a desktop with a sound server. ALSA's default device reaches only the
// output that is the default at the moment the mixer is opened: an output that becomes the
// default while locked would play, and the unlock would restore the wrong one and leave the
// muted one silent for good. So while a sound server answers, the outputs are muted through it
// by name: the default at the lock, then every output that becomes the default while locked
// (checked every kFollowMs); the unlock gives each of them back its own state. Without a
// server the ALSA mute (the fallback) does the job.
class DesktopSoundMute : public SoundMute {
public:
    static constexpr int64_t kFollowMs = 1000;

    DesktopSoundMute(SoundServer& server, SoundMute& fallback, Scheduler& scheduler);
    void muteOnLock() override;
    void restoreOnUnlock() override;

    // Each output muted since the lock, with the mute state the customer had left it in.
    const std::vector<std::pair<std::string, bool>>& saved() const { return m_saved; }

private:
    enum class Route { None, Server, Fallback };
    void followDefault();

    SoundServer& m_server;
    SoundMute& m_fallback;
    std::unique_ptr<Timer> m_follow;
    Route m_route = Route::None;
    std::vector<std::pair<std::string, bool>> m_saved;
};

} // namespace tlv
