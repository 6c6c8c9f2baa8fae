// The command line's own logic: picking an instrument and splitting SCPI messages.
#include <gtest/gtest.h>

#include "Device.h"
#include "ScpiText.h"

using namespace cli;

namespace {

DeviceData device(const char* address, const char* model, const char* serial) {
    DeviceData d;
    qstrncpy(d.address, address, sizeof d.address);
    d.model = model;
    d.serial = serial;
    return d;
}

TEST(Device, IndexOrFiltersSelectOneInstrument) {
    const std::vector<DeviceData> found{device("TCPIP::127.0.0.3::8888::SOCKET", "К4-Э1", "7"),
                                        device("TCPIP0::127.0.0.2::5025::SOCKET", "N9030A", "DEMO-PXA"),
                                        device("TCPIP0::127.0.0.4::5025::SOCKET", "N9030A", "12"),
                                        device("USB::0", "E90-R0", "1000001")};
    const struct {
        const char* which;
        int picked;  // -1: refused
        const char* says;
    } cases[] = {
        {"1", 1, ""},
        {"7", -1, "numbered 0 to 3"},  // digits are an index, even when a serial reads the same
        {"model=n9030a", -1, "2 instruments match model=n9030a: 1 (serial=DEMO-PXA), 2 (serial=12)"},
        {"serial=12,model=N9030A", 2, ""},
        {"driver=harogic", 3, ""},
        {"serial=nope", -1, "no instrument matches serial=nope"},
        {"DEMO-PXA", -1, "neither an index nor filters"},
    };
    for (const auto& c : cases) {
        DeviceData d;
        QString error;
        const bool ok = pickDevice(found, c.which, d, error);
        EXPECT_EQ(ok, c.picked >= 0) << c.which;
        if (ok) {
            EXPECT_EQ(addressOf(d), addressOf(found[c.picked])) << c.which;
        } else {
            EXPECT_TRUE(error.contains(QString::fromUtf8(c.says))) << c.which << ": " << error.toStdString();
        }
    }
    // What `list` shows selects its own row.
    for (std::size_t i = 0; i < found.size(); ++i) {
        DeviceData d;
        QString error;
        ASSERT_TRUE(pickDevice(found, selectorFor(found, i), d, error)) << selectorFor(found, i).toStdString();
        EXPECT_EQ(addressOf(d), addressOf(found[i]));
    }
}

TEST(Scpi, CompoundMessagesSplitAsTheInstrumentSplitsThem) {
    EXPECT_EQ(scpiUnits(":SENS:FREQ:CENT 1e9; SPAN 1e6;*OPC?;SPAN?"),
              (QStringList{":SENS:FREQ:CENT 1e9", ":SENS:FREQ:SPAN 1e6", "*OPC?", ":SENS:FREQ:SPAN?"}));
    EXPECT_EQ(scpiUnits(":MMEM:STOR 'a;b';;"), (QStringList{":MMEM:STOR 'a;b'"}));
}

}  // namespace
