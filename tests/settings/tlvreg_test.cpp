#include "platform/linux/sqlite_hive.h"
#include "tests/support/temp_root.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>

namespace tlv {
namespace {

struct ToolRun {
    int status = -1;
    std::string out, err;
};

// Runs the built tlvreg with its own machine root, without a shell in between.
ToolRun tlvreg(const std::string& root, std::vector<std::string> args) {
    args.insert(args.begin(), TLVREG_PATH);
    const std::string outFile = root + "/.out", errFile = root + "/.err";
    const pid_t pid = fork();
    if (pid == 0) {
        const int out = open(outFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        const int err = open(errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        const int in = open("/dev/null", O_RDONLY);
        dup2(out, 1);
        dup2(err, 2);
        dup2(in, 0);
        setenv("TLVCLI_ROOT", root.c_str(), 1);
        std::vector<char*> argv;
        for (auto& a : args)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        execv(argv[0], argv.data());
        _exit(127);
    }
    ToolRun r;
    int status = 0;
    waitpid(pid, &status, 0);
    r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    r.out = test::readFile(outFile);
    r.err = test::readFile(errFile);
    return r;
}

const std::string kServer = "HKLM\\Software\\Talvor Client\\Server";

TEST(Tlvreg, AddQueryExportDeleteImportGivesTheSameValues) {
    test::TempRoot root;
    const std::string m = root.path();
    const std::vector<std::vector<std::string>> adds = {
        {"/v", "Port", "/t", "REG_SZ", "/d", "4700"},
        {"/v", "Automatic Server Connection", "/t", "REG_DWORD", "/d", "30"},
        {"/v", "Mask", "/t", "REG_DWORD", "/d", "0xFFFFFFFF"},
        {"/v", "Blob", "/t", "REG_BINARY", "/d", "00ff10"},
        {"/v", "Path", "/d", "C:\\dir \"quoted\""},
        {"/v", "Lines", "/d", "one\r\ntwo"},
        {"/ve", "/d", "default text"},
    };
    for (auto a : adds) {
        a.insert(a.begin(), {"add", kServer});
        a.push_back("/f");
        const ToolRun r = tlvreg(m, a);
        EXPECT_EQ(r.status, 0) << a[3] << r.err;
        EXPECT_EQ(r.out, "The operation completed successfully.\n");
    }
    EXPECT_EQ(tlvreg(m, {"add", "HKCU\\Software\\Talvor Client\\General", "/v", "Start active",
                         "/t", "REG_DWORD", "/d", "0", "/f"})
                  .status,
              0);
    EXPECT_EQ(tlvreg(m, {"add", "HKLM\\Software\\Talvor Client\\Server\\Empty"}).status, 0);

    const std::string expected = "\n"
                                 "HKEY_LOCAL_MACHINE\\Software\\Talvor Client\\Server\n"
                                 "    (Default)    REG_SZ    default text\n"
                                 "    Automatic Server Connection    REG_DWORD    0x1e\n"
                                 "    Blob    REG_BINARY    00FF10\n"
                                 "    Lines    REG_SZ    one\r\ntwo\n"
                                 "    Mask    REG_DWORD    0xffffffff\n"
                                 "    Path    REG_SZ    C:\\dir \"quoted\"\n"
                                 "    Port    REG_SZ    4700\n"
                                 "\n"
                                 "HKEY_LOCAL_MACHINE\\Software\\Talvor Client\\Server\\Empty\n"
                                 "\n";
    ToolRun q = tlvreg(m, {"query", kServer});
    EXPECT_EQ(q.status, 0);
    EXPECT_EQ(q.out, expected);
    q = tlvreg(m, {"query", "hkey_local_machine\\SOFTWARE\\talvor client\\server", "/v", "port"});
    EXPECT_EQ(q.status, 0);
    EXPECT_EQ(q.out, "\nHKEY_LOCAL_MACHINE\\Software\\Talvor Client\\Server\n"
                     "    Port    REG_SZ    4700\n\n");

    const std::string file = root.file("settings.reg");
    EXPECT_EQ(tlvreg(m, {"export", "HKLM\\Software\\Talvor Client", file}).status, 0);
    const std::string reg = test::readFile(file);
    EXPECT_EQ(reg.rfind("Windows Registry Editor Version 5.00\r\n", 0), 0u);
    EXPECT_NE(reg.find("\r\n[HKEY_LOCAL_MACHINE\\Software\\Talvor Client\\Server]\r\n"),
              std::string::npos);
    EXPECT_NE(reg.find("\"Port\"=\"4700\"\r\n"), std::string::npos);
    EXPECT_NE(reg.find("\"Automatic Server Connection\"=dword:0000001e\r\n"), std::string::npos);
    EXPECT_NE(reg.find("\"Blob\"=hex:00,ff,10\r\n"), std::string::npos);
    EXPECT_NE(reg.find("\"Path\"=\"C:\\\\dir \\\"quoted\\\"\"\r\n"), std::string::npos);
    EXPECT_NE(reg.find("@=\"default text\"\r\n"), std::string::npos);

    EXPECT_EQ(tlvreg(m, {"delete", kServer, "/v", "PORT", "/f"}).status, 0);
    EXPECT_EQ(tlvreg(m, {"query", kServer, "/v", "Port"}).status, 1);
    EXPECT_EQ(tlvreg(m, {"delete", "HKLM\\Software\\Talvor Client", "/f"}).status, 0);
    q = tlvreg(m, {"query", kServer});
    EXPECT_EQ(q.status, 1);
    EXPECT_EQ(q.err, "ERROR: The system was unable to find the specified registry key or value.\n");

    const ToolRun imp = tlvreg(m, {"import", file});
    EXPECT_EQ(imp.status, 0) << imp.err;
    EXPECT_EQ(tlvreg(m, {"query", kServer}).out, expected);
    // The user hive was not part of the export and is untouched.
    EXPECT_EQ(
        tlvreg(m, {"query", "HKCU\\Software\\Talvor Client\\General", "/v", "Start active"}).out,
        "\nHKEY_CURRENT_USER\\Software\\Talvor Client\\General\n"
        "    Start active    REG_DWORD    0x0\n\n");
}

TEST(Tlvreg, BadUsageExitsTwoWithOneLine) {
    test::TempRoot root;
    const std::vector<std::vector<std::string>> cases = {
        {},
        {"frobnicate"},
        {"add"},
        {"add", "HKXX\\Software"},
        {"add", "HKLM"},
        {"add", kServer, "/v"},
        {"add", kServer, "/v", "x", "/t", "REG_DWORD", "/d", "12abc"},
        {"add", kServer, "/v", "x", "/t", "REG_DWORD", "/d", "4294967296"},
        {"add", kServer, "/v", "x", "/t", "REG_BINARY", "/d", "abc"},
        {"add", kServer, "/v", "x", "/t", "REG_MULTI_SZ", "/d", "a"},
        {"add", kServer, "/v", "x", "/ve"},
        {"add", kServer, "-q"},
        {"query"},
        {"query", kServer, "extra"},
        {"delete", "HKLM", "/f"},
        {"export", kServer},
        {"import"},
    };
    for (const auto& a : cases) {
        const ToolRun r = tlvreg(root.path(), a);
        std::string shown;
        for (const auto& s : a)
            shown += s + " ";
        EXPECT_EQ(r.status, 2) << shown;
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << shown << r.err;
        EXPECT_EQ(r.err.rfind("ERROR: Invalid syntax", 0), 0u) << shown << r.err;
        EXPECT_EQ(r.out, "") << shown;
    }
    // Nothing was created by any of them.
    EXPECT_FALSE(std::filesystem::exists(root.file("HKLM.db")));
}

TEST(Tlvreg, FailuresExitOne) {
    test::TempRoot root;
    const std::string m = root.path();
    EXPECT_EQ(tlvreg(m, {"query", kServer}).status, 1); // no hive yet: not created by reading
    EXPECT_FALSE(std::filesystem::exists(root.file("HKLM.db")));
    EXPECT_EQ(tlvreg(m, {"delete", kServer, "/v", "x", "/f"}).status, 1);
    EXPECT_EQ(tlvreg(m, {"import", root.file("missing.reg")}).status, 1);
    test::writeFile(root.file("bad.reg"), "Windows Registry Editor Version 5.00\r\n\r\n"
                                          "[HKEY_LOCAL_MACHINE\\Software\\A]\r\n"
                                          "\"ok\"=dword:00000001\r\n"
                                          "\"bad\"=dword:xyz\r\n");
    const ToolRun r = tlvreg(m, {"import", root.file("bad.reg")});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("line 5: bad dword value"), std::string::npos) << r.err;
    EXPECT_EQ(tlvreg(m, {"query", "HKLM\\Software\\A"}).status, 1); // nothing half-imported
    // Without /f and without a terminal nothing is overwritten.
    EXPECT_EQ(tlvreg(m, {"add", kServer, "/v", "Port", "/d", "1", "/f"}).status, 0);
    EXPECT_EQ(tlvreg(m, {"add", kServer, "/v", "Port", "/d", "2"}).status, 1);
    EXPECT_NE(tlvreg(m, {"query", kServer, "/v", "Port"}).out.find("REG_SZ    1\n"),
              std::string::npos);
    // A hive that is not a database is reported, never replaced.
    test::writeFile(root.file("HKCU.db"), "not a database at all, just text");
    const ToolRun bad = tlvreg(m, {"add", "HKCU\\Software\\X", "/v", "a", "/d", "b", "/f"});
    EXPECT_EQ(bad.status, 1);
    EXPECT_NE(bad.err.find("file is not a database"), std::string::npos) << bad.err;
    EXPECT_EQ(test::readFile(root.file("HKCU.db")), "not a database at all, just text");
}

} // namespace
} // namespace tlv
