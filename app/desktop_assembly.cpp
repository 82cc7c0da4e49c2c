#include "app/desktop_assembly.h"

#include "link/message.h"
#include "link/server_link.h"

#include <stdexcept>

namespace tlv {

std::vector<std::string> emptyHooks(const FormHooks& h) {
    return emptySlots({
        {bool(h.subStartConnexion), "subStartConnexion"},
        {bool(h.subCheckBalance), "subCheckBalance"},
        {bool(h.sendChatMessage), "sendChatMessage"},
        {bool(h.userId), "userId"},
        {bool(h.managerPasswordSet), "managerPasswordSet"},
        {bool(h.subDeactivationPassword), "subDeactivationPassword"},
        {bool(h.subQuitPassword), "subQuitPassword"},
        {bool(h.subLogOffPassword), "subLogOffPassword"},
        {bool(h.showPasswdChange), "showPasswdChange"},
        {bool(h.showAbout), "showAbout"},
        {bool(h.showAboutSplash), "showAboutSplash"},
        {bool(h.showSetupWizardModal), "showSetupWizardModal"},
        {bool(h.showOptions), "showOptions"},
        {bool(h.dialogLoaded), "dialogLoaded"},
        {bool(h.unloadDialog), "unloadDialog"},
    });
}

DesktopAssembly::DesktopAssembly(const MachinePorts& machine, WebBrowser& web)
    : m_forms(machine.scheduler, machine.layout),
      m_core(machine, FacePorts{m_forms, m_forms, m_forms, m_forms}),
      m_staff(m_core.client(), m_forms, m_core.link(), web) {
    m_forms.attach(m_core.client());
    // The staff dialogs: passwords, options, setup wizard and about box.
    m_staff.install(m_forms.hooks());
    // The lock screen's and the status window's requests go to the server link.
    ServerLink& link = m_core.link();
    FormHooks& fh = m_forms.hooks();
    fh.subStartConnexion = [&link](int type, int mode, const std::string& id,
                                   const std::string& password) {
        link.subStartConnexion(type, mode, id, password);
    };
    fh.subCheckBalance = [&link] { link.subCheckBalance(); };
    fh.sendChatMessage = [&link](const std::string& text) {
        link.sendMessage(tok::kChatMessage, text, true);
    };
    fh.userId = [&link] { return link.userId(); };
    fh.managerPasswordSet = [&link] { return !link.managerPassword().empty(); };

    std::vector<std::string> empty = emptyHooks(fh);
    const ClientHooks& ch = m_core.client().hooks();
    if (!ch.subShowMsgBox)
        empty.emplace_back("subShowMsgBox");
    if (!ch.setStatusTexts)
        empty.emplace_back("setStatusTexts");
    if (!empty.empty())
        throw std::logic_error("the forms' hook " + empty.front() + " is not wired");
}

DesktopAssembly::~DesktopAssembly() {
    // The forms outlive the link and the dialogs their hooks reach.
    m_forms.hooks() = FormHooks{};
}

} // namespace tlv
