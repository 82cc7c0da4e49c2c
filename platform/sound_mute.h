#pragma once

namespace tlv {

// The two procedures the state machine uses around the lock screen. Every error is ignored:
// without a sound card, mixer or master switch they do nothing.
class SoundMute {
public:
    virtual ~SoundMute() = default;
    // Saves the master mute state, then mutes. Called again before the restore (the lock
    // screen shown again), it keeps the state saved the first time.
    virtual void muteOnLock() = 0;
    // Puts the master mute back to the saved state (0, unmuted, before any muting).
    virtual void restoreOnUnlock() = 0;
};

} // namespace tlv
