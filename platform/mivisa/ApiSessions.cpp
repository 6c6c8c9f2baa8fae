// Opening and closing: the resource manager, sessions, resource-name parsing and locks.
#include <unistd.h>

#include <algorithm>
#include <cstring>

#include "Api.h"
#include "Guard.h"
#include "Manager.h"
#include "Session.h"
#include "Socket.h"
#include "Status.h"

using namespace mivisa;

namespace mivisa {

void copyText(ViChar* dst, const std::string& text) {
    if (dst == nullptr) return;
    const size_t n = text.size() < VI_FIND_BUFLEN - 1 ? text.size() : VI_FIND_BUFLEN - 1;
    std::memcpy(dst, text.data(), n);
    dst[n] = '\0';
}

}  // namespace mivisa

namespace {

// VISA programs commonly pass 0 as the open timeout; a connection across a LAN needs some time anyway.
constexpr ViUInt32 kDefaultConnectMs = 5000;
constexpr ViAccessMode kLoadConfig = 4;
// The longest wait for another process to let go of an instrument, whatever timeout was asked for.
constexpr ViUInt32 kMaxHostLockWaitMs = 60000;

Deadline hostLockWait(ViUInt32 timeoutMs) {
    return Deadline::afterMs(std::min(timeoutMs, kMaxHostLockWaitMs));
}

}  // namespace

ViStatus viOpenDefaultRM(ViPSession vi) {
    if (vi == nullptr) return kErrorInvParameter;
    return guarded([&] {
        Registry& registry = Registry::instance();
        const ViObject handle = registry.reserve();
        registry.insert(handle, std::make_shared<Manager>(), 0);
        *vi = handle;
        return VI_SUCCESS;
    });
}

namespace {

ViStatus open(ViSession sesn, ViRsrc name, ViAccessMode mode, ViUInt32 timeout, ViPSession vi) {
    Registry& registry = Registry::instance();
    if (!registry.find<Manager>(sesn)) return VI_ERROR_INV_OBJECT;
    if (vi == nullptr) return kErrorInvParameter;
    if ((mode & ~(VI_EXCLUSIVE_LOCK | kLoadConfig)) != 0) return kErrorInvAccMode;
    ResourceName rn;
    const ViStatus parsed = parseResourceName(name, rn);
    if (parsed != VI_SUCCESS) return parsed;

    const ViSession handle = registry.reserve();
    std::shared_ptr<ResourceState> state = Locks::instance().open(rn.key());
    // Another session of this process is refused at once; another process is waited for in steps, up to
    // the open timeout.
    if ((mode & VI_EXCLUSIVE_LOCK) != 0 &&
        Locks::instance().lockExclusive(*state, handle, Deadline::afterMs(0), hostLockWait(timeout)) !=
            VI_SUCCESS) {
        Locks::instance().release(state, handle);
        return VI_ERROR_RSRC_LOCKED;
    }
    ViStatus status = VI_SUCCESS;
    int fd = -1;
    std::shared_ptr<Session> session;
    status = guarded([&] {
        ViStatus connected = VI_SUCCESS;
        fd = connectTcp(rn.host, rn.port, Deadline::afterMs(timeout == 0 ? kDefaultConnectMs : timeout),
                        connected);
        if (fd >= 0) session = std::make_shared<Session>(handle, rn, fd, state);
        return connected;
    });
    if (!session) {
        if (fd >= 0) ::close(fd);
        Locks::instance().release(state, handle);
        return status;
    }
    if (!registry.insert(handle, session, sesn)) {
        session->close();
        return VI_ERROR_INV_OBJECT;
    }
    *vi = handle;
    return VI_SUCCESS;
}

}  // namespace

ViStatus viOpen(ViSession sesn, ViRsrc name, ViAccessMode mode, ViUInt32 timeout, ViPSession vi) {
    if (vi != nullptr) *vi = VI_NULL;
    return guarded([&] { return open(sesn, name, mode, timeout, vi); });
}

ViStatus viClose(ViObject vi) {
    return Registry::instance().close(vi);
}

ViStatus viParseRsrcEx(ViSession sesn, ViRsrc name, ViPUInt16 intfType, ViPUInt16 intfNum, ViChar* rsrcClass,
                       ViChar* expandedName, ViChar* alias) {
    if (!Registry::instance().find<Manager>(sesn)) return VI_ERROR_INV_OBJECT;
    ResourceName rn;
    const ViStatus status = parseResourceName(name, rn);
    if (status != VI_SUCCESS) return status;
    if (intfType != nullptr) *intfType = kIntfTcpip;
    if (intfNum != nullptr) *intfNum = static_cast<ViUInt16>(rn.board);
    copyText(rsrcClass, "SOCKET");
    copyText(expandedName, rn.canonical());
    copyText(alias, "");
    return VI_SUCCESS;
}

ViStatus viParseRsrc(ViSession sesn, ViRsrc name, ViPUInt16 intfType, ViPUInt16 intfNum) {
    return viParseRsrcEx(sesn, name, intfType, intfNum, nullptr, nullptr, nullptr);
}

ViStatus viLock(ViSession vi, ViAccessMode lockType, ViUInt32 timeout, ViKeyId requestedKey,
                ViChar* accessKey) {
    auto session = Registry::instance().find<Session>(vi);
    if (!session) return VI_ERROR_INV_OBJECT;
    const Deadline deadline = Deadline::afterMs(timeout);
    if (lockType == VI_EXCLUSIVE_LOCK)
        return Locks::instance().lockExclusive(*session->state, vi, deadline, hostLockWait(timeout));
    if (lockType != VI_SHARED_LOCK) return kErrorInvLockType;
    if (requestedKey != nullptr && std::strlen(requestedKey) >= VI_FIND_BUFLEN) return kErrorInvAccessKey;
    std::string granted;
    const ViStatus status =
        Locks::instance().lockShared(*session->state, vi, requestedKey, deadline, granted);
    if (status == VI_SUCCESS || status == kSuccessNestedShared) copyText(accessKey, granted);
    return status;
}

ViStatus viUnlock(ViSession vi) {
    auto session = Registry::instance().find<Session>(vi);
    if (!session) return VI_ERROR_INV_OBJECT;
    return Locks::instance().unlock(*session->state, vi);
}
