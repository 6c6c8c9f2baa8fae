#include <gtest/gtest.h>

#include <algorithm>
#include <deque>
#include <memory>
#include <vector>

#include "SkTestSupport.h"
#include "backends/sk/SK.h"
#include "backends/sk/Vocabulary.h"
#include "visa/DynamicVisa.h"

using namespace sktest;

namespace {

// What the scripted instrument does, call by call. Reads deliver from `incoming`, at most the next
// entry of `readLimits` per call (short reads answer VI_SUCCESS, as the transport allows); with
// nothing left to give, a read times out empty. Writes accept the next entry of `writes`, or
// everything.
struct Script {
    Bytes incoming;
    std::deque<size_t> readLimits;
    std::deque<std::pair<size_t, ViStatus>> writes;
    ViStatus setAttributeResult = VI_SUCCESS;
    bool emptySuccessReads = false;

    Bytes written;
    std::vector<size_t> writeCalls;  // bytes offered per write
    std::vector<size_t> readCalls;   // bytes asked for per read
    std::vector<ViAttrState> timeouts;
    std::vector<ViObject> closed;
};

Script* script = nullptr;

ViStatus fakeRead(ViSession, ViPBuf buf, ViUInt32 count, ViPUInt32 got) {
    script->readCalls.push_back(count);
    size_t n = std::min<size_t>(count, script->incoming.size());
    if (!script->readLimits.empty()) {
        n = std::min(n, script->readLimits.front());
        script->readLimits.pop_front();
    }
    std::copy_n(script->incoming.begin(), n, buf);
    script->incoming.erase(0, n);
    *got = static_cast<ViUInt32>(n);
    if (n == 0 && count > 0 && !script->emptySuccessReads) return VI_ERROR_TMO;
    return VI_SUCCESS;
}

ViStatus fakeWrite(ViSession, ViBuf buf, ViUInt32 count, ViPUInt32 sent) {
    script->writeCalls.push_back(count);
    size_t n = count;
    ViStatus result = VI_SUCCESS;
    if (!script->writes.empty()) {
        n = std::min<size_t>(count, script->writes.front().first);
        result = script->writes.front().second;
        script->writes.pop_front();
    }
    script->written.append(reinterpret_cast<const char*>(buf), n);
    *sent = static_cast<ViUInt32>(n);
    return result;
}

ViStatus fakeSetAttribute(ViObject, ViAttr attr, ViAttrState value) {
    if (attr == VI_ATTR_TMO_VALUE) script->timeouts.push_back(value);
    return script->setAttributeResult;
}

ViStatus fakeClose(ViObject object) {
    script->closed.push_back(object);
    return VI_SUCCESS;
}

const QString kBodyCheck = QStringLiteral(
    "ASSERT: \"rcvHead->BodyLen >= 2 && (rcvHead->Command == MI_SET || rcvHead->Command == MI_GET)\" "
    "in file ..\\trelvan\\sk, line 537");
const QString kPidCheck = QStringLiteral("ASSERT: \"recvPID == PID\" in file ..\\trelvan\\sk, line 580");

class SkTransport : public testing::Test {
protected:
    void SetUp() override {
        script = &peer;
        visa.viRead = fakeRead;
        visa.viWrite = fakeWrite;
        visa.viSetAttribute = fakeSetAttribute;
        visa.viClose = fakeClose;
        // The transport alone: an unconnected object given the session, without the start-up exchange.
        sk = std::make_unique<SK>();
        sk->visa = &visa;
        sk->status = &status;
        sk->session = &session;
        sk->resourceManager = &rm;
        sk->params = &params;
        sk->error = &error;
        sk->device = &device;
    }
    void TearDown() override {
        sk.reset();
        script = nullptr;
    }
    Bytes received(unsigned long size) {
        return Bytes(reinterpret_cast<const char*>(sk->m_receiveBuffer), size);
    }

