#pragma once

#include "platform/mixer.h"

#include <string>

namespace tlv {

// The ALSA mixer of the default card: Master as the Wave line, then Capture, PCM, Line, CD and
// Synth. A missing card or element reads 0 and writes nothing.
class AlsaMixer : public Mixer {
public:
    explicit AlsaMixer(std::string card = "default") : m_card(std::move(card)) {}
    std::unique_ptr<MixerControls> open() override;

private:
    std::string m_card;
};

} // namespace tlv
