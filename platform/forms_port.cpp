#include "platform/forms_port.h"

namespace tlv {

const char* formName(FormId id) {
    switch (id) {
    case FormId::frmMain:
        return "frmMain";
    case FormId::frmBlock:
        return "frmBlock";
    case FormId::frmAbout:
        return "frmAbout";
    case FormId::frmMsgBox:
        return "frmMsgBox";
    case FormId::frmSmallStatus:
        return "frmSmallStatus";
    case FormId::frmMicroStatus:
        return "frmMicroStatus";
    case FormId::frmStatus:
        return "frmStatus";
    case FormId::frmPasswd:
        return "frmPasswd";
    case FormId::frmPasswdChange:
        return "frmPasswdChange";
    case FormId::frmPasswdClose:
        return "frmPasswdClose";
    case FormId::frmPasswdLogOff:
        return "frmPasswdLogOff";
    case FormId::frmOptions:
        return "frmOptions";
    case FormId::frmSetupWizard:
        return "frmSetupWizard";
    }
    return "?";
}

} // namespace tlv