    Script peer;
    DynamicVisa visa{nullptr};
    ViStatus status = 0;
    ViSession session = 42, rm = 41;
    Params params{1e9, 1e7, 0};
    Error error;
    DeviceData device;
    std::unique_ptr<SK> sk;
    LogCapture log;
};

TEST_F(SkTransport, RequestsAreNumberedFromOneAndLaidOutByteForByte) {
    double three = 3;
    ASSERT_EQ(sk->SendParameter(MI_SET, P_SAMPLE_RATE, 1, 0x40, &three), VI_SUCCESS);
    EXPECT_EQ(peer.written, hex({0xAA, 0x55, 0x03, 0x00, 0x00, 0x80, 0x06, 0x00, 0x01, 0x40, 0x00,
                                 0x00, 0x01, 0x00, 0x00, 0x00, 0x65, 0x00, 0x03, 0x00, 0x00, 0x00}));

    peer.written.clear();
    peer.incoming = message(MI_RESET, 0, 0, 0, "");
    ASSERT_EQ(sk->ProcessReset(), VI_SUCCESS);
    EXPECT_EQ(peer.written, message(MI_RESET, -32768, 0, 0, "", 2));

    peer.written.clear();
    ASSERT_EQ(sk->SendParameter(MI_GET, P_RESPONSE_AMPLITUDE, 0, 0x42, nullptr), VI_SUCCESS);
    EXPECT_EQ(peer.written, message(MI_GET, -32768, 0, 0x42, hex({106, 0}), 3));

    peer.written.clear();
    double f[3] = {2e9, 1, 0};
    ASSERT_EQ(sk->SendParameter(MI_SET, P_RRS_FREQUENCY, 3, 0x60, f), VI_SUCCESS);
    EXPECT_EQ(peer.written, message(MI_SET, -32768, 3, 0x60, paramBody(56, {2000000000, 1, 0}, 6), 4));
    EXPECT_EQ(sk->m_requestCounter, 4u);
    for (ViAttrState t : peer.timeouts) EXPECT_EQ(t, 2000u);
}

TEST_F(SkTransport, SendDataRetriesShortAndTimedOutWritesWithTheRest) {
    const Bytes data = "0123456789abcdef";
    peer.writes = {{5, VI_SUCCESS}, {0, VI_ERROR_TMO}, {3, VI_ERROR_TMO}, {0, VI_ERROR_TMO}};
    EXPECT_EQ(sk->SendData(reinterpret_cast<unsigned char*>(const_cast<char*>(data.data())), data.size()),
              VI_SUCCESS);
    EXPECT_EQ(peer.written, data);
    EXPECT_EQ(peer.writeCalls, (std::vector<size_t>{16, 11, 11, 8, 8}));
    EXPECT_EQ(peer.timeouts.size(), 5u);
    EXPECT_EQ(status, VI_SUCCESS);

    // The last bytes leaving with a timeout end the loop with that status.
    peer.written.clear();
    peer.writes = {{4, VI_ERROR_TMO}};
    EXPECT_EQ(sk->SendData(reinterpret_cast<unsigned char*>(const_cast<char*>("abcd")), 4), VI_ERROR_TMO);
    EXPECT_EQ(peer.written, "abcd");
}

TEST_F(SkTransport, SendDataGivesUpOnAStalledPeerOrAHardError) {
    unsigned char data[8] = {};
    peer.writes = {
        {0, VI_ERROR_TMO}, {2, VI_ERROR_TMO}, {0, VI_ERROR_TMO}, {0, VI_SUCCESS}, {0, VI_ERROR_TMO}};
    EXPECT_EQ(sk->SendData(data, sizeof data), VI_ERROR_TMO);
    EXPECT_EQ(peer.writeCalls.size(), 5u);  // the count restarts after a write that moved bytes
    EXPECT_EQ(status, VI_ERROR_TMO);

    peer.writeCalls.clear();
    peer.writes = {{3, VI_ERROR_CONN_LOST}};
    EXPECT_EQ(sk->SendData(data, sizeof data), VI_ERROR_CONN_LOST);
    EXPECT_EQ(peer.writeCalls.size(), 1u);
    EXPECT_EQ(status, VI_ERROR_CONN_LOST);
}

TEST_F(SkTransport, ReceiveDataAssemblesShortReadsIntoTheBuffer) {
    const Bytes reply = message(MI_GET, 1, 1, 0x40, paramBody(101, {12500000}, 4), 9);
    peer.incoming = reply + "next";
    peer.readLimits = {3, 1, 12, 2, 1, 0, 3};
    peer.emptySuccessReads = true;
    unsigned char* msg = nullptr;
    unsigned long size = 0;
    ASSERT_EQ(sk->ReceiveData(&msg, &size, 777), VI_SUCCESS);
    EXPECT_EQ(size, reply.size());
    EXPECT_EQ(msg, sk->m_receiveBuffer);
    EXPECT_EQ(received(size), reply);
    EXPECT_EQ(peer.incoming, "next");  // nothing read beyond the message
    EXPECT_EQ(peer.readCalls, (std::vector<size_t>{16, 13, 12, 6, 4, 3, 3}));
    EXPECT_EQ(peer.timeouts, (std::vector<ViAttrState>{777}));
}

TEST_F(SkTransport, ZeroLengthBodyCostsOneEmptyRead) {
    peer.incoming = message(MI_RUN, 0, 0, 0, "");
    unsigned char* msg = nullptr;
    unsigned long size = 99;
    ASSERT_EQ(sk->ReceiveData(&msg, &size, 2000), VI_SUCCESS);
    EXPECT_EQ(size, 16u);
    EXPECT_EQ(peer.readCalls, (std::vector<size_t>{16, 0}));
}

TEST_F(SkTransport, BadSignatureIsRefusedAndLeavesTheBufferAndBodyAlone) {
    peer.incoming = message(MI_SET, 0, 0, 0, hex({1, 0}));
    unsigned char* msg = nullptr;
    unsigned long size = 0;
    ASSERT_EQ(sk->ReceiveData(&msg, &size, 2000), VI_SUCCESS);
    const Bytes before = received(18);

    peer.incoming = message(MI_SET, 0, 0, 0, "body", 0, 0xAA55) + "rest";
    msg = nullptr;
    EXPECT_EQ(sk->ReceiveData(&msg, &size, 2000), VI_ERROR_RAW_RD_PROT_VIOL);
    EXPECT_EQ(status, VI_SUCCESS);  // only returned: the caller decides what to store
    EXPECT_EQ(msg, nullptr);
    EXPECT_EQ(size, 0u);
    EXPECT_EQ(received(18), before);
    EXPECT_EQ(peer.incoming, "bodyrest");
}

TEST_F(SkTransport, OversizedBodyIsDrainedSoTheStreamStaysInStep) {
    const Bytes next = message(MI_GET, 0, 1, 0x20, paramBody(3, {17}, 2));
    peer.incoming = message(MI_RUN, 0, 0, 0, Bytes(65522, 'x')) + next;
    unsigned char* msg = nullptr;
    unsigned long size = 0;
    EXPECT_EQ(sk->ReceiveData(&msg, &size, 2000), VI_ERROR_RAW_RD_PROT_VIOL);
    EXPECT_EQ(peer.incoming, next);
    ASSERT_EQ(sk->ReceiveData(&msg, &size, 2000), VI_SUCCESS);
    EXPECT_EQ(received(size), next);

    // The largest body that fits is taken whole.
    const Bytes largest = message(MI_RUN, 0, 0, 0, Bytes(65520, 'y'));
    peer.incoming = largest;
    ASSERT_EQ(sk->ReceiveData(&msg, &size, 2000), VI_SUCCESS);
    EXPECT_EQ(size, 65536u);
    EXPECT_EQ(received(size), largest);

    // A body that never arrives in full ends with the read's own failure.
    peer.incoming = message(MI_RUN, 0, 0, 0, Bytes(65530, 'z')).substr(0, 5000);
    EXPECT_EQ(sk->ReceiveData(&msg, &size, 2000), VI_ERROR_TMO);
    EXPECT_EQ(status, VI_ERROR_TMO);
}

TEST_F(SkTransport, ReadFailuresEndTheReceiveAtOnce) {
    unsigned char* msg = nullptr;
    unsigned long size = 0;
    peer.incoming = message(MI_GET, 0, 0, 0, "").substr(0, 10);
    EXPECT_EQ(sk->ReceiveData(&msg, &size, 2000), VI_ERROR_TMO);
    EXPECT_EQ(status, VI_ERROR_TMO);
    EXPECT_EQ(peer.readCalls, (std::vector<size_t>{16, 6}));

    // A VISA that keeps answering success with nothing cannot hold the caller.
    peer.readCalls.clear();
    peer.emptySuccessReads = true;
    EXPECT_EQ(sk->ReceiveData(&msg, &size, 2000), VI_ERROR_TMO);
    EXPECT_EQ(peer.readCalls.size(), 3u);

    peer.readCalls.clear();
    peer.setAttributeResult = VI_ERROR_CONN_LOST;
    EXPECT_EQ(sk->ReceiveData(&msg, &size, 2000), VI_ERROR_CONN_LOST);
    EXPECT_EQ(status, VI_ERROR_CONN_LOST);
    EXPECT_TRUE(peer.readCalls.empty());
}

TEST_F(SkTransport, ReceiveParameterDecodesInPlace) {
    peer.incoming = message(MI_SET, 0, 3, 0x42, paramBody(88, {-100 * 65536, 0, 65536}, 4) + "tail");
    unsigned short pid = 0;
    double values[255];
    CommandHead* head = nullptr;
    unsigned char* body = nullptr;
    ASSERT_EQ(sk->ReceiveParameter(pid, values, &head, &body), VI_SUCCESS);
    EXPECT_EQ(pid, 88);
    EXPECT_EQ(values[0], -100);
    EXPECT_EQ(values[1], 0);
    EXPECT_EQ(values[2], 1);
    EXPECT_EQ(reinterpret_cast<unsigned char*>(head), sk->m_receiveBuffer);
    EXPECT_EQ(head->BodyLen, 18);
    EXPECT_EQ(body, sk->m_receiveBuffer + 16);
    EXPECT_EQ(Bytes(reinterpret_cast<char*>(body) + 14, 4), "tail");
    EXPECT_EQ(peer.timeouts, (std::vector<ViAttrState>{2000}));
    EXPECT_TRUE(LogCapture::lines().isEmpty());

    // Doubles, and plain integers read as signed.
    Bytes doubles;
    put16(doubles, 101);
    const double rate[2] = {1.25e7, -2};
    doubles.append(reinterpret_cast<const char*>(rate), sizeof rate);
    peer.incoming = message(MI_GET, 0, 2, 0x8F, doubles) + message(MI_GET, 0, 1, 0x20, paramBody(3, {-2}, 2));
    ASSERT_EQ(sk->ReceiveParameter(pid, values, nullptr, nullptr), VI_SUCCESS);
    EXPECT_EQ(values[0], 1.25e7);
    EXPECT_EQ(values[1], -2);
    ASSERT_EQ(sk->ReceiveParameter(pid, values, nullptr, nullptr), VI_SUCCESS);
    EXPECT_EQ(pid, 3);
    EXPECT_EQ(values[0], -2);
}

TEST_F(SkTransport, ReceiveParameterStaysInsideTheCallersArrayAndTheMessage) {
    // Ten values announced and carried; room for four.
    peer.incoming = message(MI_GET, 0, 10, 0x20, paramBody(50, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10}, 2));
    unsigned short pid = 0;
    double values[5] = {-7, -7, -7, -7, -7};
    ASSERT_EQ(sk->ReceiveParameter(pid, values, nullptr, nullptr, 4), VI_SUCCESS);
    EXPECT_EQ(values[3], 4);
    EXPECT_EQ(values[4], -7);

