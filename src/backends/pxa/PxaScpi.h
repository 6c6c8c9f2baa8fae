// The N9030A's SCPI link: every exchange the library has with the instrument, whether the PXA backend or
// the facade's direct I/O and captures make it. Commands and queries, the "*OPC?" wait, the exact-count
// reader, the definite-length block, the drain after a block that could not be read, the re-open after a
// timeout and the error queue all live here once, with one set of limits.
#pragma once

#include <trelvan/Records.h>

#include <QVector>
#include <algorithm>
#include <functional>
#include <string>

#include <trelvan/DynamicVisa.h>
#include "base/VisaConstants.h"

namespace trv::pxa {

// The timeout of a timed exchange; outside one the session runs under TRELVAN_TMO_RELAXED.
constexpr ViUInt32 kExchangeTimeoutMs = 1000;
constexpr ViUInt32 kOpenTimeoutMs = 5000;
// The reply buffer of a text reader, and the size of the pieces a block's data is read in.
constexpr unsigned int kChunkBytes = 1024;
// Empty timeouts in a row after which a read gives up.
constexpr int kMaxEmptyReads = 3;
// A working instrument answers "*OPC?" only when it is done, so it says 1 the first time. Anything else
// repeated this often means it never will; the wait gives up rather than hold the host.
constexpr int kMaxOpcQueries = 100;
// The queue of an N9030A holds fewer entries; one that never empties is cut off here.
constexpr int kMaxErrorQueueReads = 100;

enum class ByteOrder { Normal, Swapped };
enum class ReadEnd { Stopped, LostEmpty };
// How the data of a block went: all of it and its line end, cut short (the status word says why), or
// followed by something other than the line end, so the header lied about the length.
enum class BlockEnd { Complete, Cut, Shifted };

class ScpiLink {
public:
    ScpiLink(DynamicVisa& visa, ViStatus& status, ViSession& session, ViSession& resourceManager,
             const DeviceData& device)
        : m_visa(visa),
          m_status(status),
          m_session(session),
          m_resourceManager(resourceManager),
          m_device(device) {}

    bool healthy() const { return m_status == VI_SUCCESS; }

    // Each exchange stores its status in the status word and goes on regardless.
    void command(const char* text);
    void command(const char* format, const char* argument);
    // The reply up to its first NUL, in a zeroed buffer of `room` bytes.
    std::string query(const char* text, size_t room = 128);
    // Not stored: it would overwrite the status of the exchange it brackets.
    void setTimeout(ViUInt32 ms);

    // One "*OPC?" exchange: the instrument's answer (0 when it holds no number), or VI_ERROR_TMO while the
    // status word holds an error.
    int opcQuery();
    // Asks until the instrument answers 1; gives 1, or VI_ERROR_TMO once the status word holds an error or
    // the instrument never says 1.
    int opc();
    std::string opcFramedQuery(const char* text, size_t room = 128);

    // Reads exactly `count` bytes, whatever the VISA library says about a read that fills its count: the
    // bytes after them belong to the next reader. The first `room` of them go to `buffer`, the rest are
    // read and dropped. A read cut short by a timeout is continued for the rest; three empty timeouts in
    // a row, a lost link or any other status end it. After each read that brought bytes, `arrived` gets
    // the number held in `buffer` so far. The status word holds the last read's.
    template <class Arrived>
    ReadEnd read(unsigned char* buffer, ViUInt32 room, ViUInt32 count, Arrived&& arrived);
    template <class Arrived>
    ReadEnd read(unsigned char* buffer, ViUInt32 count, Arrived&& arrived) {
        return read(buffer, count, count, arrived);
    }
    // The text reader: `count` bytes (kChunkBytes when 0 or more) as a timed exchange; `retCount` gets the
    // length, except after a lost link with nothing read, which leaves it and the timeout as they were.
    void readText(std::string& reply, unsigned int count, unsigned long& retCount);

