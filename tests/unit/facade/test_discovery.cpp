// Discovery's filters, conversions and ordering, against a scripted VISA find list.
#include <gtest/gtest.h>

#include <QStringList>
#include <cstring>
#include <map>
#include <optional>

#include "HtraSim.h"
#include "facade/Trelvan.h"

namespace {

struct Resource {
    std::string descriptor;
    std::optional<std::string> manufacturer, model, serial;
    std::optional<ViBoolean> busy;
};

std::vector<Resource> resources;
size_t cursor = 0;
int closes = 0;
bool findFails = false;

ViStatus openRm(ViPSession rm) {
    *rm = 11;
    return VI_SUCCESS;
}

ViStatus findRsrc(ViSession, ViString, ViPFindList list, ViPUInt32 count, ViChar* desc) {
    if (findFails || resources.empty()) return VI_ERROR_RSRC_NFOUND;
    *list = 12;
    *count = static_cast<ViUInt32>(resources.size());
    cursor = 0;
    std::strcpy(desc, resources[0].descriptor.c_str());
    return VI_SUCCESS;
}

ViStatus findNext(ViFindList, ViChar* desc) {
    if (++cursor >= resources.size()) return VI_ERROR_RSRC_NFOUND;
    std::strcpy(desc, resources[cursor].descriptor.c_str());
    return VI_SUCCESS;
}

ViStatus getAttribute(ViObject, ViAttr attribute, void* out) {
    const Resource& r = resources[cursor];
    const std::optional<std::string>* text = attribute == VI_ATTR_MANF_NAME    ? &r.manufacturer
                                             : attribute == VI_ATTR_MODEL_NAME ? &r.model
                                             : attribute == VI_ATTR_USB_SERIAL_NUM ? &r.serial
                                                                                   : nullptr;
    if (text) {
        if (!*text) return VI_ERROR_NSUP_ATTR;
        std::strcpy(static_cast<char*>(out), (*text)->c_str());
        return VI_SUCCESS;
    }
    if (attribute == TRELVAN_ATTR_BUSY && r.busy) {
        std::memcpy(out, &*r.busy, sizeof(ViBoolean));
        return VI_SUCCESS;
    }
    return VI_ERROR_NSUP_ATTR;
}

ViStatus closeObject(ViObject) {
    ++closes;
    return VI_SUCCESS;
}

QStringList logLines;
void collect(QtMsgType, const QMessageLogContext&, const QString& line) { logLines << line; }

class Discovery : public ::testing::Test {
protected:
    void SetUp() override {
        resources.clear();
        closes = 0;
        findFails = false;
        HtraSim_Reset();
        HtraSim_SetDeviceCount(0);
        t.visa.viOpenDefaultRM = openRm;
        t.visa.viFindRsrc = findRsrc;
        t.visa.viFindNext = findNext;
        t.visa.viGetAttribute = getAttribute;
        t.visa.viClose = closeObject;
    }
    std::vector<std::string> addresses(const std::vector<DeviceData>& list) {
        std::vector<std::string> out;
        for (const DeviceData& d : list) out.push_back(d.address);
        return out;
    }
    Trelvan t;
};

TEST_F(Discovery, FreeInstrumentsComeFirstNewestFirstThenBusyOnesInOrder) {
    resources = {
        {"TCPIP0::10.0.0.1::5025::SOCKET", "Keysight Technologies", "N9030A", "A1", 0},
        {"TCPIP0::10.0.0.3::8888::SOCKET", "Reruro", "K4-E1", "C3", 1},
        {"TCPIP0::10.0.0.2::inst0::INSTR", "Agilent Technologies", "n9030a", "B2", 0},
        {"TCPIP0::10.0.0.4::8888::SOCKET", "Reruro", "K4-E2", "D4", 1},
    };
    // The USB devices are found first, so the free VISA instruments land in front of them.
    HtraSim_SetDeviceCount(1);
    const std::vector<DeviceData> list = t.getDevList();
    EXPECT_EQ(addresses(list), (std::vector<std::string>{"TCPIP0::10.0.0.2::5025::SOCKET",
                                                         "TCPIP0::10.0.0.1::5025::SOCKET", "USB::0",
                                                         "TCPIP::10.0.0.3::8888::SOCKET",
                                                         "TCPIP::10.0.0.4::8888::SOCKET"}));
    EXPECT_FALSE(list[2].busy);
    EXPECT_EQ(list[0].model, "n9030a");
    EXPECT_EQ(list[0].serial, "B2");
    EXPECT_FALSE(list[0].busy);
    EXPECT_TRUE(list[3].busy);
    EXPECT_EQ(t.getStatus(), 1);
    EXPECT_EQ(t.getNumPTS(CUR), 0);
    EXPECT_EQ(closes, 1);
}

TEST_F(Discovery, FiltersOnVendorModelAndSerial) {
    resources = {
        {"TCPIP0::10.0.0.1::8888::SOCKET", "Acme", "K4-E1", "1", 0},                    // wrong vendor
        {"TCPIP0::10.0.0.2::5025::SOCKET", std::nullopt, "N9030A", "2", std::nullopt},  // no vendor: kept
        {"TCPIP0::10.0.0.3::5025::SOCKET", "Keysight", "N9020B", "3", 0},               // wrong model
        {"TCPIP0::10.0.0.4::8888::SOCKET", "Reruro", "K4-E1", "", 0},                   // empty serial
        {"TCPIP0::10.0.0.5::8888::SOCKET", "Reruro", "k4 lowercase", std::nullopt, 0},  // no serial: kept
    };
    const std::vector<DeviceData> list = t.getDevList();
    EXPECT_EQ(addresses(list), (std::vector<std::string>{"TCPIP::10.0.0.5::8888::SOCKET",
                                                         "TCPIP0::10.0.0.2::5025::SOCKET"}));
    EXPECT_EQ(list[0].serial, "");
    EXPECT_FALSE(list[1].busy);
}

TEST_F(Discovery, CyrillicModelsArriveInWindows1251AndLeaveAsUtf8) {
    // "К4-Э1" in Windows-1251, followed by the unassigned byte 0x98 that the conversion drops.
    resources = {{"TCPIP0::10.0.0.9::8888::SOCKET", "Reruro", std::string("\xCA\x34-\xDD\x31\x98"), "1042", 0}};
    const std::vector<DeviceData> list = t.getDevList();
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(list[0].model, "К4-Э1");
    EXPECT_STREQ(list[0].address, "TCPIP::10.0.0.9::8888::SOCKET");
}

TEST_F(Discovery, AFailedSearchLogsAndLeavesTheListEmpty) {
    qInstallMessageHandler(collect);
    findFails = true;
    EXPECT_TRUE(t.getDevList().empty());
    qInstallMessageHandler(nullptr);
    EXPECT_TRUE(logLines.contains(QStringLiteral("Connection Error")));
    EXPECT_EQ(closes, 1);
    EXPECT_EQ(t.getStatus(), 1);
}

TEST_F(Discovery, DeviceAddNeverOverrunsTheAddressField) {
    std::string longAddress(300, 'a');
    t.DeviceAdd(&longAddress[0], "m", "s", false);
    ASSERT_EQ(t.devices.size(), 1u);
    EXPECT_EQ(std::strlen(t.devices[0].address), 127u);
}

}  // namespace
