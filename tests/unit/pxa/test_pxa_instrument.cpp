// The emulated N9030A's SCPI and model, without a socket.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "PxaInstrument.h"

namespace {

class Instrument : public ::testing::Test {
protected:
    sim::PxaInstrument pxa;

    std::string ask(const std::string& message) {
        std::string reply;
        pxa.execute(message, reply);
        return reply;
    }
    std::vector<std::string> drainErrors() {
        std::vector<std::string> out;
        for (int i = 0; i < 200; ++i) {
            const std::string e = ask(":SYST:ERR?");
            if (e == "+0,\"No error\"\n") break;
            out.push_back(e);
        }
        return out;
    }
    // A steady carrier: a tone at the centre with no noise gives every sample the same value.
    void steadyCarrier(double levelDbm) {
        pxa.setNoiseDbm(-400);
        pxa.setTone(0, levelDbm);
    }
};

float floatAt(const std::string& bytes, std::size_t at, bool leastFirst) {
    uint32_t bits = 0;
    for (int i = 0; i < 4; ++i)
        bits |= uint32_t(static_cast<unsigned char>(bytes[at + (leastFirst ? i : 3 - i)])) << (8 * i);
    float v;
    std::memcpy(&v, &bits, sizeof v);
    return v;
}

}  // namespace

TEST_F(Instrument, HeadersMatchInLongAndShortFormAnyCaseWithOptionalNodesAndRelativePaths) {
    EXPECT_EQ(ask("*IDN?"), "Keysight Technologies,N9030A,SIM0001,A.01.00\n");
    EXPECT_EQ(ask("*idn?"), ask("*IDN?"));
    for (const char* form : {":SENSe:FREQuency:SPAN 1e6", "sens:freq:span 1E6", "FREQ:SPAN 1000 kHz",
                             ":sense:frequency:span 1MHZ"}) {
        ask(":FREQ:SPAN 5e6");
        ask(form);
        EXPECT_EQ(pxa.settings().spanHz, 1e6) << form;
    }
    EXPECT_EQ(ask(":SENS:FREQ:RF:CENT 2.5 GHZ;:FREQ:CENT?"), "2500000000\n");
    EXPECT_EQ(ask(":SENSe:VECTOR:BWIDth:RESolution? MIN;RES? MAX"),
              ask(":VECT:BAND:RES? MIN;:VECT:BWID:RES? MAX"));
    EXPECT_EQ(ask("*OPC?;:FREQ:SPAN?;*OPC?"), "1;1000000;1\n");
    EXPECT_TRUE(drainErrors().empty());

    // A numeric suffix must match; a form that is neither long nor short is no header at all.
    for (const char* bad :
         {":CALC:VECT:DATA:RAW?", ":FREQU:SPAN?", ":FREQ:SPAN:FOO?", "*FOO", ":SYSTem:ERRor:NEXT"})
        EXPECT_EQ(ask(bad), "") << bad;
    const auto errors = drainErrors();
    ASSERT_EQ(errors.size(), 5u);
    for (const auto& e : errors) EXPECT_EQ(e, "-113,\"Undefined header\"\n");
}

TEST_F(Instrument, SettingsOutsideTheirLimitsAreClampedAndQueuedAsOutOfRange) {
    ask(":FREQ:SPAN 1 GHZ;:FREQ:CENT -5;:POW:RANG 99 dBm");
    EXPECT_EQ(pxa.settings().spanHz, 40e6);
    EXPECT_EQ(pxa.settings().centerHz, 3);
    EXPECT_EQ(pxa.settings().rfRangeDbm, 30);
    EXPECT_EQ(drainErrors(), std::vector<std::string>(3, "-222,\"Data out of range\"\n"));

    EXPECT_EQ(ask(":FREQ:SPAN? MIN;SPAN? MAX;:POW:RANG? MIN;:FREQ:CENT? MAX"),
              "10;40000000;-50;26500000000\n");
    ask(":FREQ:SPAN MIN");
    EXPECT_EQ(pxa.settings().spanHz, 10);
    EXPECT_TRUE(drainErrors().empty());

    ask(":FREQ:SPAN 5 furlongs;:FREQ:SPAN wide;:FREQ:SPAN;:FORM:BORD BACKWARDS");
    EXPECT_EQ(drainErrors(), (std::vector<std::string>{
                                 "-131,\"Invalid suffix\"\n", "-104,\"Data type error\"\n",
                                 "-109,\"Missing parameter\"\n", "-224,\"Illegal parameter value\"\n"}));
    EXPECT_EQ(pxa.settings().spanHz, 10);
}

