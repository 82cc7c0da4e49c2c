#pragma once

#include "platform/shell_lockdown.h"

#include <functional>

namespace tlv {

class LockLibrary;
class Logger;

// The four wrappers around the desktop switch library.
class modWinLock : public ShellLockdown {
public:
    // library may be null: the library is then unreachable and every call logs its line.
    // The log is reached through a getter: the client that owns it is built after its ports.
    modWinLock(LockLibrary* library, std::function<Logger*()> log)
        : m_library(library), m_log(std::move(log)) {}

    bool funToggleTaskbar(bool on) override;
    bool funToggleDesktop(bool on) override;
    bool funToggleTaskSwitching(bool on) override;
    bool funToggleCtrlAltDel(bool on) override;

private:
    bool toggle(int which, bool on, const char* context);
    LockLibrary* m_library;
    std::function<Logger*()> m_log;
};

} // namespace tlv
