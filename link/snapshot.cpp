#include "link/snapshot.h"

#include "core/cp1252.h"
#include "core/error.h"
#include "core/log.h"
#include "core/settings.h"
#include "link/message.h"
#include "link/server_link.h"
#include "platform/scheduler.h"

#include <algorithm>
#include <optional>

namespace tlv {

namespace {

constexpr const char* kValueName = "Serialized User";

std::string trimSpaces(const std::string& s) {
    const size_t b = s.find_first_not_of(' ');
    if (b == std::string::npos)
        return {};
    return s.substr(b, s.find_last_not_of(' ') - b + 1);
}

// Cut or padded to exactly kSnapshotLength characters.
std::string padded(const std::string& text) {
    std::string out(utf8Prefix(text, kSnapshotLength));
    out.append(kSnapshotLength - utf8Length(out), ' ');
    return out;
}

std::optional<int32_t> sessionIdOf(const std::string& field) {
    try {
        return funStrToLong(field);
    } catch (const TlvError&) {
        return std::nullopt;
    }
}

} // namespace

std::string SettingsSnapshotStore::read(bool userStore) {
    const RegVariant v =
        userStore
            ? m_store.GetRegUserSettings(kSettingsAppName, "General", kValueName, std::string(), 1)
            : m_store.GetRegSettings(kSettingsAppName, "General", kValueName, std::string(), 1);
    if (const auto* s = std::get_if<std::string>(&v))
        return *s;
    return {};
}

void SettingsSnapshotStore::write(bool userStore, const std::string& value) {
    if (userStore)
        m_store.SetRegUserSettings(kSettingsAppName, "General", kValueName, value, 1);
    else
        m_store.SetRegSettings(kSettingsAppName, "General", kValueName, value, 1);
}

void SettingsSnapshotStore::flush() {
    m_store.RegFlushKey();
}

bool SessionSnapshot::userStore() const {
    return !m_d.settings.standaloneWorkstation;
}

void SessionSnapshot::writePadded(const std::string& text) {
    m_d.store.write(userStore(), padded(text));
}

std::string SessionSnapshot::snapshotText() const {
    const SessionPort& s = m_d.session;
    const int type = m_d.wksn.sessionType();
    std::string t = std::to_string(m_d.link.sessionId());
    t += "#" + std::to_string(type);
    t += "#" + funDblToStr(s.elapsedTime());
    t += "#" + funDblToStr(s.connectedTime());
    t += "#" + funDblToStr(s.offPeakTime());
    t += "#" + funDblToStr(s.disconnectedTime());
    t += "#" + funDblToStr(m_d.link.now() + s.serverTimeOffset());
    if (type == 2 || type == 4) {
        // A "#" in the ID would shift the fields the server reads after it.
        std::string id = m_d.link.userId();
        std::erase(id, '#');
        t += "#" + id;
        t += "#" + funDblToStr(m_d.link.remainingAtDisconnection() - s.remainingTime());
    } else if (type == 1) {
        t += "#" + funSngToStr(s.amountDue());
    }
    return t;
}

void SessionSnapshot::subSerializeUser() {
    try {
        ++m_flushCounter;
        if (m_d.wksn.state() >= 4)
            writePadded(snapshotText());
        else if (m_d.link.serverConnected() == 1)
            writePadded({});
        const int64_t interval = std::max<int64_t>(1, m_d.link.tmrWksnStatus().interval());
        const int64_t every = std::max<int64_t>(
            1, static_cast<int64_t>(m_d.constants.wksnRegistryFlushInterval) * 1000 / interval);
        // At or past: a smaller interval set meanwhile must not stop the checkpoints.
        if (m_flushCounter >= every) {
            m_d.store.flush();
            m_flushCounter = 0;
        }
    } catch (const std::exception& e) {
        m_d.log.subLogError("modFunctions.subSerializeUserError", e);
    }
}

void SessionSnapshot::subInitSerializedUser() {
    bool restored = false;
    try {
        const std::string text = trimSpaces(m_d.store.read(userStore()));
        if (!text.empty()) {
            if (m_d.log.debug())
                m_d.log.trace("subInitSerializedUser: " + text);
            const std::vector<std::string> f = funSplit(text, "#");
            const std::optional<int32_t> id = f.empty() ? std::nullopt : sessionIdOf(f[0]);
            if (!id) {
                const std::string line = "subInitSerializedUser strPostBuffer: '" + text + "'";
                if (m_d.log.debug())
                    m_d.log.trace(line);
                m_d.log.subWriteLog(line);
            } else {
                const int32_t current = m_d.link.sessionId();
                const int same = *id == current ? 1 : 0;
                const std::string resume =
                    std::to_string(m_d.wksn.state()) + "#" + std::to_string(same) + "#" + text;
                funSendData(m_d.link.wskCli(), funBuildMessage(tok::kSessionResume, resume), true,
                            m_d.log);
                const auto field = [&](size_t i) { return i < f.size() ? f[i] : std::string(); };
                if (f.size() > 1 && field(1) == "1" && !same) {
                    // Everything is read before anything changes: a damaged snapshot restores
                    // nothing rather than half a session.
                    // A negative counter is no time the session ever ran.
                    const auto counter = [&](size_t i) {
                        const double d = funStrToDate(field(i));
                        if (d < 0)
                            throw TlvError(kErrInvalidCall, "Invalid procedure call or argument");
                        return d;
                    };
                    std::optional<ResumedCounters> c;
                    try {
                        c = ResumedCounters{counter(2), counter(3), counter(4), counter(5),
                                            field(7).empty() ? 0.0f : funStrToSng(field(7))};
                    } catch (const TlvError& e) {
                        m_d.log.subLogError("modFunctions.subInitSerializedUserError", e);
                    }
                    if (c) {
                        m_d.restorer.subDefaultState();
                        m_d.link.setSessionId(*id);
                        m_d.wksn.setSessionType(1);
                        m_d.wksn.setPreviousState(m_d.wksn.state());
                        m_d.wksn.setState(4);
                        m_d.restorer.setCounters(*c);
                        restored = true;
                        m_d.wksn.subShowBlockScreen();
                    }
                }
            }
        }
    } catch (const std::exception& e) {
        m_d.log.subLogError("modFunctions.subInitSerializedUserError", e);
    }
    try {
        // A restored session replaces the consumed snapshot in the same write: blanking it
        // until the next tick would let a crash meanwhile lose the amount still due.
        writePadded(restored ? snapshotText() : std::string());
    } catch (const std::exception& e) {
        m_d.log.subLogError("modFunctions.subInitSerializedUserError", e);
    }
}

void SessionSnapshot::subEmptySerializedUser() {
    try {
        m_d.store.write(userStore(), {});
    } catch (const std::exception& e) {
        m_d.log.subLogError("modFunctions.subEmptySerializedUserError", e);
    }
}

} // namespace tlv
