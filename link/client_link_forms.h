#pragma once

#include "link/link_host.h"

#include <map>
#include <string>

namespace tlv {

class Client;

// The link's view of the forms until the forms implement it themselves: message boxes go to
// the client's message-box hook, the status window to its status port, loaded flags and
// unloading to its forms port; control states are kept here so that a form can read them
// when it is shown.
class ClientLinkForms : public LinkForms {
public:
    explicit ClientLinkForms(Client& client) : m_c(client) {}

    void setEnabled(std::string_view form, std::string_view control, bool on) override;
    void setVisible(std::string_view form, std::string_view control, bool on) override;
    void setCaption(std::string_view form, std::string_view control,
                    const std::string& text) override;
    void setToolTip(std::string_view form, std::string_view control,
                    const std::string& text) override;
    void setValue(std::string_view form, std::string_view control, bool on) override;
    void setText(std::string_view form, std::string_view control, const std::string& text) override;
    void setFocus(std::string_view, std::string_view) override {}
    void setTimer(std::string_view form, std::string_view timer, bool running) override;
    void setHourglass(std::string_view, bool) override {}
    void applyConnectRule() override {}
    void setConnectedPicture(bool connected) override { m_connectedPicture = connected; }
    void setCardMasked(bool masked) override { m_cardMasked = masked; }
    void setTopmost(std::string_view, bool) override {}
    void setUnblockDelay(double duration) override { m_unblockDelay = duration; }
    void reloadLockMessage() override;
    bool isLoaded(std::string_view form) const override;
    void unload(std::string_view form) override;
    void subShowMsgBox(const std::string& text, bool yesNo, bool defaultYes, LinkMsgAction action,
                       std::string_view owner) override;
    void subShowStatus() override;
    void subSetCloseButtons() override {}
    void subLocalizeInterface() override {}
    void chatManagerLine(const std::string& text) override;
    void setPauseButtons(bool shown) override { m_pauseButtons = shown; }

    // What the forms would show.
    bool enabled(const std::string& formDotControl, bool dflt = true) const;
    std::string caption(const std::string& formDotControl) const;
    const std::string& chatHistory() const { return m_chat; }

private:
    static std::string key(std::string_view f, std::string_view c);

    Client& m_c;
    std::map<std::string, bool> m_enabled, m_visible, m_value, m_timers;
    std::map<std::string, std::string> m_captions, m_toolTips, m_texts;
    std::string m_chat;
    bool m_connectedPicture = false;
    bool m_cardMasked = false;
    bool m_pauseButtons = false;
    double m_unblockDelay = 0;
};

} // namespace tlv
