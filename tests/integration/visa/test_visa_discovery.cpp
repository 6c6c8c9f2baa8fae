// Resource search over configured lists: live, dead, misconfigured and Cyrillic-named entries.
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <vector>

#include "VisaFixture.h"

using namespace visatest;

namespace {

constexpr int kProbeMs = 400;

// Answers "*IDN?" with `idn`; with an empty `idn`, says nothing at all.
LoopbackServer::Script instrument(std::string idn) {
    return LoopbackServer::answering([idn](const std::string& line) { return line == "*IDN?\n" ? idn : ""; });
}

class DiscoveryTest : public VisaTest {
protected:
    void SetUp() override {
        VisaTest::SetUp();
        setenv("MIVISA_PROBE_TIMEOUT_MS", std::to_string(kProbeMs).c_str(), 1);
        unsetenv("MIVISA_CONFIG");
    }
    void TearDown() override {
        unsetenv("MIVISA_RESOURCES");
        VisaTest::TearDown();
    }

    struct Found {
        std::string name;
        ViStatus manufacturerStatus, modelStatus, serialStatus;
        std::string manufacturer, model, serial;
        ViBoolean busy;
    };

    // Runs a search and reads every attribute of every resource found.
    ViStatus find(const char* expr, std::vector<Found>& out, ViUInt32* count = nullptr) {
        ViFindList list = VI_NULL;
        ViUInt32 n = 0;
        char desc[VI_FIND_BUFLEN] = {};
        ViStatus status = viFindRsrc(rm, const_cast<char*>(expr), &list, &n, desc);
        if (count) *count = n;
        for (ViUInt32 i = 0; status == VI_SUCCESS; ++i) {
            Found f;
            f.name = desc;
            char text[VI_FIND_BUFLEN];
            std::strcpy(text, "untouched");
            f.manufacturerStatus = viGetAttribute(list, VI_ATTR_MANF_NAME, text);
            f.manufacturer = text;
            std::strcpy(text, "untouched");
            f.modelStatus = viGetAttribute(list, VI_ATTR_MODEL_NAME, text);
            f.model = text;
            std::strcpy(text, "untouched");
            f.serialStatus = viGetAttribute(list, VI_ATTR_USB_SERIAL_NUM, text);
            f.serial = text;
            f.busy = 7;
            EXPECT_EQ(viGetAttribute(list, TRELVAN_ATTR_BUSY, &f.busy), VI_SUCCESS);
            out.push_back(f);
            status = viFindNext(list, desc);
        }
        EXPECT_EQ(status, VI_ERROR_RSRC_NFOUND);
        if (list != VI_NULL) {
            EXPECT_EQ(viClose(list), VI_SUCCESS);
        }
        return out.empty() ? VI_ERROR_RSRC_NFOUND : VI_SUCCESS;
    }
};

}  // namespace

TEST_F(DiscoveryTest, ListsWhatAnswersWithItsIdentity) {
    LoopbackServer pxa(instrument("Keysight Technologies,N9030A,MY55012345,A.25.05\n"), "127.0.2.1");
    LoopbackServer sk(instrument(""), "127.0.2.2");
    LoopbackServer silent(instrument(""), "127.0.2.3");
    LoopbackServer busy(instrument(""), "127.0.2.4");
    LoopbackServer refused(LoopbackServer::Kind::Refuse, "127.0.2.5");
    const std::string list =
        pxa.resource() + ";" + sk.resource() + "|manufacturer=Reruro|model=К4-Э1|serial=1042;" +
        refused.resource() + "|manufacturer=Reruro;" +
        silent.resource() + ";" + busy.resource() + "|manufacturer=Reruro|model=SK4-24|busy=1;" +
        // misconfigured: unknown key, bad busy value, not a socket, no port
        silent.resource() + "|colour=blue;" + pxa.resource() + "|busy=2;" +
        "TCPIP0::127.0.2.1::inst0::INSTR;TCPIP0::127.0.2.1::SOCKET;" +
        // the same instrument spelt differently counts once
        "tcpip::127.0.2.1::" + std::to_string(pxa.port()) + "::socket";
    setenv("MIVISA_RESOURCES", list.c_str(), 1);

    std::vector<Found> found;
    ViUInt32 count = 0;
    ASSERT_EQ(find("", found, &count), VI_SUCCESS);
    ASSERT_EQ(count, 4u);
    ASSERT_EQ(found.size(), 4u);

    EXPECT_EQ(found[0].name, pxa.resource());
    EXPECT_EQ(found[0].manufacturer, "Keysight Technologies");
    EXPECT_EQ(found[0].model, "N9030A");
    EXPECT_EQ(found[0].serial, "MY55012345");
    EXPECT_EQ(found[0].busy, 0);

    EXPECT_EQ(found[1].name, sk.resource());
    EXPECT_EQ(found[1].manufacturer, "Reruro");
    EXPECT_EQ(found[1].model,
              "\xCA"
              "4-\xDD"
              "1");  // Windows-1251
    EXPECT_EQ(found[1].serial, "1042");
    // A configured identity is not asked for.
    EXPECT_EQ(sk.accepted(), 1);

    EXPECT_EQ(found[2].name, silent.resource());
    EXPECT_EQ(found[2].manufacturerStatus, VI_ERROR_NSUP_ATTR);
    EXPECT_EQ(found[2].manufacturer, "untouched");
    EXPECT_EQ(found[2].modelStatus, VI_ERROR_NSUP_ATTR);
    EXPECT_EQ(found[2].serialStatus, VI_ERROR_NSUP_ATTR);

    EXPECT_EQ(found[3].name, busy.resource());
    EXPECT_EQ(found[3].busy, 1);
    EXPECT_EQ(found[3].serialStatus, VI_ERROR_NSUP_ATTR);
}

