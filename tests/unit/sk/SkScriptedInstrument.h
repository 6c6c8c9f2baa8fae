// A scripted SK instrument behind the DynamicVisa slots: every request the library writes is parsed
// from its bytes (not through the library's header struct) and answered by a test-chosen function.
// By default it echoes settings, reports a sample rate and a response table, and answers MI_RUN with
// as many samples as the last P_CLK asked for, sample i of the acquisition being (i, -i).
#pragma once

#include <cmath>
#include <functional>
#include <vector>

#include "SkTestSupport.h"
#include "visa/DynamicVisa.h"

namespace sktest {

struct Sent {
    unsigned command = 0;
    int pid = -1;
    unsigned lenFrac = 0;
    std::vector<double> values;
    std::size_t readBefore = 0;  // reply bytes the library had read when it wrote this
};

inline int64_t readInt(const Bytes& b, std::size_t at, unsigned width) {
    uint64_t v = 0;
    for (unsigned k = 0; k < width; ++k) v |= uint64_t(uint8_t(b[at + k])) << (8 * k);
    if (width < 8 && (v >> (8 * width - 1)) & 1) v |= ~uint64_t(0) << (8 * width);
    return int64_t(v);
}

// A parameter reply carrying values in the fixed-point form lenFrac names.
inline Bytes paramReply(unsigned command, unsigned pid, unsigned lenFrac, const std::vector<double>& values,
                        int status = 0) {
    const unsigned width = lenFrac >> 4, frac = lenFrac & 15;
    Bytes body;
    put16(body, pid);
    for (double v : values) {
        const int64_t n = std::llround(std::ldexp(v, 8 * frac));
        for (unsigned k = 0; k < width; ++k) body += char((uint64_t(n) >> (8 * k)) & 0xFF);
    }
    return message(command, status, unsigned(values.size()), lenFrac, body);
}

// A data reply of 32-bit I/Q pairs followed by the body status.
inline Bytes dataReply(const std::vector<std::pair<int32_t, int32_t>>& iq, int headerStatus = 0,
                       int bodyStatus = 0) {
    Bytes body;
    for (auto [i, q] : iq) put32(body, uint32_t(i)), put32(body, uint32_t(q));
    put16(body, uint16_t(bodyStatus));
    return message(6, headerStatus, 2, 0x40, body);
}

class ScriptedInstrument {
public:
    explicit ScriptedInstrument(DynamicVisa& visa) {
        current() = this;
        visa.viRead = &ScriptedInstrument::read;
        visa.viWrite = &ScriptedInstrument::write;
        visa.viSetAttribute = [](ViObject, ViAttr, ViAttrState) -> ViStatus { return VI_SUCCESS; };
        visa.viClose = [](ViObject) -> ViStatus { return VI_SUCCESS; };
        respond = [this](const Sent& s) { return standardReply(s); };
    }
    ~ScriptedInstrument() { current() = nullptr; }

    Bytes standardReply(const Sent& s) {
        if (s.command == 3 && s.pid == 50) clk = s.values;
        if (s.command == 3) return paramReply(3, s.pid, s.lenFrac, s.values);
        if (s.command == 4 && s.pid == 101) return paramReply(4, 101, s.lenFrac, {sampleRate, 1});
        if (s.command == 4 && (s.pid == 105 || s.pid == 106)) {
            const auto& table = s.pid == 105 ? tableHz : tableDb;
            std::vector<double> values{0, double(table.size())};
            values.insert(values.end(), table.begin(), table.end());
            Bytes reply = paramReply(4, s.pid, s.lenFrac, values);
            reply[8] = 2;  // the points follow the two values the header counts
            return reply;
        }
        if (s.command == 6 && clk.size() == 4) {
            std::vector<std::pair<int32_t, int32_t>> iq;
            for (int i = 0; i < int(clk[1]); ++i) iq.push_back({int32_t(clk[0]) + i, -int32_t(clk[0]) - i});
            return dataReply(iq);
        }
        return message(s.command, 0, 0, 0, "");
    }

    std::function<Bytes(const Sent&)> respond;
    std::vector<Sent> sent;
    Bytes incoming;
    std::size_t consumed = 0;
    double sampleRate = 1.25e7;
    std::vector<double> tableHz{995e6, 1005e6}, tableDb{0, 0};
    std::vector<double> clk;

private:
    static ScriptedInstrument*& current() {
        static ScriptedInstrument* instance = nullptr;
        return instance;
    }
    static ViStatus read(ViSession, ViPBuf buf, ViUInt32 count, ViPUInt32 got) {
        ScriptedInstrument& s = *current();
        const std::size_t n = std::min<std::size_t>(count, s.incoming.size() - s.consumed);
        std::copy_n(s.incoming.begin() + long(s.consumed), n, buf);
        s.consumed += n;
        *got = ViUInt32(n);
        return n < count ? VI_ERROR_TMO : VI_SUCCESS;
    }
    static ViStatus write(ViSession, ViBuf buf, ViUInt32 count, ViPUInt32 done) {
        ScriptedInstrument& s = *current();
        s.pending.append(reinterpret_cast<const char*>(buf), count);
        *done = count;
        while (s.pending.size() >= 16) {
            const std::size_t size = 16 + std::size_t(readInt(s.pending, 6, 2) & 0xFFFF);
            if (s.pending.size() < size) break;
            Sent m;
            m.command = unsigned(readInt(s.pending, 2, 2) & 0xFFFF);
            m.lenFrac = uint8_t(s.pending[9]);
            if (size >= 18) m.pid = int(readInt(s.pending, 16, 2) & 0xFFFF);
            const unsigned width = m.lenFrac >> 4, frac = m.lenFrac & 15;
            for (unsigned i = 0; i < uint8_t(s.pending[8]) && width > 0; ++i)
                m.values.push_back(
                    std::ldexp(double(readInt(s.pending, 18 + i * width, width)), -8 * int(frac)));
            m.readBefore = s.consumed;
            s.pending.erase(0, size);
            s.sent.push_back(m);
            s.incoming += s.respond(m);
        }
        return VI_SUCCESS;
    }
    Bytes pending;
};

}  // namespace sktest