    // Four announced, two carried: the missing ones read as 0, not as what the buffer held before.
    peer.incoming = message(MI_GET, 0, 4, 0x40, paramBody(50, {11, 12}, 4));
    ASSERT_EQ(sk->ReceiveParameter(pid, values, nullptr, nullptr, 5), VI_SUCCESS);
    EXPECT_EQ(values[0], 11);
    EXPECT_EQ(values[1], 12);
    EXPECT_EQ(values[2], 0);
    EXPECT_EQ(values[3], 0);
    EXPECT_EQ(values[4], -7);
}

TEST_F(SkTransport, RepliesWithoutParameterBodyAreReported) {
    peer.incoming = message(MI_GET, 0, 1, 0x40, "");
    unsigned short pid = 77;
    double values[255] = {5};
    EXPECT_EQ(sk->ReceiveParameter(pid, values, nullptr, nullptr), VI_SUCCESS);
    EXPECT_EQ(pid, 77);
    EXPECT_EQ(values[0], 5);
    EXPECT_EQ(LogCapture::lines(), QStringList{kBodyCheck});

    // Another command with a body is reported but still decoded.
    LogCapture::lines().clear();
    peer.incoming = message(MI_RUN, 0, 1, 0x40, paramBody(9, {8}, 4));
    EXPECT_EQ(sk->ReceiveParameter(pid, values, nullptr, nullptr), VI_SUCCESS);
    EXPECT_EQ(pid, 9);
    EXPECT_EQ(values[0], 8);
    EXPECT_EQ(LogCapture::lines(), QStringList{kBodyCheck});

    // A failed read stores its status and decodes nothing.
    LogCapture::lines().clear();
    peer.incoming = message(MI_SET, 0, 0, 0, "", 0, 0x1234);
    EXPECT_EQ(sk->ReceiveParameter(pid, values, nullptr, nullptr), VI_ERROR_RAW_RD_PROT_VIOL);
    EXPECT_EQ(status, VI_ERROR_RAW_RD_PROT_VIOL);
    EXPECT_TRUE(LogCapture::lines().isEmpty());
}

