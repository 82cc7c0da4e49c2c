#include "control/clsVolume.h"

#include <algorithm>

namespace tlv {

int clsVolume::volumeControlsFound() const {
    int mask = 0;
    for (int i = 0; m_controls && i < kMixerLineCount; ++i)
        if (m_controls->hasVolume(static_cast<MixerLine>(i)))
            mask |= 1 << i;
    return mask;
}

int clsVolume::muteControlsFound() const {
    int mask = 0;
    // A mute control counts only on a line whose volume control was found.
    for (int i = 0; m_controls && i < kMixerLineCount; ++i) {
        const auto line = static_cast<MixerLine>(i);
        if (m_controls->hasVolume(line) && m_controls->hasMute(line))
            mask |= 1 << i;
    }
    return mask;
}

int32_t clsVolume::minOf(MixerLine line) const {
    return m_controls && m_controls->hasVolume(line) ? m_controls->minVolume(line) : 0;
}

int32_t clsVolume::maxOf(MixerLine line) const {
    return m_controls && m_controls->hasVolume(line) ? m_controls->maxVolume(line) : 0;
}

int32_t clsVolume::volume(MixerLine line) {
    if (!m_controls || !m_controls->hasVolume(line))
        return 0;
    return m_controls->volume(line).value_or(0);
}

int32_t clsVolume::mute(MixerLine line) {
    if (!(muteControlsFound() & (1 << static_cast<int>(line))))
        return 0;
    return m_controls->mute(line).value_or(0);
}

bool clsVolume::setVolume(MixerLine line, int32_t value) {
    if (!m_controls || !m_controls->hasVolume(line))
        return false;
    const int32_t lo = m_controls->minVolume(line);
    const int32_t hi = std::max(lo, m_controls->maxVolume(line));
    return m_controls->setVolume(line, std::clamp(value, lo, hi));
}

bool clsVolume::setMute(MixerLine line, int32_t value) {
    if (!(muteControlsFound() & (1 << static_cast<int>(line))))
        return false;
    return m_controls->setMute(line, value);
}

void VolumeMute::muteOnLock() {
    clsVolume v(m_mixer);
    // Shown again before the unlock (a repeated pause): the mute we see is our own, and the
    // customer's state was saved the first time.
    if (!m_muted)
        m_savedMute = v.WaveMute();
    v.setWaveMute(1);
    m_muted = true;
}

void VolumeMute::restoreOnUnlock() {
    // Only undo our own muting: an unlock without a lock before it (the status window shown
    // during a session, a deactivated start) must not switch on sound the customer muted.
    if (!m_muted)
        return;
    clsVolume v(m_mixer);
    v.setWaveMute(m_savedMute);
    m_muted = false;
}

} // namespace tlv
