// The shell recipes of the README's café owner's guide, run as written (only the example
// server address becomes the simulator's loopback address) against a temporary machine root:
// the client then connects to the server they name.
#include "tests/support/child_process.h"
#include "tests/support/temp_root.h"

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

namespace tlv {
namespace {

// The ```sh blocks of the README section that starts with the heading, indentation removed.
std::vector<std::string> shellBlocks(const std::string& markdown, const std::string& heading) {
    std::vector<std::string> blocks;
    const size_t start = markdown.find("\n" + heading + "\n");
    if (start == std::string::npos)
        return blocks;
    const size_t end = markdown.find("\n## ", start + heading.size() + 1);
    std::istringstream in(markdown.substr(start, end == std::string::npos ? end : end - start));
    std::string line, block;
    size_t indent = 0;
    bool inside = false;
    while (std::getline(in, line)) {
        const size_t text = line.find_first_not_of(' ');
        const std::string_view trimmed =
            text == std::string::npos ? std::string_view() : std::string_view(line).substr(text);
        if (!inside && trimmed == "```sh") {
            inside = true;
            indent = text;
            block.clear();
        } else if (inside && trimmed == "```") {
            inside = false;
            blocks.push_back(block);
        } else if (inside) {
            block += (line.size() > indent ? line.substr(indent) : std::string()) + "\n";
        }
    }
    return blocks;
}

std::string replaceAll(std::string text, const std::string& what, const std::string& with) {
    for (size_t at = text.find(what); at != std::string::npos;
         at = text.find(what, at + with.size()))
        text.replace(at, what.size(), with);
    return text;
}

TEST(ReadmeRecipes, TheCafeOwnersRecipesWorkAsWritten) {
    test::TempRoot root;
    test::SandboxProcesses procs(root.path());
    const std::vector<std::string> blocks =
        shellBlocks(test::readFile(TLVCLI_README), "## Café owner's guide");
    ASSERT_FALSE(blocks.empty());
    bool namesServer = false;
    const std::string bin = std::filesystem::path(TLVREG_EXE).parent_path().string();
    for (const std::string& block : blocks) {
        SCOPED_TRACE(block);
        namesServer = namesServer || block.find("/v Name") != std::string::npos;
        const std::string script = root.file("recipe.sh");
        test::writeFile(script, "set -e\nexport PATH='" + bin + "':/usr/bin:/bin\n" +
                                    replaceAll(block, "192.168.1.10", procs.address()));
        const std::string out = root.file("recipe.out");
        EXPECT_EQ(procs.waitExit(procs.spawn("/bin/sh", {script}, out), 20), 0)
            << test::readFile(out);
    }
    ASSERT_TRUE(namesServer) << "the guide no longer names a server";

    // What the recipes leave out: the first-run wizard done, and discovery kept on this
    // machine's loopback (and answered by nobody) in case the recipe failed to switch it off.
    for (const char* hive : {"HKLM", "HKCU"})
        ASSERT_TRUE(procs.reg(std::string(hive) + "\\Software\\Talvor Client\\General",
                              "Config Wizard", "REG_SZ", "1"));
    ASSERT_TRUE(procs.reg("HKLM\\Software\\Talvor Client\\Constants", "cnxBroardcastAdr", "REG_SZ",
                          procs.address()));
    const std::string simLog = root.file("tlvsim.log");
    ASSERT_GT(procs.startSimulator({"--udp-port", std::to_string(procs.udpPort() + 500),
                                    "--client-udp-port", std::to_string(procs.udpPort() + 501),
                                    "--plain", "--log", simLog},
                                   root.file("tlvsim.out")),
              0);
    const int cli = procs.spawn(TLVCLI_EXE, {}, root.file("tlvcli.out"));
    EXPECT_TRUE(test::waitForText(simLog, "\treport\t", 30))
        << test::readFile(root.file("tlvsim.out"));
    procs.signal(cli, SIGTERM);
    EXPECT_EQ(procs.waitExit(cli, 10), 0);
}

} // namespace
} // namespace tlv
