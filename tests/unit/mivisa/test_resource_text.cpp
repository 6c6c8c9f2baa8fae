// Resource names, search expressions, and the configured resource list and where it is read from.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>

#include "FindExpr.h"
#include "ResourceList.h"
#include "ResourceName.h"

using namespace mivisa;

TEST(ResourceName, CanonicalisesTheSocketFormsAndTellsMalformedFromOtherKinds) {
    const std::tuple<const char*, const char*, const char*> good[] = {
        {"TCPIP0::192.168.1.60::8888::SOCKET", "TCPIP0::192.168.1.60::8888::SOCKET", "192.168.1.60#8888"},
        {"tcpip::PXA-Lab.example::5025::socket", "TCPIP0::PXA-Lab.example::5025::SOCKET",
         "pxa-lab.example#5025"},
        {"TCPIP12::[fe80::1]::65535::SOCKET", "TCPIP12::[fe80::1]::65535::SOCKET", "fe80::1#65535"},
    };
    for (const auto& [text, canonical, key] : good) {
        ResourceName r;
        ASSERT_EQ(parseResourceName(text, r), VI_SUCCESS) << text;
        EXPECT_EQ(r.canonical(), canonical);
        EXPECT_EQ(r.key(), key);
    }
    for (const char* bad :
         {"", "TCPIP0", "TCPIP0::host::SOCKET", "TCPIP0::host::0::SOCKET", "TCPIP0::host::65536::SOCKET",
          "TCPIP0::host::50x::SOCKET", "TCPIP0::ho st::1::SOCKET", "TCPIP0::::1::SOCKET",
          "TCPIP0::host::1::SOCKET::", "TCPIP0::[::1::1::SOCKET", "TCPIPx::host::1::SOCKET",
          "FOO0::host::1::SOCKET", "TCPIP0::host::1::SOCKETS"}) {
        ResourceName r;
        EXPECT_EQ(parseResourceName(bad, r), VI_ERROR_INV_RSRC_NAME) << bad;
    }
    for (const char* other : {"TCPIP0::10.0.0.1::inst0::INSTR", "GPIB0::18::INSTR", "ASRL1::INSTR",
                              "USB0::0x2A8D::0x0B0B::MY1::INSTR", "TCPIP0::10.0.0.1::hislip0::INSTR"}) {
        ResourceName r;
        EXPECT_EQ(parseResourceName(other, r), VI_ERROR_RSRC_NFOUND) << other;
    }
}

TEST(FindExpr, FollowsVisaPatternsIgnoringCase) {
    const std::tuple<const char*, const char*, bool> cases[] = {
        {"?*", "TCPIP0::1.2.3.4::5025::SOCKET", true},
        {"TCPIP?*::5025::SOCKET", "tcpip0::pxa::5025::socket", true},
        {"TCPIP?*::5025::SOCKET", "TCPIP0::sk::8888::SOCKET", false},
        {"TCPIP0::10.0.0.1::?*", "TCPIP0::10x0x0x1::1::SOCKET", false},  // a dot is a dot
        {"TCPIP[^1-9]::(a|b)+::\\d::SOCKET", "TCPIP0::abba::d::SOCKET", true},
        {"TCPIP[^1-9]::(a|b)+::\\d::SOCKET", "TCPIP1::abba::d::SOCKET", false},
        {"TCPIP[^1-9]::(a|b)+::\\d::SOCKET", "TCPIP0::abba::7::SOCKET", false},
    };
    for (const auto& [expression, name, matches] : cases) {
        FindExpr e;
        ASSERT_TRUE(e.compile(expression)) << expression;
        EXPECT_EQ(e.matches(name), matches) << expression << " " << name;
    }
    for (const char* bad : {"?*[a-", "(?*", "?*{VI_ATTR_TCPIP_PORT==5025}", "\\"})
        EXPECT_FALSE(FindExpr().compile(bad)) << bad;
}

