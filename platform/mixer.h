#pragma once

#include <cstdint>
#include <memory>
#include <optional>

namespace tlv {

// The six mixer lines of the sound card, in the order of their availability bits.
enum class MixerLine { Wave = 0, Micro = 1, WaveIn = 2, LineIn = 3, CD = 4, MIDI = 5 };
inline constexpr int kMixerLineCount = 6;

// An open mixer of the default card. Mute values are 0 (sound on) or 1 (muted).
class MixerControls {
public:
    virtual ~MixerControls() = default;
    virtual bool hasVolume(MixerLine line) const = 0;
    virtual bool hasMute(MixerLine line) const = 0;
    virtual int32_t minVolume(MixerLine line) const = 0;
    virtual int32_t maxVolume(MixerLine line) const = 0;
    virtual std::optional<int32_t> volume(MixerLine line) = 0;
    virtual bool setVolume(MixerLine line, int32_t value) = 0;
    virtual std::optional<int32_t> mute(MixerLine line) = 0;
    virtual bool setMute(MixerLine line, int32_t value) = 0;
};

class Mixer {
public:
    virtual ~Mixer() = default;
    // Nothing when there is no card or no mixer.
    virtual std::unique_ptr<MixerControls> open() = 0;
};

} // namespace tlv
