#include "link/client_extensions.h"

#include "core/client.h"
#include "core/dates.h"
#include "core/session_clock.h"
#include "core/settings.h"
#include "link/message.h"
#include "link/server_link.h"
#include "platform/paths.h"

namespace tlv {

ClientExtensions::ClientExtensions(Client& client, ServerLink& link, LinkForms& forms,
                                   LinkExtensions& ext)
    : m_c(client), m_link(link), m_forms(forms), m_ext(ext), m_store(client.store()) {
    const ServerLink::Deps& d = link.deps();
    m_snapshot = std::make_unique<SessionSnapshot>(
        SessionSnapshot::Deps{client.log(), link, d.wksn, d.session, client.constants(),
                              client.settings(), m_store, *this});
    m_files = std::make_unique<FileTransfer>(client.log(), client.ports().layout.dataFolder,
                                             static_cast<FileTransferHost&>(*this));
    ext.setSnapshot(m_snapshot.get());
    ext.setFileTransfer(m_files.get());
    client.hooks().emptySnapshot = [this] { m_snapshot->subEmptySerializedUser(); };
}

ClientExtensions::~ClientExtensions() {
    m_c.hooks().emptySnapshot = nullptr;
    m_ext.setSnapshot(nullptr);
    m_ext.setFileTransfer(nullptr);
}

void ClientExtensions::subDefaultState() {
    m_c.subDefaultState();
}

void ClientExtensions::setCounters(const ResumedCounters& c) {
    SessionRecord& r = m_c.sessionClock().record();
    r.elapsedMs = daysToMs(c.elapsed);
    r.sessionMs = r.elapsedMs - r.noCreditMs;
    r.connectedMs = daysToMs(c.connected);
    r.offPeakMs = daysToMs(c.offPeak);
    r.disconnectedMs = daysToMs(c.disconnected);
    r.amountDue = c.amountDue;
}

void ClientExtensions::recordSetting(const std::string& section, const std::string& name,
                                     const std::string& value) {
    m_c.store().SetRegSettings(kSettingsAppName, section, name, value, REG_SZ);
    SystemSettings& s = m_c.settings();
    if (name == "Intro")
        s.msgIntro = value;
    else if (name == "Blocked")
        s.msgBlocked = value;
    else if (name == "No credit")
        s.msgNoCredit = value;
    else if (name == "Session end")
        s.msgSessionEnd = value;
    else if (name == "Session paused")
        s.msgSessionPaused = value;
    else if (name == "Logo path")
        s.logoPath = value;
}

void ClientExtensions::recordGeneralNumber(const std::string& name, uint32_t value) {
    m_c.store().SetRegSettings(kSettingsAppName, "General", name, std::to_string(value), REG_DWORD);
    if (name == "Message & Logo Files Type")
        m_c.settings().messageLogoFilesType = static_cast<int>(value);
}

bool ClientExtensions::lockScreenShown() const {
    return m_forms.isLoaded("frmBlock") && funStateIsBlocked(m_c.state());
}

void ClientExtensions::reloadLockFiles() {
    m_forms.reloadLockMessage();
}

void ClientExtensions::showFollowImage(const std::string&) {
    // The lock screen of state 11 shows follow_image.jpg from the data folder.
    if (m_c.state() == kStateFollowServer && m_forms.isLoaded("frmBlock"))
        m_forms.reloadLockMessage();
}

void ClientExtensions::sendReadyForServerScreen() {
    m_link.sendMessage(tok::kRdyForServScreen, "-1", true);
}

} // namespace tlv