TEST_F(Instrument, SampleRatePointsAndBandwidthAreCoupled) {
    ask(":FREQ:SPAN 7812500 HZ");
    EXPECT_EQ(pxa.settings().sampleRate, 1e7);
    EXPECT_EQ(ask(":CALC:VECT:DATA2:HEAD? 'XDelta'"), "1e-07\n");
    // The relation the backend sets points by, both ways, to two decimals of bandwidth.
    for (long long n : {1000LL, 3000LL, 65536LL, 1000000LL}) {
        const double rbw = std::trunc(3.8194 * 1e7 / n * 100) / 100;
        ask(":SENS:VECT:BWID:RES " + std::to_string(rbw) + " HZ");
        // Cutting the bandwidth to two decimals moves a large count by up to n x 0.01 / rbw.
        EXPECT_NEAR(pxa.settings().points, n, n * 0.01 / rbw + 0.5) << n;
        EXPECT_EQ(ask(":CALC:VECT:DATA2:RAW:POIN?"), std::to_string(pxa.settings().points) + "\n");
    }
    // The bandwidth limits are whole hertz and keep the capture between its smallest and largest size.
    const long long low = std::stoll(ask(":VECT:BWID:RES? MIN"));
    const long long high = std::stoll(ask(":VECT:BWID:RES? MAX"));
    EXPECT_LE(3.8194 * 1e7 / low, sim::PxaInstrument::kPointsMax);
    EXPECT_GE(3.8194 * 1e7 / high, sim::PxaInstrument::kPointsMin);

    // A narrower span pulls a bandwidth that no longer fits into its new limits, without an error.
    ask(":VECT:BWID:RES MIN;:FREQ:SPAN 1 KHZ");
    EXPECT_LE(pxa.settings().points, sim::PxaInstrument::kPointsMax);
    EXPECT_GE(pxa.settings().rbwHz, std::stod(ask(":VECT:BWID:RES? MIN")));
    EXPECT_TRUE(drainErrors().empty());

    ask("*RST");
    EXPECT_EQ(pxa.settings().points, 1000);
    EXPECT_EQ(pxa.settings().centerHz, 1e9);
}

TEST_F(Instrument, ErrorQueueIsFirstInFirstOutAndBounded) {
    EXPECT_EQ(ask("SYST:ERR?"), "+0,\"No error\"\n");
    for (int i = 0; i < 150; ++i) ask(":NOPE");
    const auto errors = drainErrors();
    ASSERT_EQ(errors.size(), sim::PxaInstrument::kErrorQueueSize);
    EXPECT_EQ(errors.front(), "-113,\"Undefined header\"\n");
    EXPECT_EQ(errors.back(), "-350,\"Queue overflow\"\n");

    ask(":NOPE;*CLS");
    EXPECT_EQ(ask(":SYSTem:ERRor:NEXT? "), "+0,\"No error\"\n");

    sim::PxaFaults faults;
    faults.errorQueueNeverEmpties = true;
    faults.opc = sim::PxaFaults::Opc::Zero;
    pxa.setFaults(faults);
    ask(":NOPE");
    EXPECT_EQ(ask("SYST:ERR?"), ask("SYST:ERR?"));
    EXPECT_NE(ask("SYST:ERR?"), "+0,\"No error\"\n");
    EXPECT_EQ(ask("*OPC?"), "0\n");
}

TEST_F(Instrument, CaptureBlocksCarryTheSignalInEitherByteOrderOrAsText) {
    steadyCarrier(-10);
    const double amplitude = sim::dbmToVolts(-10);
    ask(":SENS:VECT:BWID:RES 38194 HZ;:FORM REAL;:FORM:BORD SWAP");
    std::string reply;
    EXPECT_TRUE(pxa.execute(":CALC:VECT:DATA2:RAW?", reply));
    ASSERT_EQ(reply.substr(0, 6), "#48000");
    ASSERT_EQ(reply.size(), 6u + 8000 + 1);
    EXPECT_EQ(reply.back(), '\n');
    EXPECT_NEAR(floatAt(reply, 6, true), amplitude, 1e-6);
    EXPECT_NEAR(floatAt(reply, 10, true), 0.0, 1e-6);
    EXPECT_NEAR(floatAt(reply, 6 + 8 * 999, true), amplitude, 1e-6);

    ask(":FORM:BORD NORM");
    reply.clear();
    pxa.execute(":CALC:VECT:DATA2:RAW?", reply);
    EXPECT_NEAR(floatAt(reply, 6, false), amplitude, 1e-6);

    ask(":FORM ASCii");
    const std::string text = ask(":CALC:VECT:DATA2:RAW?");
    EXPECT_EQ(std::count(text.begin(), text.end(), ','), 1999);
    EXPECT_NEAR(std::stod(text), amplitude, 1e-9);

    sim::PxaFaults faults;
    faults.wrongDigitCount = true;
    pxa.setFaults(faults);
    ask(":FORM REAL");
    EXPECT_EQ(ask(":CALC:VECT:DATA2:RAW?").substr(0, 6), "#38000");
    faults = sim::PxaFaults{};
    faults.nonNumericLength = true;
    pxa.setFaults(faults);
    EXPECT_EQ(ask(":CALC:VECT:DATA2:RAW?").substr(0, 6), "#4XXXX");
}
