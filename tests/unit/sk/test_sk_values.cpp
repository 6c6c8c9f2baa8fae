#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "backends/sk/SK.h"

namespace {

using Bytes = std::vector<unsigned char>;

// Value encoding needs no session, so a bare SK will do.
class SkValues : public testing::Test {
protected:
    Bytes write(double v, unsigned len, unsigned frac) {
        Bytes out(len == 8 && frac == 15 ? 8 : len, 0xCC);
        sk->WriteComplexValue(v, out.data(), 0, 0, len, frac);
        return out;
    }
    double read(const Bytes& b, unsigned len, unsigned frac, bool isSigned = true) {
        return sk->ReadComplexValue(b.data(), 0, 0, isSigned, len, frac);
    }
    std::unique_ptr<SK> sk = std::make_unique<SK>();
};

TEST_F(SkValues, KnownEncodings) {
    EXPECT_EQ(write(-1.5, 4, 2), (Bytes{0x00, 0x80, 0xFE, 0xFF}));
    EXPECT_EQ(write(2.5, 2, 0), (Bytes{0x03, 0x00}));
    EXPECT_EQ(write(-2.5, 2, 0), (Bytes{0xFD, 0xFF}));
    EXPECT_EQ(write(3, 4, 0), (Bytes{0x03, 0x00, 0x00, 0x00}));
    EXPECT_EQ(write(2e9, 6, 0), (Bytes{0x00, 0x94, 0x35, 0x77, 0x00, 0x00}));
    EXPECT_EQ(write(-1, 6, 0), (Bytes(6, 0xFF)));
    EXPECT_EQ(write(1.0, 8, 15), (Bytes{0, 0, 0, 0, 0, 0, 0xF0, 0x3F}));

    EXPECT_EQ(read({0x00, 0x80, 0xFE, 0xFF}, 4, 2), -1.5);
    EXPECT_EQ(read({0xFF, 0xFF}, 2, 0, true), -1);
    EXPECT_EQ(read({0xFF, 0xFF}, 2, 0, false), 65535);
    EXPECT_EQ(read({0x00, 0x00, 0xFF, 0xFF}, 4, 2, true), -1);
    EXPECT_EQ(read({0x00, 0x00, 0xFF, 0xFF}, 4, 2, false), -1);  // fractions are always signed
    EXPECT_EQ(read({0xFF, 0x7F}, 2, 0, false), 32767);
    EXPECT_EQ(read({0x00, 0x80}, 2, 1), -128.0);
    EXPECT_EQ(read({0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}, 6, 0, false), 281474976710655.0);
    EXPECT_EQ(read({0, 0, 0, 0, 0, 0, 0xF0, 0xBF}, 8, 15), -1.0);
}

TEST_F(SkValues, RoundTripsInEveryFormTheSessionUses) {
    struct Case {
        unsigned char lenFrac;
        std::vector<double> values;
    };
    const Case cases[] = {
        {0x20, {0, 1, -1, 17, 32767, -32768, 1000}},
        {0x40, {0, 3, -3, 100000, 8188, 2147483647.0, -2147483648.0, 1e7}},
        {0x42, {0, 1.5, -1.5, 100, -100, 32767.9999847412109375, -32768, 0.0000152587890625, -12.25}},
        {0x60, {0, 1, -1, 2e9, 1e12, -1e12, 140737488355327.0, -140737488355328.0, 995e6}},
        {0x8F, {0, 1e-300, -3.75, 1.25e8, 6.02214076e23, -0.0}},
    };
    for (const Case& c : cases) {
        const unsigned len = c.lenFrac >> 4, frac = c.lenFrac & 15;
        // Several values side by side at an offset, as in a parameter body.
        Bytes msg(18 + c.values.size() * len, 0);
        for (unsigned i = 0; i < c.values.size(); ++i)
            sk->WriteComplexValue(c.values[i], msg.data(), 18, i, len, frac);
        for (unsigned i = 0; i < c.values.size(); ++i)
            EXPECT_EQ(sk->ReadComplexValue(msg.data(), 18, i, true, len, frac), c.values[i])
                << std::hex << int(c.lenFrac) << " #" << i;
        EXPECT_EQ(Bytes(msg.begin(), msg.begin() + 18), Bytes(18, 0)) << "wrote before the offset";
    }
}

TEST_F(SkValues, RoundsHalfAwayFromZero) {
    const std::pair<double, double> integers[] = {{0.5, 1},    {-0.5, -1},    {1.5, 2},    {-1.5, -2},
                                                  {1.4999, 1}, {-1.4999, -1}, {2.5001, 3}, {-0.4, 0}};
    for (auto [in, out] : integers) EXPECT_EQ(read(write(in, 4, 0), 4, 0), out) << in;
    // With two fractional bytes, half a step is 1/131072.
    const double step = 1.0 / 65536;
    EXPECT_EQ(read(write(step / 2, 4, 2), 4, 2), step);
    EXPECT_EQ(read(write(-step / 2, 4, 2), 4, 2), -step);
    EXPECT_EQ(read(write(step * 0.49, 4, 2), 4, 2), 0);
    EXPECT_EQ(read(write(100.3, 4, 2), 4, 2), std::round(100.3 * 65536) / 65536);
}

TEST_F(SkValues, ValuesBeyondTheWidthKeepTheirLowBytesAndNothingOverflows) {
    EXPECT_EQ(write(65537, 2, 0), (Bytes{0x01, 0x00}));
    EXPECT_EQ(write(-65537, 2, 0), (Bytes{0xFF, 0xFF}));
    // Too large for any integer, or not a number: written without undefined behaviour.
    EXPECT_EQ(write(1e300, 4, 0), (Bytes{0xFF, 0xFF, 0xFF, 0xFF}));
    EXPECT_EQ(write(-1e300, 4, 0), (Bytes{0, 0, 0, 0}));
    EXPECT_EQ(write(NAN, 4, 2), (Bytes{0, 0, 0, 0}));
    EXPECT_EQ(read({1, 2, 3}, 0, 0), 0);
}

}  // namespace
