// Unformatted I/O on a session.
#include "Api.h"
#include "Session.h"
#include "Status.h"

using namespace mivisa;

namespace {

// Buffer selections of viFlush.
constexpr ViUInt16 kReadBuf = 1, kWriteBuf = 2, kReadBufDiscard = 4, kWriteBufDiscard = 8;
constexpr ViUInt16 kIoInBuf = 16, kIoOutBuf = 32, kIoInBufDiscard = 64, kIoOutBufDiscard = 128;

}  // namespace

ViStatus viRead(ViSession vi, ViPBuf buf, ViUInt32 cnt, ViPUInt32 retCnt) {
    if (retCnt != nullptr) *retCnt = 0;
    auto session = Registry::instance().find<Session>(vi);
    if (!session) return VI_ERROR_INV_OBJECT;
    if (buf == nullptr && cnt != 0) return kErrorInvParameter;
    const ViStatus access = session->checkAccess();
    if (access != VI_SUCCESS) return access;
    return session->read(buf, cnt, retCnt);
}

ViStatus viWrite(ViSession vi, ViBuf buf, ViUInt32 cnt, ViPUInt32 retCnt) {
    if (retCnt != nullptr) *retCnt = 0;
    auto session = Registry::instance().find<Session>(vi);
    if (!session) return VI_ERROR_INV_OBJECT;
    if (buf == nullptr && cnt != 0) return kErrorInvParameter;
    const ViStatus access = session->checkAccess();
    if (access != VI_SUCCESS) return access;
    size_t sent = 0;
    const ViStatus status = session->write(buf, cnt, &sent);
    if (retCnt != nullptr) *retCnt = static_cast<ViUInt32>(sent);
    return status;
}

ViStatus viClear(ViSession vi) {
    auto session = Registry::instance().find<Session>(vi);
    if (!session) return VI_ERROR_INV_OBJECT;
    const ViStatus access = session->checkAccess();
    if (access != VI_SUCCESS) return access;
    session->clearInput();
    return VI_SUCCESS;
}

ViStatus viFlush(ViSession vi, ViUInt16 mask) {
    auto session = Registry::instance().find<Session>(vi);
    if (!session) return VI_ERROR_INV_OBJECT;
    constexpr ViUInt16 known = kReadBuf | kWriteBuf | kReadBufDiscard | kWriteBufDiscard | kIoInBuf |
                               kIoOutBuf | kIoInBufDiscard | kIoOutBufDiscard;
    if (mask == 0 || (mask & ~known) != 0) return kErrorInvMask;
    // Writes are never held back, so only the receive buffer has anything to flush.
    if ((mask & (kReadBuf | kReadBufDiscard | kIoInBuf | kIoInBufDiscard)) != 0) session->discardBuffered();
    return VI_SUCCESS;
}
