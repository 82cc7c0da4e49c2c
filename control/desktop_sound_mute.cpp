#include "control/desktop_sound_mute.h"

#include <algorithm>

namespace tlv {

DesktopSoundMute::DesktopSoundMute(SoundServer& server, SoundMute& fallback, Scheduler& scheduler)
    : m_server(server), m_fallback(fallback),
      m_follow(scheduler.createTimer([this] { followDefault(); })) {
    m_follow->setInterval(kFollowMs);
}

void DesktopSoundMute::muteOnLock() {
    switch (m_route) {
    case Route::Server:
        // Already muted: a second lock screen must not take "muted" for the customer's state.
        followDefault();
        return;
    case Route::Fallback:
        return;
    case Route::None:
        break;
    }
    if (m_server.defaultOutput()) {
        m_route = Route::Server;
        followDefault();
        m_follow->setEnabled(true);
    } else {
        m_route = Route::Fallback;
        m_fallback.muteOnLock();
    }
}

void DesktopSoundMute::followDefault() {
    const auto name = m_server.defaultOutput();
    if (!name || std::any_of(m_saved.begin(), m_saved.end(),
                             [&name](const auto& s) { return s.first == *name; }))
        return;
    const auto muted = m_server.outputMuted(*name);
    if (!muted)
        return; // gone again since
    m_saved.emplace_back(*name, *muted);
    if (!*muted)
        m_server.setOutputMuted(*name, true);
}

void DesktopSoundMute::restoreOnUnlock() {
    // Only our own muting is undone (see VolumeMute).
    const Route route = std::exchange(m_route, Route::None);
    m_follow->setEnabled(false);
    if (route == Route::Fallback)
        m_fallback.restoreOnUnlock();
    // An output unplugged meanwhile is simply not there to restore.
    for (const auto& [name, muted] : m_saved)
        if (!muted)
            m_server.setOutputMuted(name, false);
    m_saved.clear();
}

} // namespace tlv