TEST(ResourceList, KeepsWellFormedEntriesOnce) {
    const std::vector<ResourceEntry> entries = parseResourceList(
        "# lab\n"
        "TCPIP0::10.0.0.5::5025::SOCKET # comment\n"
        "  TCPIP::10.0.0.6::8888::SOCKET | manufacturer = Reruro | model=К4-Э1|serial=|busy=1\n"
        "TCPIP0::10.0.0.7::8888::SOCKET|busy=yes\n"
        "TCPIP0::10.0.0.8::8888::SOCKET|vendor=X\n"
        "TCPIP0::10.0.0.9::8888::SOCKET|model\n"
        "TCPIP0::10.0.0.1::inst0::INSTR\n"
        "tcpip::10.0.0.5::5025::socket|model=again\n",
        '\n');
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_TRUE(entries[0].needsIdentity());
    const ResourceEntry& sk = entries[1];
    EXPECT_EQ(sk.manufacturer, "Reruro");
    EXPECT_EQ(sk.model, "К4-Э1");
    EXPECT_TRUE(sk.hasSerial && sk.serial.empty() && sk.busy && !sk.needsIdentity());
    // In the variable, ';' separates and '#' is text.
    const auto fromVariable = parseResourceList("TCPIP::h1::1::SOCKET|model=A#1;;TCPIP::h2::2::SOCKET", ';');
    ASSERT_EQ(fromVariable.size(), 2u);
    EXPECT_EQ(fromVariable[0].model, "A#1");
}

namespace {

void writeList(const std::string& folder, const std::string& host) {
    ASSERT_EQ(std::system(("mkdir -p " + folder).c_str()), 0);
    std::ofstream(folder + "/resources.conf") << "TCPIP0::" << host << "::5025::SOCKET\n";
}

// The host of the one configured resource, or "none".
std::string configuredHost(const char* xdg, const char* home) {
    for (const auto& [name, value] : {std::pair{"XDG_CONFIG_HOME", xdg}, std::pair{"HOME", home}})
        value ? setenv(name, value, 1) : unsetenv(name);
    const std::vector<ResourceEntry> list = configuredResources();
    return list.size() == 1 ? list[0].name.host : "none";
}

}  // namespace

TEST(ResourceList, WithoutVariablesTheUsersConfigurationFolderIsReadBeforeTheSystemOne) {
    unsetenv("MIVISA_RESOURCES");
    unsetenv("MIVISA_CONFIG");
    char folder[] = "/tmp/mivisa-lists-XXXXXX";
    ASSERT_NE(mkdtemp(folder), nullptr);
    const std::string root = folder, xdg = root + "/xdg", home = root + "/home";
    writeList(xdg + "/mivisa", "10.0.0.1");
    writeList(home + "/.config/mivisa", "10.0.0.2");
    EXPECT_EQ(configuredHost(xdg.c_str(), home.c_str()), "10.0.0.1");
    EXPECT_EQ(configuredHost("", home.c_str()), "10.0.0.2");
    EXPECT_EQ(configuredHost(nullptr, home.c_str()), "10.0.0.2");

    // The system folder, in a private mount namespace with a scratch /etc; a set XDG_CONFIG_HOME
    // without a list leads there rather than to the home folder.
    const pid_t child = fork();
    if (child == 0) {
        const std::string ids = "0 " + std::to_string(getuid()) + " 1",
                          groups = "0 " + std::to_string(getgid()) + " 1";
        if (unshare(CLONE_NEWUSER | CLONE_NEWNS) != 0) _exit(77);
        std::ofstream("/proc/self/setgroups") << "deny";
        std::ofstream("/proc/self/uid_map") << ids;
        std::ofstream("/proc/self/gid_map") << groups;
        if (mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
            mount("none", "/etc", "tmpfs", 0, nullptr) != 0)
            _exit(77);
        writeList("/etc/mivisa", "10.0.0.3");
        const bool ok = configuredHost((root + "/empty").c_str(), home.c_str()) == "10.0.0.3" &&
                        configuredHost(nullptr, nullptr) == "10.0.0.3" &&
                        configuredHost(nullptr, (root + "/empty").c_str()) == "10.0.0.3";
        _exit(ok ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    std::system(("rm -rf " + root).c_str());
    ASSERT_TRUE(WIFEXITED(status));
    if (WEXITSTATUS(status) == 77) GTEST_SKIP() << "no private mount namespace here, so /etc is not covered";
    EXPECT_EQ(WEXITSTATUS(status), 0);
}
