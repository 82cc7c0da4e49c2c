#pragma once

#include "platform/fd_watch.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace tlv {

class LockLibrary;
class Scheduler;

// The lock screen marks its top-level windows with this property (1 = the main one, 2 = a
// cover of another screen); the lockdown finds them through qtLockWindows.
inline constexpr const char* kLockScreenProperty = "tlvLockScreen";

// The native ids of the shown lock-screen windows, the main one first.
std::vector<unsigned long> qtLockWindows();
// The native ids of every shown top-level window of the application (popups and dialogs too).
std::vector<unsigned long> qtOwnWindows();
// A QSocketNotifier on the Qt event loop.
FdWatchFactory qtFdWatchFactory();

// The X11 switch library on a connection of its own, with the windows above and the event
// loop's fd watch; log takes its notes, stateFile records what a locked client changed.
std::unique_ptr<LockLibrary> makeQtLockLibrary(Scheduler& scheduler, const std::string& stateFile,
                                               std::function<void(const std::string&)> log);

} // namespace tlv