TEST_F(DiscoveryTest, FourDeadHostsCostAboutOneProbeTimeout) {
    const LoopbackServer::Kind never = LoopbackServer::Kind::NeverAccept;
    LoopbackServer dead[] = {LoopbackServer(never, "127.0.3.1"), LoopbackServer(never, "127.0.3.2"),
                             LoopbackServer(never, "127.0.3.3"), LoopbackServer(never, "127.0.3.4")};
    LoopbackServer live(instrument("Agilent Technologies,N9030A,US1,A.1\n"), "127.0.3.5");
    std::string list;
    for (const LoopbackServer& d : dead) list += d.resource() + "|manufacturer=Keysight|model=N9030A;";
    list += live.resource();
    setenv("MIVISA_RESOURCES", list.c_str(), 1);

    std::vector<Found> found;
    const auto start = std::chrono::steady_clock::now();
    ASSERT_EQ(find("?*", found), VI_SUCCESS);
    const double took = secondsSince(start);
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].name, live.resource());
    EXPECT_GE(took, kProbeMs / 1000.0 * 0.9);
    // One after another they would take four probe timeouts.
    EXPECT_LT(took, kProbeMs / 1000.0 * 2.5);
}

TEST_F(DiscoveryTest, ASessionOfOursMakesAnEntryBusyAndIsNotDisturbed) {
    LoopbackServer pxa(instrument("Keysight Technologies,N9030A,MY1,A.1\n"), "127.0.4.1");
    setenv("MIVISA_RESOURCES", pxa.resource().c_str(), 1);
    std::vector<Found> found;
    ASSERT_EQ(find("", found), VI_SUCCESS);
    EXPECT_EQ(found.at(0).busy, 0);
    ViSession vi = VI_NULL;
    std::string name = pxa.resource();
    ASSERT_EQ(viOpen(rm, &name[0], VI_EXCLUSIVE_LOCK, 1000, &vi), VI_SUCCESS);
    // The probe and our session.
    for (int i = 0; i < 200 && pxa.accepted() < 2; ++i) sleepMs(5);
    const int before = pxa.accepted();
    EXPECT_EQ(before, 2);
    found.clear();
    ASSERT_EQ(find("", found), VI_SUCCESS);
    EXPECT_EQ(found.at(0).busy, 1);
    // Still known by the identity it gave before, and not connected to again.
    EXPECT_EQ(found.at(0).model, "N9030A");
    EXPECT_EQ(pxa.accepted(), before);
}

TEST_F(DiscoveryTest, ListComesFromTheConfigFileWhenTheVariableIsUnset) {
    LoopbackServer a(instrument(""), "127.0.6.1");
    const std::string dir = ::testing::TempDir() + "mivisa-" + std::to_string(::getpid());
    const std::string file = dir + "-resources.conf";
    {
        std::ofstream out(file);
        out << "# lab instruments\n\n  " << a.resource() << " | manufacturer=Reruro # the SK\n"
            << "TCPIP0::127.0.6.2::1::SOCKET|model=\n";
    }
    unsetenv("MIVISA_RESOURCES");
    setenv("MIVISA_CONFIG", file.c_str(), 1);
    std::vector<Found> found;
    ASSERT_EQ(find("", found), VI_SUCCESS);
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].manufacturer, "Reruro");

    // Closing the manager frees its find lists.
    ViFindList list = VI_NULL;
    char desc[VI_FIND_BUFLEN];
    ASSERT_EQ(viFindRsrc(rm, const_cast<char*>(""), &list, nullptr, desc), VI_SUCCESS);
    ASSERT_EQ(viClose(rm), VI_SUCCESS);
    EXPECT_EQ(viFindNext(list, desc), VI_ERROR_INV_OBJECT);
    EXPECT_EQ(viGetAttribute(list, VI_ATTR_RSRC_NAME, desc), VI_ERROR_INV_OBJECT);
    ASSERT_EQ(viOpenDefaultRM(&rm), VI_SUCCESS);
    std::remove(file.c_str());
}
