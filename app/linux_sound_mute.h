#pragma once

#include "control/clsVolume.h"
#include "control/desktop_sound_mute.h"
#include "platform/linux/alsa_mixer.h"
#include "platform/linux/pulse_sound_server.h"

namespace tlv {

// The mute of the running program: by output name through the desktop's sound server while one
// answers, else the master switch of ALSA's default card.
class LinuxSoundMute : public SoundMute {
public:
    LinuxSoundMute(Scheduler& scheduler, const Clock& clock)
        : m_server(clock), m_alsa(m_mixer), m_mute(m_server, m_alsa, scheduler) {}
    void muteOnLock() override { m_mute.muteOnLock(); }
    void restoreOnUnlock() override { m_mute.restoreOnUnlock(); }

private:
    AlsaMixer m_mixer;
    PulseSoundServer m_server;
    VolumeMute m_alsa;
    DesktopSoundMute m_mute;
};

} // namespace tlv
