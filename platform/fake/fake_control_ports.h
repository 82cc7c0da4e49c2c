#pragma once

// Recording fakes of the process, window, accessibility, spawner and profile ports.

#include "platform/adapters.h"
#include "platform/desktop_profile.h"
#include "platform/processes.h"
#include "platform/window_system.h"

#include <functional>
#include <map>
#include <string>
#include <vector>

namespace tlv {

class FakeProcessTable : public ProcessTable {
public:
    std::vector<ProcessEntry> processes;
    int own = 1000;
    uint32_t ownUser = 1000;

    void add(int pid, const std::string& exePath, uint32_t uid = 1000, bool readable = true) {
        processes.push_back({pid, readable ? exePath : std::string(), readable, uid});
    }
    void removePid(int pid);
    std::vector<ProcessEntry> list() override { return processes; }
    ProcessEntry entry(int pid) override;
    int ownPid() const override { return own; }
    uint32_t ownUid() const override { return ownUser; }
};

class FakeTerminator : public ProcessTerminator {
public:
    struct Call {
        int pid;
        std::string exeName;
    };
    std::vector<Call> calls;
    FakeProcessTable* table = nullptr; // terminated processes leave it
    std::function<void(int pid)> onTerminate;

    bool terminate(int pid, const std::string& exePath, const std::string& exeName) override;
};

class FakeWindowSystem : public WindowSystem {
public:
    struct Win {
        WindowEntry entry;
        bool closesOnRequest = true;
    };
    std::vector<Win> windows;
    std::vector<uint64_t> closeRequests;
    std::pair<int, int> screen{1024, 768};

    WindowEntry& add(uint64_t id, int pid, const std::string& title, bool closes = true);
    void removeWindowsOf(int pid);
    std::vector<WindowEntry> topLevelWindows() override;
    bool requestClose(uint64_t id, int pid, const std::string& exeName,
                      const std::string& title) override;
    bool exists(uint64_t id) override;
    int windowPid(uint64_t id) override;
    std::pair<int, int> screenPixels() override { return screen; }
};

class FakeBrowserAccessibility : public BrowserAccessibility {
public:
    std::map<uint64_t, std::string> addresses; // window id -> address field text
    std::vector<std::pair<uint64_t, std::string>> navigations;
    std::function<void()> listener;
    int refreshes = 0;

    std::optional<std::string> readAddress(const WindowEntry& window) override;
    void refresh() override { ++refreshes; }
    void setChangeListener(std::function<void()> fn) override { listener = std::move(fn); }
    bool navigate(const WindowEntry& window, const std::string& address) override;
};

class FakeSpawner : public ProcessSpawner {
public:
    std::vector<SpawnRequest> requests;
    bool fail = false;
    bool spawnScript(const SpawnRequest& r) override {
        requests.push_back(r);
        return !fail;
    }
    std::string error() const override { return fail ? "spawn failed" : ""; }
};

class FakeDesktopProfile : public DesktopProfile {
public:
    std::vector<std::string> calls; // "arrangeIcons", "setWallpaper <path>", ...
    bool yahoo = false;
    std::string failOn; // a call name that throws

    void arrangeIcons() override { record("arrangeIcons"); }
    void clearRecentDocuments() override { record("clearRecentDocuments"); }
    void setWallpaper(const std::string& p) override { record("setWallpaper", p); }
    void setStartPage(const std::string& a) override { record("setStartPage", a); }
    void deleteBrowserCache() override { record("deleteBrowserCache"); }
    void deleteBrowserHistory() override { record("deleteBrowserHistory"); }
    void clearMessengerData() override { record("clearMessengerData"); }
    bool hasYahooMessenger() override { return yahoo; }

private:
    void record(const std::string& name, const std::string& arg = {});
};

class FakeAdapterSource : public AdapterSource {
public:
    std::vector<RawAdapter> list;
    std::vector<RawAdapter> adapters() override { return list; }
};

} // namespace tlv
