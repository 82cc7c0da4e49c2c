#include "core/messages.h"

#include "core/localization.h"
#include "core/string_table.h"

namespace tlv {

FunMsgSpec buildFunMsg(Localization& loc, int number, const std::optional<std::string>& p1,
                       const std::optional<std::string>& title) {
    const std::string crlf = "\r\n";
    auto s = [&loc](int32_t id) { return loc.funLoadResString(id); };
    FunMsgSpec m;
    m.title = s(10000);
    if (title)
        m.title += " - " + *title;
    MsgBoxStyle& st = m.style;
    auto question = [&st] {
        st.buttons = MsgButtons::YesNo;
        st.icon = MsgIcon::Question;
        st.secondButtonDefault = true;
    };
    switch (number) {
    case kMsgServerSamePc:
        m.text = p1.value_or("");
        st.icon = MsgIcon::Critical;
        break;
    case kMsgWrongPassword:
        m.text = s(10101);
        st.icon = MsgIcon::Information;
        break;
    case kMsgIgnoreChanges:
        m.text = s(10103);
        question();
        break;
    case kMsgShutdownQuestion:
        m.text = s(10182) + (p1 ? *p1 + s(10181) : s(10180)) + crlf + crlf + s(10183);
        question();
        st.systemModal = st.foreground = true;
        break;
    case kMsgAlreadyRunning:
        m.text = s(10000) + s(10202) + crlf + s(10203);
        st.icon = MsgIcon::Critical;
        st.systemModal = st.foreground = true;
        break;
    case kMsgIncompatibleOs:
        m.text = s(10214) + crlf + s(10215) + s(10000);
        st.icon = MsgIcon::Critical;
        break;
    case kMsgWaylandRefused:
        m.text = s(kStrWaylandRefused) + crlf + s(kStrWaylandHint);
        st.icon = MsgIcon::Critical;
        st.foreground = true;
        break;
    case kMsgDisabled:
        m.text = s(10000) + s(10261) + crlf + p1.value_or("") + crlf + s(10262) + s(10000);
        st.icon = MsgIcon::Critical;
        break;
    case kMsgQuitWizard:
        m.text = s(10022);
        question();
        st.foreground = true;
        break;
    case kMsgIllegalNameChar:
        m.text = loc.funLoadResString(10317, "#");
        st.icon = MsgIcon::Exclamation;
        st.systemModal = st.foreground = true;
        break;
    case kMsgUsageModeChanged:
        m.text = s(10345);
        st.icon = MsgIcon::Exclamation;
        st.systemModal = st.foreground = true;
        break;
    default:
        break;
    }
    return m;
}

} // namespace tlv
