#include "platform/fake/recording_ports.h"

#include <algorithm>

namespace tlv {

std::vector<std::string> CallLog::with(const std::string& prefix) const {
    std::vector<std::string> out;
    for (const auto& c : calls)
        if (c.rfind(prefix, 0) == 0)
            out.push_back(c);
    return out;
}

bool CallLog::has(const std::string& call) const {
    return std::find(calls.begin(), calls.end(), call) != calls.end();
}

void FakeForms::load(FormId id) {
    m_loaded.insert(id);
    m_log.add(std::string("load ") + formName(id));
}

void FakeForms::unload(FormId id) {
    m_loaded.erase(id);
    m_log.add(std::string("unload ") + formName(id));
}

void FakeForms::showBlockScreen(const BlockScreenView& view) {
    m_loaded.insert(FormId::frmBlock);
    lastView = view;
    m_log.add("show frmBlock state=" + std::to_string(view.state));
}

void FakeForms::applyDefaultUsage(UsageSelection s) {
    static const char* const names[] = {"Nothing",    "SelectClient", "SelectSelfService",
                                        "SelectCard", "ClearAll",     "HideChoice"};
    m_log.add(std::string("usage ") + names[static_cast<int>(s)]);
}

void FakeForms::showAboutSplash(bool overMain) {
    m_log.add(overMain ? "splash over frmMain" : "splash centred");
}

void FakeForms::showSetupWizardModal() {
    m_log.add("wizard modal");
    if (onWizard)
        onWizard();
}

MsgAnswer FakeForms::showStandardMessage(const std::string& text, const std::string& title,
                                         const MsgBoxStyle& style) {
    lastMessageText = text;
    lastMessageTitle = title;
    lastMessageStyle = style;
    m_log.add("message " + title);
    if (style.buttons == MsgButtons::OK)
        return MsgAnswer::OK;
    return nextAnswer;
}

std::vector<std::string> FakeLangPacks::listPacks(const std::string& baseName) {
    std::vector<std::string> out;
    for (const auto& [name, pack] : m_packs)
        if (name.rfind(baseName, 0) == 0)
            out.push_back(name);
    return out;
}

LangPackLookup FakeLangPacks::find(const std::string& languageName) {
    for (const auto& [name, pack] : m_packs) {
        if (name != languageName)
            continue;
        LangPackLookup r;
        r.pack = pack;
        if (!pack && m_reported.insert(name).second)
            r.error = "cannot parse " + name + ".po";
        return r;
    }
    return {};
}

void FakeLangPacks::add(const std::string& name, LangPack pack) {
    m_packs.emplace_back(name, std::make_shared<const LangPack>(std::move(pack)));
}

void FakeLangPacks::addBroken(const std::string& name) {
    m_packs.emplace_back(name, nullptr);
}

} // namespace tlv
