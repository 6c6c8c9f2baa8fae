// Resource names, search expressions, the configured resource list and the code page of model names.
#include <gtest/gtest.h>

#include "Cp1251.h"
#include "FindExpr.h"
#include "ResourceList.h"
#include "ResourceName.h"

using namespace mivisa;

TEST(ResourceName, AcceptsTheSocketFormsAndCanonicalisesThem) {
    struct Case {
        const char* text;
        const char* canonical;
        const char* key;
    } cases[] = {
        {"TCPIP0::192.168.1.60::8888::SOCKET", "TCPIP0::192.168.1.60::8888::SOCKET", "192.168.1.60#8888"},
        {"tcpip::PXA-Lab.example::5025::socket", "TCPIP0::PXA-Lab.example::5025::SOCKET",
         "pxa-lab.example#5025"},
        {"TCPIP12::[fe80::1]::65535::SOCKET", "TCPIP12::[fe80::1]::65535::SOCKET", "fe80::1#65535"},
    };
    for (const Case& c : cases) {
        ResourceName r;
        ASSERT_EQ(parseResourceName(c.text, r), VI_SUCCESS) << c.text;
        EXPECT_EQ(r.canonical(), c.canonical);
        EXPECT_EQ(r.key(), c.key);
    }
}

TEST(ResourceName, TellsMalformedFromOtherKinds) {
    for (const char* bad :
         {"", "TCPIP0", "TCPIP0::host::SOCKET", "TCPIP0::host::0::SOCKET", "TCPIP0::host::65536::SOCKET",
          "TCPIP0::host::50x::SOCKET", "TCPIP0::ho st::1::SOCKET", "TCPIP0::::1::SOCKET",
          "TCPIP0::host::1::SOCKET::", "TCPIP0::[::1::1::SOCKET", "TCPIPx::host::1::SOCKET",
          "FOO0::host::1::SOCKET", "TCPIP0::host::1::SOCKETS"}) {
        ResourceName r;
        EXPECT_EQ(parseResourceName(bad, r), VI_ERROR_INV_RSRC_NAME) << bad;
    }
    for (const char* other :
         {"TCPIP0::10.0.0.1::inst0::INSTR", "TCPIP::10.0.0.1::INSTR", "GPIB0::18::INSTR",
          "USB0::0x2A8D::0x0B0B::MY1::INSTR", "ASRL1::INSTR", "TCPIP0::10.0.0.1::hislip0::INSTR"}) {
        ResourceName r;
        EXPECT_EQ(parseResourceName(other, r), VI_ERROR_RSRC_NFOUND) << other;
    }
}

TEST(FindExpr, FollowsVisaPatternsIgnoringCase) {
    FindExpr e;
    ASSERT_TRUE(e.compile("?*"));
    EXPECT_TRUE(e.matches("TCPIP0::1.2.3.4::5025::SOCKET"));
    ASSERT_TRUE(e.compile("TCPIP?*::5025::SOCKET"));
    EXPECT_TRUE(e.matches("tcpip0::pxa::5025::socket"));
    EXPECT_FALSE(e.matches("TCPIP0::sk::8888::SOCKET"));
    // A dot is a dot, not any character.
    ASSERT_TRUE(e.compile("TCPIP0::10.0.0.1::?*"));
    EXPECT_FALSE(e.matches("TCPIP0::10x0x0x1::1::SOCKET"));
    ASSERT_TRUE(e.compile("TCPIP[^1-9]::(a|b)+::\\d::SOCKET"));
    EXPECT_TRUE(e.matches("TCPIP0::abba::d::SOCKET"));
    EXPECT_FALSE(e.matches("TCPIP1::abba::d::SOCKET"));
    EXPECT_FALSE(e.matches("TCPIP0::abba::7::SOCKET"));
    for (const char* bad : {"?*[a-", "(?*", "?*{VI_ATTR_TCPIP_PORT==5025}", "\\"})
        EXPECT_FALSE(e.compile(bad)) << bad;
}

TEST(ResourceList, KeepsWellFormedEntriesOnce) {
    const std::string file =
        "# lab\n"
        "TCPIP0::10.0.0.5::5025::SOCKET # comment\n"
        "  TCPIP::10.0.0.6::8888::SOCKET | manufacturer = Reruro | model=К4-Э1|serial=|busy=1\n"
        "TCPIP0::10.0.0.7::8888::SOCKET|busy=yes\n"
        "TCPIP0::10.0.0.8::8888::SOCKET|vendor=X\n"
        "TCPIP0::10.0.0.9::8888::SOCKET|model\n"
        "TCPIP0::10.0.0.1::inst0::INSTR\n"
        "tcpip::10.0.0.5::5025::socket|model=again\n";
    const std::vector<ResourceEntry> entries = parseResourceList(file, '\n');
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_TRUE(entries[0].needsIdentity());
    EXPECT_FALSE(entries[0].hasModel);
    const ResourceEntry& sk = entries[1];
    EXPECT_EQ(sk.manufacturer, "Reruro");
    EXPECT_EQ(sk.model, "К4-Э1");
    EXPECT_TRUE(sk.hasSerial);
    EXPECT_EQ(sk.serial, "");
    EXPECT_TRUE(sk.busy);
    EXPECT_FALSE(sk.needsIdentity());
    // In the variable, ';' separates and '#' is text.
    const auto fromVariable = parseResourceList("TCPIP::h1::1::SOCKET|model=A#1;;TCPIP::h2::2::SOCKET", ';');
    ASSERT_EQ(fromVariable.size(), 2u);
    EXPECT_EQ(fromVariable[0].model, "A#1");
}

TEST(Cp1251, EncodesCyrillicAndMarksWhatItCannot) {
    EXPECT_EQ(utf8ToCp1251("К4-Э1"),
              "\xCA"
              "4-\xDD"
              "1");
    EXPECT_EQ(utf8ToCp1251("АЯая Ёё №€"), "\xC0\xDF\xE0\xFF \xA8\xB8 \xB9\x88");
    EXPECT_EQ(utf8ToCp1251("N9030A"), "N9030A");
    EXPECT_EQ(utf8ToCp1251("中x"), "?x");
    EXPECT_EQ(utf8ToCp1251("\xD0"), "?");
    EXPECT_EQ(utf8ToCp1251("a\xFF"
                           "b"),
              "a?b");
}
