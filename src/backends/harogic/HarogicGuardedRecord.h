// A record the device library fills, in a buffer far larger than the fields we read. The library's own
// layout of these records is not ours to know, so it gets ample zeroed room, and a guard region after
// the room shows whether it wrote even past that.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstring>
#include <memory>
#include <new>

#include "backends/harogic/HarogicTexts.h"
#include "backends/harogic/HtraApi.h"
#include "util/Log.h"

namespace trv::htra {

// Status a guarded call reports when the library wrote past the room; outside the library's own range.
constexpr int kRecordOverrun = -1000;

constexpr std::size_t kRecordRoom = 8192;   // the record and at least 4 KiB beyond it
constexpr std::size_t kRecordGuard = 4096;  // overwrites here are caught, not suffered

template <typename Record>
class GuardedRecord {
    static_assert(sizeof(Record) <= kRecordRoom / 2, "the room leaves a wide margin after the record");
    static_assert(alignof(Record) <= alignof(std::max_align_t), "new[] aligns the buffer for the record");

public:
    // `name` says in the error report which record the library overran.
    explicit GuardedRecord(const char* name)
        : m_bytes(new unsigned char[kRecordRoom + kRecordGuard]), m_name(name) {
        std::memset(m_bytes.get(), 0, kRecordRoom);
        std::memcpy(m_bytes.get() + kRecordRoom, pattern(), kRecordGuard);
        m_record = new (m_bytes.get()) Record{};
    }

    Record* get() { return m_record; }
    Record& operator*() { return *m_record; }

    // The library's status, or kRecordOverrun when the call wrote past the room: the record's content
    // then follows a layout we do not know and is not used. Logged once per record kind and process.
    int judge(int status) {
        if (std::memcmp(m_bytes.get() + kRecordRoom, pattern(), kRecordGuard) == 0) return status;
        std::memcpy(m_bytes.get() + kRecordRoom, pattern(), kRecordGuard);
        static std::atomic<bool> reported{false};
        if (!reported.exchange(true)) {
            qCWarning(trv::log::harogic).noquote().nospace()
                << trv::harogic_text::kRecordOverrunLead << kRecordRoom
                << trv::harogic_text::kRecordOverrunMiddle << m_name << trv::harogic_text::kRecordOverrunTail;
        }
        return kRecordOverrun;
    }

private:
    static const unsigned char* pattern() {
        static const auto bytes = [] {
            std::unique_ptr<unsigned char[]> p(new unsigned char[kRecordGuard]);
            for (std::size_t i = 0; i < kRecordGuard; ++i) p[i] = static_cast<unsigned char>(0xA5 ^ (i * 7));
            return p;
        }();
        return bytes.get();
    }

    std::unique_ptr<unsigned char[]> m_bytes;
    Record* m_record = nullptr;
    const char* m_name;
};

// Device_Open with ample room for the open-information record, which the library fills and we never read;
// `info` keeps what fits in it. A device opened by a library that overran even that room is closed again.
inline int openDevice(void** device, int number, const OpenProfileRecord* profile, OpenInfoRecord* info) {
    GuardedRecord<OpenInfoRecord> room("open information record");
    const int opened = Device_Open(device, number, profile, room.get());
    const int status = room.judge(opened);
    if (status == kRecordOverrun && opened == kOk) {
        Device_Close(device);
        *device = nullptr;
    }
    std::memcpy(info, room.get(), sizeof *info);
    return status;
}

}  // namespace trv::htra