TEST_F(SkTransport, ProcessParameterChecksTheEchoedId) {
    double values[255] = {0, 8188, 1, 256};
    peer.incoming = message(MI_SET, 0, 4, 0x40, paramBody(50, {0, 8188, 1, 128}, 4)) +
                    message(MI_SET, 0, 1, 0x40, paramBody(51, {1}, 4));
    CommandHead* head = nullptr;
    ASSERT_EQ(sk->ProcessParameter(MI_SET, P_CLK, 4, 0x40, values, &head), VI_SUCCESS);
    EXPECT_EQ(peer.written, message(MI_SET, -32768, 4, 0x40, paramBody(50, {0, 8188, 1, 256}, 4), 1));
    EXPECT_EQ(values[3], 128);
    EXPECT_EQ(head->Command, MI_SET);
    EXPECT_TRUE(LogCapture::lines().isEmpty());

    ASSERT_EQ(sk->ProcessParameter(MI_SET, P_CLK, 1, 0x40, values, nullptr), VI_SUCCESS);
    EXPECT_EQ(LogCapture::lines(), QStringList{kPidCheck});

    // Nothing is read when the request could not be sent.
    peer.readCalls.clear();
    peer.writes = {{0, VI_ERROR_CONN_LOST}};
    EXPECT_EQ(sk->ProcessParameter(MI_GET, P_MODE, 0, 0x20, values, nullptr), VI_ERROR_CONN_LOST);
    EXPECT_TRUE(peer.readCalls.empty());
    EXPECT_EQ(status, VI_ERROR_CONN_LOST);
}

