#pragma once

// The one wiring with the Qt forms: the forms behind the client's screens, the core assembly
// over them, the staff dialogs, and the forms' requests routed to the server link.

#include "app/assembly.h"
#include "ui/qt_forms.h"
#include "ui/staff_dialogs.h"

#include <string>
#include <vector>

namespace tlv {

class WebBrowser;

// The forms' hooks that must be filled for the forms to work, named when empty.
std::vector<std::string> emptyHooks(const FormHooks& hooks);

class DesktopAssembly {
public:
    DesktopAssembly(const MachinePorts& machine, WebBrowser& web);
    ~DesktopAssembly();
    DesktopAssembly(const DesktopAssembly&) = delete;
    DesktopAssembly& operator=(const DesktopAssembly&) = delete;

    Assembly& core() { return m_core; }
    Client& client() { return m_core.client(); }
    ServerLink& link() { return m_core.link(); }
    QtForms& forms() { return m_forms; }
    StaffDialogs& staff() { return m_staff; }
    void start(const std::string& commandLine, DisplayKind display) {
        m_core.start(commandLine, display);
    }

private:
    QtForms m_forms;
    Assembly m_core;
    StaffDialogs m_staff;
};

} // namespace tlv
