#include "platform/fake/fake_control_ports.h"

#include <algorithm>
#include <stdexcept>

namespace tlv {

void FakeProcessTable::removePid(int pid) {
    std::erase_if(processes, [pid](const ProcessEntry& e) { return e.pid == pid; });
}

ProcessEntry FakeProcessTable::entry(int pid) {
    for (const auto& e : processes)
        if (e.pid == pid)
            return e;
    return {};
}

bool FakeTerminator::terminate(int pid, const std::string&, const std::string& exeName) {
    calls.push_back({pid, exeName});
    if (table) {
        if (table->entry(pid).pid == 0)
            return false;
        table->removePid(pid);
    }
    if (onTerminate)
        onTerminate(pid);
    return true;
}

WindowEntry& FakeWindowSystem::add(uint64_t id, int pid, const std::string& title, bool closes) {
    Win w;
    w.entry.id = id;
    w.entry.pid = pid;
    w.entry.title = title;
    w.entry.visible = true;
    w.closesOnRequest = closes;
    windows.push_back(w);
    return windows.back().entry;
}

void FakeWindowSystem::removeWindowsOf(int pid) {
    std::erase_if(windows, [pid](const Win& w) { return w.entry.pid == pid; });
}

std::vector<WindowEntry> FakeWindowSystem::topLevelWindows() {
    std::vector<WindowEntry> out;
    for (const auto& w : windows)
        out.push_back(w.entry);
    return out;
}

bool FakeWindowSystem::requestClose(uint64_t id, int, const std::string&, const std::string&) {
    closeRequests.push_back(id);
    std::erase_if(windows, [id](const Win& w) { return w.entry.id == id && w.closesOnRequest; });
    return true;
}

bool FakeWindowSystem::exists(uint64_t id) {
    return std::any_of(windows.begin(), windows.end(),
                       [id](const Win& w) { return w.entry.id == id; });
}

int FakeWindowSystem::windowPid(uint64_t id) {
    for (const auto& w : windows)
        if (w.entry.id == id)
            return w.entry.pid;
    return 0;
}

std::optional<std::string> FakeBrowserAccessibility::readAddress(const WindowEntry& window) {
    auto it = addresses.find(window.id);
    if (it == addresses.end())
        return std::nullopt;
    return it->second;
}

bool FakeBrowserAccessibility::navigate(const WindowEntry& window, const std::string& address) {
    if (!addresses.contains(window.id))
        return false;
    navigations.emplace_back(window.id, address);
    addresses[window.id] = address;
    return true;
}

void FakeDesktopProfile::record(const std::string& name, const std::string& arg) {
    calls.push_back(arg.empty() ? name : name + " " + arg);
    if (!failOn.empty() && failOn == name)
        throw std::runtime_error(name + " failed");
}

} // namespace tlv
