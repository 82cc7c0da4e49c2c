#include "app/stand_in_ports.h"

#include <cstdio>

namespace tlv {

void LoggingForms::load(FormId id) {
    m_loaded.insert(id);
    m_trace(std::string(formName(id)) + ": loaded");
}

void LoggingForms::unload(FormId id) {
    m_loaded.erase(id);
    m_trace(std::string(formName(id)) + ": unloaded");
}

void LoggingForms::hide(FormId id) {
    if (m_loaded.count(id))
        m_trace(std::string(formName(id)) + ": hidden");
}

void LoggingForms::showBlockScreen(const BlockScreenView& view) {
    m_loaded.insert(FormId::frmBlock);
    m_trace(std::string(view.sandbox ? "frmBlock (sandbox): " : "frmBlock: ") + "shown for state " +
            std::to_string(view.state) +
            (view.messageFile.empty() ? std::string() : ", message " + view.messageFile));
}

void LoggingForms::applyDefaultUsage(UsageSelection s) {
    m_trace("frmBlock: default usage " + std::to_string(static_cast<int>(s)));
}

void LoggingForms::showMain(bool topmost) {
    m_loaded.insert(FormId::frmMain);
    m_trace(topmost ? "frmMain: shown topmost" : "frmMain: shown");
}

MsgAnswer LoggingForms::showStandardMessage(const std::string& text, const std::string& title,
                                            const MsgBoxStyle& style) {
    std::string flat;
    for (char c : text)
        if (c != '\r')
            flat += c;
    std::fprintf(stderr, "%s: %s\n", title.c_str(), flat.c_str());
    if (style.buttons == MsgButtons::OK)
        return MsgAnswer::OK;
    return style.secondButtonDefault ? MsgAnswer::No : MsgAnswer::Yes;
}

} // namespace tlv