TEST_F(SkTransport, ResetReadsOneReplyWhateverItSays) {
    peer.incoming = message(MI_RESET, -32768, 0, 0, hex({1, 2, 3, 4})) + "x";
    EXPECT_EQ(sk->ProcessReset(), VI_SUCCESS);
    EXPECT_EQ(peer.incoming, "x");

    peer.writes = {{0, VI_ERROR_IO}};
    EXPECT_EQ(sk->ProcessReset(), VI_ERROR_IO);
    EXPECT_EQ(status, VI_ERROR_IO);
    EXPECT_EQ(peer.incoming, "x");
}

TEST_F(SkTransport, LastRunStatusSeparatesWarningsFromErrors) {
    for (int s : {0, 1, 24, 20485}) {
        sk->m_lastRunHeaderStatus = static_cast<uint16_t>(s);
        EXPECT_FALSE(sk->CheckLastCmdStatus()) << s;
    }
    for (int s : {20486, 20509, -32768, -32475, -1}) {
        sk->m_lastRunHeaderStatus = static_cast<uint16_t>(s);
        EXPECT_TRUE(sk->CheckLastCmdStatus()) << s;
    }
}

TEST_F(SkTransport, DestructorClosesTheSessionThenTheResourceManager) {
    sk.reset();
    EXPECT_EQ(peer.closed, (std::vector<ViObject>{42, 41}));
}

TEST(SkUnbound, AnUnconnectedObjectExchangesNothing) {
    SK sk;
    unsigned char data[4] = {};
    unsigned char* msg = nullptr;
    unsigned long size = 0;
    unsigned short pid = 0;
    EXPECT_EQ(sk.SendData(data, 4), VI_ERROR_INV_OBJECT);
    EXPECT_EQ(sk.ReceiveData(&msg, &size, 10), VI_ERROR_INV_OBJECT);
    EXPECT_EQ(sk.ReceiveParameter(pid, nullptr, nullptr, nullptr), VI_ERROR_INV_OBJECT);
    EXPECT_EQ(sk.ProcessReset(), VI_ERROR_INV_OBJECT);
    EXPECT_EQ(sk.m_requestCounter, 0u);
}

}  // namespace
