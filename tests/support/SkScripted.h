// A scripted SK instrument on ScriptedVisa: every request the library writes is parsed from its bytes and
// answered by `respond`, whose reply joins the stream viRead serves. By default settings are echoed, the
// sample rate and a response table reported, and MI_RUN answered with as many 32-bit samples as the last
// P_CLK asked for, sample i of the acquisition being (i, -i).
#pragma once

#include <functional>
#include <memory>
#include <vector>

#include "backends/sk/Sk.h"
#include "support/Records.h"
#include "support/ScriptedVisa.h"
#include "support/SkWire.h"

namespace support {

// An SK given the records but spared the start-up exchange, for tests of one operation at a time.
inline std::unique_ptr<SK> skWithoutStartUp(Records& r) {
    auto sk = std::make_unique<SK>();
    sk->visa = &r.visa;
    sk->status = &r.status;
    sk->session = &r.session;
    sk->resourceManager = &r.resourceManager;
    sk->params = &r.params;
    sk->error = &r.error;
    sk->device = &r.device;
    return sk;
}

class SkScripted {
public:
    explicit SkScripted(DynamicVisa& visa) {
        io.onWrite = [this](const std::string& bytes) {
            m_pending += bytes;
            sk::Message m;
            while (sk::take(m_pending, &m)) {
                m.readBefore = m_appended - io.stream.size();
                sent.push_back(m);
                const sk::Bytes reply = respond(m);
                m_appended += reply.size();
                io.stream += reply;
            }
        };
        io.install(visa);
        respond = [this](const sk::Message& m) { return standardReply(m); };
    }
    SkScripted(const SkScripted&) = delete;
    SkScripted& operator=(const SkScripted&) = delete;

    sk::Bytes standardReply(const sk::Message& m) {
        if (m.command == 3 && m.pid == 50) clk = m.values;
        if (m.command == 3) return sk::parameter(3, unsigned(m.pid), m.lenFrac, m.values);
        if (m.command == 4 && m.pid == 101) return sk::parameter(4, 101, m.lenFrac, {sampleRate, 1});
        if (m.command == 4 && (m.pid == 105 || m.pid == 106)) {
            const auto& table = m.pid == 105 ? tableHz : tableDb;
            std::vector<double> values{0, double(table.size())};
            values.insert(values.end(), table.begin(), table.end());
            return sk::message(4, 0, 2, m.lenFrac, sk::parameterBody(unsigned(m.pid), m.lenFrac, values));
        }
        if (m.command == 6 && clk.size() == 4) {
            std::vector<std::vector<int64_t>> iq;
            for (int64_t i = int64_t(clk[0]); i < int64_t(clk[0] + clk[1]); ++i) iq.push_back({i, -i});
            return sk::dataReply(iq);
        }
        return sk::message(m.command, 0, 0, 0, "");
    }
    std::vector<sk::Message> sentWith(int pid) const {
        std::vector<sk::Message> out;
        for (const sk::Message& m : sent)
            if (m.pid == pid) out.push_back(m);
        return out;
    }

    ScriptedVisa io;
    std::function<sk::Bytes(const sk::Message&)> respond;
    std::vector<sk::Message> sent;
    double sampleRate = 1.25e7;
    std::vector<double> tableHz{995e6, 1005e6}, tableDb{0, 0};
    std::vector<double> clk;  // the last P_CLK values

private:
    std::string m_pending;
    std::size_t m_appended = 0;
};

}  // namespace support
