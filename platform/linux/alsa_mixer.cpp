#include "platform/linux/alsa_mixer.h"

#include <alsa/asoundlib.h>

#include <array>
#include <cstdlib>

namespace tlv {

namespace {

// Element names per line, in order of preference; the first found wins.
struct LineNames {
    std::array<const char*, 3> names;
    bool capture;
};
constexpr std::array<LineNames, kMixerLineCount> kLines = {{
    {{"Master", "Speaker", "Headphone"}, false}, // Wave
    {{"Capture", "Mic", nullptr}, true},         // Micro
    {{"PCM", nullptr, nullptr}, false},          // WaveIn (the wave output line)
    {{"Line", "Aux", nullptr}, false},           // LineIn, else the auxiliary input
    {{"CD", nullptr, nullptr}, false},           // CD
    {{"Synth", "MIDI", nullptr}, false},         // MIDI
}};

void silentErrors(const char*, int, const char*, int, const char*, ...) {}

class AlsaControls : public MixerControls {
public:
    explicit AlsaControls(snd_mixer_t* m) : m_mixer(m) {
        for (int i = 0; i < kMixerLineCount; ++i) {
            for (const char* n : kLines[i].names) {
                if (!n)
                    break;
                snd_mixer_selem_id_t* sid = nullptr;
                snd_mixer_selem_id_alloca(&sid);
                snd_mixer_selem_id_set_index(sid, 0);
                snd_mixer_selem_id_set_name(sid, n);
                if (snd_mixer_elem_t* e = snd_mixer_find_selem(m, sid)) {
                    m_elem[i] = e;
                    break;
                }
            }
        }
    }
    ~AlsaControls() override { snd_mixer_close(m_mixer); }

    bool hasVolume(MixerLine l) const override {
        auto* e = elem(l);
        return e && (capture(l) ? snd_mixer_selem_has_capture_volume(e)
                                : snd_mixer_selem_has_playback_volume(e));
    }
    bool hasMute(MixerLine l) const override {
        auto* e = elem(l);
        return e && (capture(l) ? snd_mixer_selem_has_capture_switch(e)
                                : snd_mixer_selem_has_playback_switch(e));
    }
    int32_t minVolume(MixerLine l) const override { return range(l).first; }
    int32_t maxVolume(MixerLine l) const override { return range(l).second; }
    std::optional<int32_t> volume(MixerLine l) override {
        if (!hasVolume(l))
            return std::nullopt;
        long v = 0;
        const int rc = capture(l)
                           ? snd_mixer_selem_get_capture_volume(elem(l), SND_MIXER_SCHN_MONO, &v)
                           : snd_mixer_selem_get_playback_volume(elem(l), SND_MIXER_SCHN_MONO, &v);
        return rc == 0 ? std::optional<int32_t>(static_cast<int32_t>(v)) : std::nullopt;
    }
    bool setVolume(MixerLine l, int32_t v) override {
        if (!hasVolume(l))
            return false;
        return (capture(l) ? snd_mixer_selem_set_capture_volume_all(elem(l), v)
                           : snd_mixer_selem_set_playback_volume_all(elem(l), v)) == 0;
    }
    // ALSA's switch is "sound on"; the mute value is its opposite.
    std::optional<int32_t> mute(MixerLine l) override {
        if (!hasMute(l))
            return std::nullopt;
        int on = 1;
        const int rc = capture(l)
                           ? snd_mixer_selem_get_capture_switch(elem(l), SND_MIXER_SCHN_MONO, &on)
                           : snd_mixer_selem_get_playback_switch(elem(l), SND_MIXER_SCHN_MONO, &on);
        return rc == 0 ? std::optional<int32_t>(on ? 0 : 1) : std::nullopt;
    }
    bool setMute(MixerLine l, int32_t v) override {
        if (!hasMute(l))
            return false;
        const int on = v ? 0 : 1;
        return (capture(l) ? snd_mixer_selem_set_capture_switch_all(elem(l), on)
                           : snd_mixer_selem_set_playback_switch_all(elem(l), on)) == 0;
    }

private:
    snd_mixer_elem_t* elem(MixerLine l) const { return m_elem[static_cast<int>(l)]; }
    static bool capture(MixerLine l) { return kLines[static_cast<int>(l)].capture; }
    std::pair<int32_t, int32_t> range(MixerLine l) const {
        if (!hasVolume(l))
            return {0, 0};
        long lo = 0, hi = 0;
        if (capture(l))
            snd_mixer_selem_get_capture_volume_range(elem(l), &lo, &hi);
        else
            snd_mixer_selem_get_playback_volume_range(elem(l), &lo, &hi);
        return {static_cast<int32_t>(lo), static_cast<int32_t>(hi)};
    }
    snd_mixer_t* m_mixer;
    std::array<snd_mixer_elem_t*, kMixerLineCount> m_elem{};
};

} // namespace

std::unique_ptr<MixerControls> AlsaMixer::open() {
    // No card is normal on many PCs: nothing may be printed for it.
    snd_lib_error_set_handler(silentErrors);
    snd_mixer_t* m = nullptr;
    if (snd_mixer_open(&m, 0) < 0)
        return nullptr;
    if (snd_mixer_attach(m, m_card.c_str()) < 0 ||
        snd_mixer_selem_register(m, nullptr, nullptr) < 0 || snd_mixer_load(m) < 0) {
        snd_mixer_close(m);
        return nullptr;
    }
    return std::make_unique<AlsaControls>(m);
}

} // namespace tlv
