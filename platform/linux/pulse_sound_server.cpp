#include "platform/linux/pulse_sound_server.h"

#include <pulse/context.h>
#include <pulse/introspect.h>
#include <pulse/mainloop.h>
#include <pulse/operation.h>

namespace tlv {

namespace {

bool ready(pa_context* c) {
    return c && pa_context_get_state(c) == PA_CONTEXT_READY;
}

void onServerInfo(pa_context*, const pa_server_info* info, void* data) {
    auto& a = *static_cast<PulseSoundServer::Answer*>(data);
    // A server without any output names none.
    if (info && info->default_sink_name && *info->default_sink_name) {
        a.name = info->default_sink_name;
        a.ok = true;
    }
    a.done = true;
}

void onSinkInfo(pa_context*, const pa_sink_info* info, int eol, void* data) {
    auto& a = *static_cast<PulseSoundServer::Answer*>(data);
    if (eol != 0) { // the end of the list, or no such output
        a.done = true;
        return;
    }
    if (info) {
        a.muted = info->mute != 0;
        a.ok = true;
    }
}

void onSuccess(pa_context*, int success, void* data) {
    auto& a = *static_cast<PulseSoundServer::Answer*>(data);
    a.ok = success != 0;
    a.done = true;
}

} // namespace

PulseSoundServer::PulseSoundServer(const Clock& clock, std::string server, int timeoutMs)
    : m_clock(clock), m_server(std::move(server)), m_timeoutMs(timeoutMs) {}

PulseSoundServer::~PulseSoundServer() {
    disconnect();
}

void PulseSoundServer::disconnect() {
    if (m_context) {
        pa_context_disconnect(m_context);
        pa_context_unref(m_context);
        m_context = nullptr;
    }
    if (m_loop) {
        pa_mainloop_free(m_loop);
        m_loop = nullptr;
    }
}

bool PulseSoundServer::waitFor(const std::function<bool()>& done) {
    const int64_t deadline = m_clock.monotonicMs() + m_timeoutMs;
    while (!done()) {
        const int64_t left = deadline - m_clock.monotonicMs();
        if (left <= 0 || pa_mainloop_prepare(m_loop, static_cast<int>(left * 1000)) < 0 ||
            pa_mainloop_poll(m_loop) < 0 || pa_mainloop_dispatch(m_loop) < 0)
            return false;
    }
    return true;
}

bool PulseSoundServer::connect() {
    if (ready(m_context))
        return true;
    disconnect();
    m_loop = pa_mainloop_new();
    if (!m_loop)
        return false;
    m_context = pa_context_new(pa_mainloop_get_api(m_loop), "tlvcli");
    if (!m_context || pa_context_connect(m_context, m_server.empty() ? nullptr : m_server.c_str(),
                                         PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0) {
        disconnect();
        return false;
    }
    const bool settled = waitFor([this] {
        const pa_context_state_t s = pa_context_get_state(m_context);
        return s == PA_CONTEXT_READY || !PA_CONTEXT_IS_GOOD(s);
    });
    if (!settled || !ready(m_context)) {
        disconnect();
        return false;
    }
    return true;
}

bool PulseSoundServer::complete(pa_operation* op, const Answer& answer) {
    if (!op) {
        disconnect();
        return false;
    }
    const bool answered = waitFor([this, &answer] { return answer.done || !ready(m_context); });
    if (!answer.done)
        pa_operation_cancel(op);
    pa_operation_unref(op);
    // No answer in time: the connection is not to be trusted any more.
    if (!answered || !answer.done)
        disconnect();
    return answer.done && answer.ok;
}

std::optional<std::string> PulseSoundServer::defaultOutput() {
    if (!connect())
        return std::nullopt;
    Answer a;
    if (!complete(pa_context_get_server_info(m_context, onServerInfo, &a), a))
        return std::nullopt;
    return a.name;
}

std::optional<bool> PulseSoundServer::outputMuted(const std::string& name) {
    if (!connect())
        return std::nullopt;
    Answer a;
    if (!complete(pa_context_get_sink_info_by_name(m_context, name.c_str(), onSinkInfo, &a), a))
        return std::nullopt;
    return a.muted;
}

bool PulseSoundServer::setOutputMuted(const std::string& name, bool muted) {
    if (!connect())
        return false;
    Answer a;
    return complete(
        pa_context_set_sink_mute_by_name(m_context, name.c_str(), muted ? 1 : 0, onSuccess, &a), a);
}

} // namespace tlv
