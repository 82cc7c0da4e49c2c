#include "tests/spine/client_rig.h"

#include <filesystem>

namespace tlv::test {

ClientRig::ClientRig() : ClientRig(NoClient{}) {
    client = std::make_unique<Client>(ports());
}

ClientRig::ClientRig(NoClient) {
    layout = RuntimeLayout::fromEnvironment({{"TLVCLI_ROOT", root.path()}}, root.path());
    clock.setSinceBoot(3'600'000); // an hour after boot: no start wait
}

ClientPorts ClientRig::ports() {
    return ClientPorts{clock,
                       scheduler,
                       machine,
                       user,
                       fake.systemInfo,
                       layout,
                       fake.lockdown,
                       fake.mute,
                       fake.forms,
                       fake.status,
                       fake.tray,
                       fake.cleanup,
                       fake.batch,
                       fake.apps,
                       fake.sessionEnd,
                       fake.instanceLock,
                       fake.processExit,
                       fake.langPacks,
                       fake.autostart};
}

void ClientRig::setWizard(int machineValue, int userValue) {
    const std::string key = SettingsStore::keyPath(kSettingsAppName, "General");
    machine.set(key, "Config Wizard", RegValue::sz(std::to_string(machineValue)));
    user.set(key, "Config Wizard", RegValue::sz(std::to_string(userValue)));
}

void ClientRig::setMachine(const std::string& section, const std::string& name, const RegValue& v) {
    machine.set(SettingsStore::keyPath(kSettingsAppName, section), name, v);
}

void ClientRig::start(const std::string& commandLine, DisplayKind display) {
    c().Main(commandLine, display);
    scheduler.runPending();
}

void ClientRig::openSession(int type, int state) {
    Client& cl = c();
    cl.setSessionType(type);
    cl.setPreviousState(cl.state());
    cl.setState(state);
    // A day of credit, valid for decades: the clock does not end it during a test.
    cl.sessionClock().onSessionOK(1.0, 60000.0, 0);
    cl.funStartSession();
}

std::string ClientRig::logText() const {
    const std::string path = joinPath(layout.dataFolder, "tlvcli.log");
    std::error_code ec;
    return std::filesystem::exists(path, ec) ? readFile(path) : std::string();
}

bool inOrder(const std::vector<std::string>& calls, const std::vector<std::string>& expected) {
    size_t i = 0;
    for (const auto& c : calls)
        if (i < expected.size() && c == expected[i])
            ++i;
    return i == expected.size();
}

} // namespace tlv::test
