// The real program in sandbox mode, off screen, configured with tlvreg as a café owner does,
// finding and connecting to the server simulator in both modes: a server named in the settings
// (by address, by host name, on another port) and a server found by discovery (the bare answer
// and an answer naming the host); a server that comes up after the client.
#include "tests/support/child_process.h"
#include "tests/support/temp_root.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <string>
#include <thread>

namespace tlv {
namespace {

const std::string kServerKey = "HKLM\\Software\\Talvor Client\\Server";

class Connection : public ::testing::Test {
protected:
    test::TempRoot root;
    test::SandboxProcesses procs{root.path()};

    std::string simLog() const { return root.file("tlvsim.log"); }
    // A TCP port of this test's own (TCP and UDP ports do not meet).
    int tcpPort() const { return procs.udpPort(); }
    // A discovery port nobody asks on: the simulator cannot be found by broadcast.
    std::vector<std::string> noDiscovery() const {
        return {"--udp-port", std::to_string(procs.udpPort() + 500), "--client-udp-port",
                std::to_string(procs.udpPort() + 501)};
    }
    void nameServer(const std::string& name, int port) {
        ASSERT_TRUE(procs.reg(kServerKey, "Automatic Server Connection", "REG_DWORD", "0"));
        ASSERT_TRUE(procs.reg(kServerKey, "Name", "REG_SZ", name));
        ASSERT_TRUE(procs.reg(kServerKey, "Port", "REG_SZ", std::to_string(port)));
    }
    int startSim(std::vector<std::string> args) {
        args.insert(args.end(), {"--plain", "--log", simLog()});
        return procs.startSimulator(args, root.file("tlvsim.out"));
    }
    int startClient() { return procs.spawn(TLVCLI_EXE, {}, root.file("tlvcli.out")); }
    // The client connected and its state reports arrive.
    bool reporting(int seconds = 30) {
        return test::waitForText(simLog(), "\tconnect\t", seconds) &&
               test::waitForText(simLog(), "\treport\t", 10);
    }
    std::string why() {
        std::string log = root.path() + "/ProgramData/Talvor Client/tlvcli.log";
        return "tlvsim:\n" + test::readFile(root.file("tlvsim.out")) + "\ntlvcli.log:\n" +
               (std::filesystem::exists(log) ? test::readFile(log) : std::string());
    }
    void stopClient(int pid) {
        procs.signal(pid, SIGTERM);
        EXPECT_EQ(procs.waitExit(pid, 10), 0);
    }
};

TEST_F(Connection, NamedServerByAddressOnAnotherPort) {
    ASSERT_TRUE(procs.configure());
    nameServer(procs.address(), tcpPort());
    std::vector<std::string> args = noDiscovery();
    args.insert(args.end(), {"--port", std::to_string(tcpPort())});
    ASSERT_GT(startSim(args), 0);
    const int cli = startClient();
    EXPECT_TRUE(reporting()) << why();
    stopClient(cli);
}

TEST_F(Connection, NamedServerByHostName) {
    ASSERT_TRUE(procs.configure());
    nameServer("localhost", tcpPort());
    std::vector<std::string> args = noDiscovery();
    args.insert(args.end(), {"--bind", "127.0.0.1", "--port", std::to_string(tcpPort())});
    ASSERT_GT(startSim(args), 0);
    const int cli = startClient();
    EXPECT_TRUE(reporting()) << why();
    stopClient(cli);
}

// The server is down when the client starts, in either mode: the client keeps trying and
// connects once the server is up.
TEST_F(Connection, ServerUpAfterTheClientInBothModes) {
    for (bool automatic : {false, true}) {
        SCOPED_TRACE(automatic ? "discovery" : "named server");
        test::TempRoot caseRoot;
        test::SandboxProcesses p(caseRoot.path());
        ASSERT_TRUE(p.configure());
        if (!automatic) {
            const std::string key = kServerKey;
            ASSERT_TRUE(p.reg(key, "Automatic Server Connection", "REG_DWORD", "0"));
            ASSERT_TRUE(p.reg(key, "Name", "REG_SZ", p.address()));
            ASSERT_TRUE(p.reg(key, "Port", "REG_SZ", std::to_string(p.udpPort())));
        }
        const int cli = p.spawn(TLVCLI_EXE, {}, caseRoot.file("tlvcli.out"));
        // Its first attempts fail (the first comes about 2 s after the start).
        std::this_thread::sleep_for(std::chrono::seconds(5));
        std::vector<std::string> args = {"--plain", "--log", caseRoot.file("tlvsim.log")};
        if (!automatic)
            args.insert(args.end(), {"--port", std::to_string(p.udpPort())});
        ASSERT_GT(p.startSimulator(args, caseRoot.file("tlvsim.out")), 0);
        EXPECT_TRUE(test::waitForText(caseRoot.file("tlvsim.log"), "\treport\t", 30))
            << test::readFile(caseRoot.file("tlvsim.out"));
        p.signal(cli, SIGTERM);
        EXPECT_EQ(p.waitExit(cli, 10), 0);
    }
}

TEST_F(Connection, DiscoveryWithTheBareAnswer) {
    ASSERT_TRUE(procs.configure());
    ASSERT_GT(startSim({}), 0);
    const int cli = startClient();
    EXPECT_TRUE(reporting()) << why();
    // The simulator answers at once, as a server on the same network does: the first answer
    // is taken (an answer that came before the answer port was bound used to be lost, and the
    // request went out every 500 ms for seconds).
    const std::string out = test::readFile(root.file("tlvsim.out"));
    size_t requests = 0;
    for (size_t at = out.find("discovery from"); at != std::string::npos;
         at = out.find("discovery from", at + 1))
        ++requests;
    EXPECT_GE(requests, 1u);
    EXPECT_LE(requests, 2u) << out;
    stopClient(cli);
}

// The answer names the server's host: the client connects to that name on 4646. The only name
// that reaches this machine alone is localhost, so the simulator listens on 127.0.0.1:4646.
TEST_F(Connection, DiscoveryWithAnAnswerNamingTheHost) {
    ASSERT_TRUE(procs.configure());
    ASSERT_TRUE(procs.reg("HKLM\\Software\\Talvor Client\\Constants", "cnxBroardcastAdr", "REG_SZ",
                          "127.0.0.1"));
    ASSERT_GT(startSim({"--bind", "127.0.0.1", "--name", "localhost"}), 0);
    ASSERT_TRUE(test::waitForText(root.file("tlvsim.out"), "listening", 10))
        << "127.0.0.1:4646 taken? " << why();
    const int cli = startClient();
    EXPECT_TRUE(reporting()) << why();
    stopClient(cli);
}

} // namespace
} // namespace tlv