    // Asks for the vector data as a block of 32-bit float pairs in `order` and reads its header: the data
    // length in bytes, or -1 when what arrived cannot start a block we read, which ends the exchange.
    // `meanwhile` runs after the query is sent, while the instrument composes its reply.
    long long requestBlock(ByteOrder order, const std::function<void()>& meanwhile = {});
    // Reads `length` data bytes in pieces of kChunkBytes, each through `piece(bytes)`, then the line end.
    template <class Piece>
    BlockEnd readBlockData(long long length, Piece&& piece);
    // The vector data as ASCII text, read up to the reply's line end.
    std::string requestAsciiData();
    int points();

    // Reads and drops whatever the instrument still sends, so the next exchange starts at a reply boundary.
    void drain();
    // Opens the session again on the device's resource, closing the old one first: the instrument is opened
    // exclusively, so a second session beside a stale one would be refused.
    void reopen();

    // The instrument's next error-queue entry as it sends it.
    std::string nextError(size_t room = 128);
    // Appends the queue's entries up to and including the closing code-0 one. A failed query ends the read
    // with a timeout entry; a reply that does not parse repeats the previous entry.
    void readErrorQueue(QVector<Error>& list);

private:
    // Reads the byte that closes a block; false when it is something else.
    bool lineEndFollows();

    DynamicVisa& m_visa;
    ViStatus& m_status;
    ViSession& m_session;
    ViSession& m_resourceManager;
    const DeviceData& m_device;
};

// Reads `count` bytes (kChunkBytes when 0) of float pairs in the swapped byte order into `samples`, from
// element `written` on, never past the vector's end.
void readSwappedPairs(ScpiLink link, QVector<IQ_Elem>* samples, unsigned int count, int& written);

inline bool moreToCome(ViStatus s) {
    return s == VI_ERROR_TMO || s == VI_SUCCESS_MAX_CNT;
}

template <class Arrived>
ReadEnd ScpiLink::read(unsigned char* buffer, ViUInt32 room, ViUInt32 count, Arrived&& arrived) {
    unsigned char spill[kChunkBytes];
    room = std::min(room, count);
    ViUInt32 received = 0;
    int empty = 0;
    while (received < count) {
        const bool inRoom = received < room;
        unsigned char* to = inRoom ? buffer + received : spill;
        const ViUInt32 wanted = inRoom ? room - received : std::min<ViUInt32>(count - received, kChunkBytes);
        ViUInt32 got = 0;
        m_status = m_visa.viRead(m_session, to, wanted, &got);
        got = std::min(got, wanted);
        if (got > 0) {
            received += got;
            arrived(std::min(received, room));
            empty = 0;
            // A read that filled a part short of the count goes on for the rest, whatever its status.
            if (got == wanted || moreToCome(m_status)) continue;
            break;
        }
        if (m_status == VI_ERROR_CONN_LOST) return ReadEnd::LostEmpty;
        ++empty;
        if (!moreToCome(m_status) || empty >= kMaxEmptyReads) break;
    }
    // A read that ended on its count or on the term char succeeded; the status word says so, or every
    // later exchange would take the completion code for an error.
    if ((received == count && m_status == VI_SUCCESS_MAX_CNT) || m_status == VI_SUCCESS_TERM_CHAR)
        m_status = VI_SUCCESS;
    return ReadEnd::Stopped;
}

template <class Piece>
BlockEnd ScpiLink::readBlockData(long long length, Piece&& piece) {
    // The header closed its exchange; the data must not run under the relaxed timeout, or a stalled
    // instrument would hold the host (and the facade's lock) for days.
    setTimeout(kExchangeTimeoutMs);
    long long remaining = length;
    bool cut = false;
    while (!cut && remaining > 0) {
        const unsigned int size =
            remaining >= kChunkBytes ? kChunkBytes : static_cast<unsigned int>(remaining);
        piece(size);
        cut = m_status < VI_SUCCESS;
        remaining -= size;
    }
    BlockEnd result = cut ? BlockEnd::Cut : BlockEnd::Complete;
    if (!cut && m_status == VI_SUCCESS && !lineEndFollows()) result = BlockEnd::Shifted;
    setTimeout(TRELVAN_TMO_RELAXED);
    return result;
}

}  // namespace trv::pxa
