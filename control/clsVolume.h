#pragma once

#include "platform/mixer.h"
#include "platform/sound_mute.h"

#include <cstdint>
#include <memory>

namespace tlv {

// The mixer of the default card for as long as the object lives. Reads of a missing control
// give 0; writes to one do nothing.
class clsVolume {
public:
    explicit clsVolume(Mixer& mixer) : m_controls(mixer.open()) {}

    int32_t MinWaveVolume() const { return minOf(MixerLine::Wave); }
    int32_t MaxWaveVolume() const { return maxOf(MixerLine::Wave); }
    int32_t MinMicVolume() const { return minOf(MixerLine::Micro); }
    int32_t MaxMicVolume() const { return maxOf(MixerLine::Micro); }
    int32_t MinWavInVolume() const { return minOf(MixerLine::WaveIn); }
    int32_t MaxWavInVolume() const { return maxOf(MixerLine::WaveIn); }
    int32_t MinLineInVolume() const { return minOf(MixerLine::LineIn); }
    int32_t MaxLineInVolume() const { return maxOf(MixerLine::LineIn); }
    int32_t MinCDVolume() const { return minOf(MixerLine::CD); }
    int32_t MaxCDVolume() const { return maxOf(MixerLine::CD); }
    int32_t MinMidVolume() const { return minOf(MixerLine::MIDI); }
    int32_t MaxMidVolume() const { return maxOf(MixerLine::MIDI); }

    int32_t WaveVolume() { return volume(MixerLine::Wave); }
    int32_t MicroVolume() { return volume(MixerLine::Micro); }
    int32_t WaveInVolume() { return volume(MixerLine::WaveIn); }
    int32_t LineInVolume() { return volume(MixerLine::LineIn); }
    int32_t CD_Volume() { return volume(MixerLine::CD); }
    int32_t MIDIVolume() { return volume(MixerLine::MIDI); }

    int32_t WaveMute() { return mute(MixerLine::Wave); }
    int32_t MicroMute() { return mute(MixerLine::Micro); }
    int32_t WaveInMute() { return mute(MixerLine::WaveIn); }
    int32_t LineInMute() { return mute(MixerLine::LineIn); }
    int32_t CD_Mute() { return mute(MixerLine::CD); }
    int32_t MIDIMute() { return mute(MixerLine::MIDI); }

    bool setWaveVolume(int32_t v) { return setVolume(MixerLine::Wave, v); }
    bool setMicroVolume(int32_t v) { return setVolume(MixerLine::Micro, v); }
    bool setWaveInVolume(int32_t v) { return setVolume(MixerLine::WaveIn, v); }
    bool setLineInVolume(int32_t v) { return setVolume(MixerLine::LineIn, v); }
    bool setCD_Volume(int32_t v) { return setVolume(MixerLine::CD, v); }
    bool setMIDIVolume(int32_t v) { return setVolume(MixerLine::MIDI, v); }

    bool setWaveMute(int32_t v) { return setMute(MixerLine::Wave, v); }
    bool setMicroMute(int32_t v) { return setMute(MixerLine::Micro, v); }
    bool setWaveInMute(int32_t v) { return setMute(MixerLine::WaveIn, v); }
    bool setLineInMute(int32_t v) { return setMute(MixerLine::LineIn, v); }
    bool setCD_Mute(int32_t v) { return setMute(MixerLine::CD, v); }
    bool setMIDIMute(int32_t v) { return setMute(MixerLine::MIDI, v); }

    // Availability bits: 1 Wave, 2 Micro, 4 WaveIn, 8 LineIn, 16 CD, 32 MIDI.
    int volumeControlsFound() const;
    int muteControlsFound() const;

    int32_t volume(MixerLine line);
    int32_t mute(MixerLine line);
    bool setVolume(MixerLine line, int32_t value);
    bool setMute(MixerLine line, int32_t value);

private:
    int32_t minOf(MixerLine line) const;
    int32_t maxOf(MixerLine line) const;
    std::unique_ptr<MixerControls> m_controls;
};

// Mute on lock and restore on unlock, with the saved master mute state.
class VolumeMute : public SoundMute {
public:
    explicit VolumeMute(Mixer& mixer) : m_mixer(mixer) {}
    void muteOnLock() override;
    void restoreOnUnlock() override;
    int32_t savedMuteState() const { return m_savedMute; }

private:
    Mixer& m_mixer;
    int32_t m_savedMute = 0;
    bool m_muted = false;
};

} // namespace tlv
