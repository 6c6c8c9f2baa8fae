#include "backends/pxa/PxaScpi.h"

#include <QLocale>
#include <climits>
#include <cstdlib>
#include <vector>

#include <trelvan/Split.h>
#include "backends/ErrorTexts.h"
#include "backends/pxa/PxaBlock.h"

namespace trv::pxa {

namespace {

// A bad block header leaves an unknown amount of data in flight. It is read away until the line has been
// quiet this long, in reads of kDrainBytes, never more than the largest block there can be.
constexpr ViUInt32 kDrainQuietMs = 200;
constexpr ViUInt32 kDrainBytes = 64 * 1024;
constexpr long long kMaxDrainReads = kMaxBlockBytes / kDrainBytes + 1;
// An ASCII point is two numbers of at most 16 characters and their separators.
constexpr long long kBytesPerAsciiPoint = 33;

}  // namespace

void ScpiLink::command(const char* text) {
    m_status = m_visa.viPrintf(m_session, const_cast<ViString>(text));
}

void ScpiLink::command(const char* format, const char* argument) {
    m_status = m_visa.viPrintf(m_session, const_cast<ViString>(format), argument);
}

std::string ScpiLink::query(const char* text, size_t room) {
    std::vector<char> reply(std::max<size_t>(room, 2), '\0');
    const std::string format = "%" + std::to_string(reply.size() - 1) + "T";
    m_status = m_visa.viQueryf(m_session, const_cast<ViString>(text), const_cast<ViString>(format.c_str()),
                               reply.data());
    reply.back() = '\0';
    return std::string(reply.data());
}

void ScpiLink::setTimeout(ViUInt32 ms) {
    m_visa.viSetAttribute(m_session, VI_ATTR_TMO_VALUE, ms);
}

int ScpiLink::opcQuery() {
    if (!healthy()) return VI_ERROR_TMO;
    const std::string reply = query("*OPC?\n");
    // Like stoi: leading blanks and a sign, digits up to the first non-digit; no digits at all gives 0,
    // which only means "ask again".
    const long value = std::strtol(reply.c_str(), nullptr, 10);
    return value > INT_MAX ? INT_MAX : (value < INT_MIN ? INT_MIN : static_cast<int>(value));
}

int ScpiLink::opc() {
    for (int i = 0; i < kMaxOpcQueries; ++i) {
        const int answer = opcQuery();
        if (answer == 1 || answer == VI_ERROR_TMO) return answer;
    }
    return VI_ERROR_TMO;
}

std::string ScpiLink::opcFramedQuery(const char* text, size_t room) {
    opc();
    std::string reply = query(text, room);
    opc();
    return reply;
}

void ScpiLink::readText(std::string& reply, unsigned int count, unsigned long& retCount) {
    reply.clear();
    if (count == 0 || count > kChunkBytes) count = kChunkBytes;
    setTimeout(kExchangeTimeoutMs);
    unsigned char buffer[kChunkBytes];
    ViUInt32 kept = 0;
    const ReadEnd end = read(buffer, count, [&](ViUInt32 received) {
        reply.append(reinterpret_cast<const char*>(buffer) + kept, received - kept);
        kept = received;
    });
    // A lost link ends the read at once: the timeout and the count are left as they were.
    if (end == ReadEnd::LostEmpty) return;
    setTimeout(TRELVAN_TMO_RELAXED);
    retCount = reply.size();
}

bool ScpiLink::lineEndFollows() {
    std::string end;
    unsigned long got = 0;
    readText(end, 1, got);
    return m_status != VI_SUCCESS || end == std::string(1, kBlockEnd);
}

long long ScpiLink::requestBlock(ByteOrder order, const std::function<void()>& meanwhile) {
    command(":FORMat:TRACe:DATA REAL\n");
    command(order == ByteOrder::Swapped ? ":FORMat:BORDer SWAP\n" : ":FORMat:BORDer NORMal\n");
    opc();
    command(":CALCulate:VECTor:DATA2:RAW?\n");
    if (meanwhile) meanwhile();
    std::string reply;
    unsigned long got = 0;
    readText(reply, 2, got);
    const int digits = blockDigitCount(reply);
    long long length = -1;
    if (digits > 0) {
        readText(reply, static_cast<unsigned int>(digits), got);
        length = blockLength(reply, digits);
    }
    if (length < 0) setTimeout(TRELVAN_TMO_RELAXED);
    return length;
}

int ScpiLink::points() {
    const std::string reply = opcFramedQuery(":CALCulate:VECTor:DATA2:RAW:POINTs?\n");
    bool ok = false;
    const int value = QLocale::c().toInt(QString::fromLatin1(split(reply, "\n")[0].c_str()).trimmed(), &ok);
    return ok ? value : 0;
}

std::string ScpiLink::requestAsciiData() {
    const long long expected = kBytesPerAsciiPoint * points();
    std::string text;
    // Without a point count there is no reply to read, so none is asked for: it would wait in the session
    // and spoil the next exchange.
    if (expected <= 0) return text;
    command(":FORMat:TRACe:DATA ASCii\n");
    command(":CALCulate:VECTor:DATA2:RAW?\n");
    // The reply is one line: a read ends at its line end instead of waiting for bytes that never come.
    m_visa.viSetAttribute(m_session, VI_ATTR_TERMCHAR, '\n');
    m_visa.viSetAttribute(m_session, VI_ATTR_TERMCHAR_EN, 1);
    const long long limit = std::min(kMaxBlockBytes, expected + kChunkBytes);
    std::string piece;
    unsigned long got = 0;
    while (static_cast<long long>(text.size()) < limit) {
        readText(piece, kChunkBytes, got);
        text += piece;
        if (piece.size() != kChunkBytes || m_status != VI_SUCCESS || text.back() == '\n') break;
    }
    m_visa.viSetAttribute(m_session, VI_ATTR_TERMCHAR_EN, 0);
    return text;
}

void ScpiLink::drain() {
    // After a timeout the session is re-opened anyway, and a lost connection has nothing left to read.
    if (!healthy()) return;
    setTimeout(kDrainQuietMs);
    std::vector<unsigned char> sink(kDrainBytes);
    for (long long i = 0; i < kMaxDrainReads; ++i) {
        ViUInt32 got = 0;
        const ViStatus s = m_visa.viRead(m_session, sink.data(), kDrainBytes, &got);
        if (got > 0 && (s == VI_SUCCESS || moreToCome(s) || s == VI_SUCCESS_TERM_CHAR)) continue;
        // A quiet line is what the drain waits for, not a failure; anything else is.
        if (s != VI_ERROR_TMO) m_status = s;
        break;
    }
    setTimeout(TRELVAN_TMO_RELAXED);
}

void ScpiLink::reopen() {
    if (m_session != 0) m_visa.viClose(m_session);
    if (m_resourceManager != 0) m_visa.viClose(m_resourceManager);
    m_status = m_visa.viOpenDefaultRM(&m_resourceManager);
    m_status = m_visa.viOpen(m_resourceManager, const_cast<ViRsrc>(m_device.address), VI_EXCLUSIVE_LOCK,
                             kOpenTimeoutMs, &m_session);
}

std::string ScpiLink::nextError(size_t room) {
    return opcFramedQuery(":SYSTem:ERRor:NEXT? \n", room);
}

void ScpiLink::readErrorQueue(QVector<Error>& list) {
    Error entry;
    const QLocale c = QLocale::c();
    for (int i = 0; i < kMaxErrorQueueReads; ++i) {
        opc();
        const std::string reply = query(":SYSTem:ERRor:NEXT? \n", 1024);
        const ViStatus queried = m_status;
        opc();
        if (queried != VI_SUCCESS) {
            // What the failed query left in the buffer is not an entry.
            list.append(Error{trv::errors::kVisaTimeoutCode, trv::errors::visaTimeoutText()});
            return;
        }
        const std::vector<QString> fields = QSplit(reply, ",");
        bool ok = false;
        const int code = fields.empty() ? 0 : c.toInt(fields[0].trimmed(), &ok);
        if (ok) {
            entry.code = code;
            entry.text = fields.size() > 1 ? fields[1] : QString();
        }
        list.append(entry);
        if (entry.code == 0 || m_status != VI_SUCCESS) return;
    }
}

}  // namespace trv::pxa
