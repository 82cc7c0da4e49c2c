#pragma once

#include "platform/forms_port.h"

#include <optional>
#include <string>

namespace tlv {

class Localization;

// Numbers of the operator message catalogue.
enum FunMsgNo : int {
    kMsgServerSamePc = 1,
    kMsgWrongPassword = 2,
    kMsgIgnoreChanges = 4,
    kMsgShutdownQuestion = 7,
    kMsgAlreadyRunning = 20,
    kMsgIncompatibleOs = 25,
    kMsgWaylandRefused = 26, // Linux: no lockdown possible in a Wayland session
    kMsgDisabled = 27,
    kMsgQuitWizard = 29,
    kMsgIllegalNameChar = 30,
    kMsgUsageModeChanged = 31,
};

struct FunMsgSpec {
    std::string text;
    std::string title;
    MsgBoxStyle style;
};

// Text, title and style of a numbered message; a number not in the catalogue gives an empty
// text with the title.
FunMsgSpec buildFunMsg(Localization& loc, int number, const std::optional<std::string>& p1 = {},
                       const std::optional<std::string>& title = {});

} // namespace tlv
