#include "link/client_link_forms.h"

#include "core/client.h"
#include "platform/forms_port.h"
#include "platform/status_port.h"

namespace tlv {

namespace {
bool formIdOf(std::string_view name, FormId& out) {
    for (int i = 0; i <= static_cast<int>(FormId::frmSetupWizard); ++i) {
        const auto id = static_cast<FormId>(i);
        if (name == formName(id)) {
            out = id;
            return true;
        }
    }
    return false;
}
} // namespace

std::string ClientLinkForms::key(std::string_view f, std::string_view c) {
    return std::string(f) + "." + std::string(c);
}

void ClientLinkForms::setEnabled(std::string_view f, std::string_view c, bool on) {
    m_enabled[key(f, c)] = on;
}
void ClientLinkForms::setVisible(std::string_view f, std::string_view c, bool on) {
    m_visible[key(f, c)] = on;
}
void ClientLinkForms::setCaption(std::string_view f, std::string_view c, const std::string& t) {
    m_captions[key(f, c)] = t;
}
void ClientLinkForms::setToolTip(std::string_view f, std::string_view c, const std::string& t) {
    m_toolTips[key(f, c)] = t;
}
void ClientLinkForms::setValue(std::string_view f, std::string_view c, bool on) {
    m_value[key(f, c)] = on;
}
void ClientLinkForms::setText(std::string_view f, std::string_view c, const std::string& t) {
    m_texts[key(f, c)] = t;
}
void ClientLinkForms::setTimer(std::string_view f, std::string_view t, bool running) {
    m_timers[key(f, t)] = running;
}

void ClientLinkForms::reloadLockMessage() {
    if (m_c.state() >= kStateActive && funStateIsBlocked(m_c.state()))
        m_c.subShowBlockScreen();
}

bool ClientLinkForms::isLoaded(std::string_view form) const {
    FormId id{};
    return formIdOf(form, id) && m_c.ports().forms.isLoaded(id);
}

void ClientLinkForms::unload(std::string_view form) {
    FormId id{};
    if (formIdOf(form, id))
        m_c.ports().forms.unload(id);
}

void ClientLinkForms::subShowMsgBox(const std::string& text, bool yesNo, bool defaultYes,
                                    LinkMsgAction action, std::string_view) {
    const auto& hook = m_c.hooks().subShowMsgBox;
    if (!hook)
        return;
    const MsgAction a = action == LinkMsgAction::PauseSession    ? MsgAction::PauseSession
                        : action == LinkMsgAction::ResumeSession ? MsgAction::UnPauseSession
                                                                 : MsgAction::Empty;
    hook(text, yesNo, yesNo && !defaultYes, a);
}

void ClientLinkForms::subShowStatus() {
    m_c.ports().status.subShowStatus();
}

void ClientLinkForms::chatManagerLine(const std::string& text) {
    if (!m_chat.empty())
        m_chat += "\n";
    m_chat += text;
    m_c.ports().status.subShowStatus();
}

bool ClientLinkForms::enabled(const std::string& k, bool dflt) const {
    const auto it = m_enabled.find(k);
    return it == m_enabled.end() ? dflt : it->second;
}

std::string ClientLinkForms::caption(const std::string& k) const {
    const auto it = m_captions.find(k);
    return it == m_captions.end() ? std::string() : it->second;
}

} // namespace tlv
