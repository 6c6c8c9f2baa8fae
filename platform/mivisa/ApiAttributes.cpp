// Attributes of sessions and find lists.
#include <cstring>

#include "Api.h"
#include "FindList.h"
#include "Manager.h"
#include "Session.h"
#include "Status.h"

using namespace mivisa;

namespace {

template <typename T>
void put(void* dst, T value) {
    std::memcpy(dst, &value, sizeof value);
}

ViStatus setBool(std::atomic<bool>& target, ViAttrState value) {
    if (value > 1) return VI_ERROR_NSUP_ATTR_STATE;
    target = value == 1;
    return VI_SUCCESS;
}

ViStatus setSessionAttribute(Session& s, ViAttr attr, ViAttrState value) {
    switch (attr) {
        case VI_ATTR_TMO_VALUE:
            if (value > VI_TMO_INFINITE) return VI_ERROR_NSUP_ATTR_STATE;
            s.timeoutMs = static_cast<ViUInt32>(value);
            return VI_SUCCESS;
        case VI_ATTR_TERMCHAR:
            if (value > 0xFF) return VI_ERROR_NSUP_ATTR_STATE;
            s.termChar = static_cast<ViUInt8>(value);
            return VI_SUCCESS;
        case VI_ATTR_TERMCHAR_EN:
            return setBool(s.termCharEnabled, value);
        case VI_ATTR_SEND_END_EN:
            return setBool(s.sendEnd, value);
        case VI_ATTR_SUPPRESS_END_EN:
            return setBool(s.suppressEnd, value);
        case VI_ATTR_TCPIP_NODELAY:
            if (value > 1) return VI_ERROR_NSUP_ATTR_STATE;
            s.setNoDelay(value == 1);
            return VI_SUCCESS;
        case VI_ATTR_TCPIP_KEEPALIVE:
            if (value > 1) return VI_ERROR_NSUP_ATTR_STATE;
            s.setKeepAlive(value == 1);
            return VI_SUCCESS;
        default:
            return VI_ERROR_NSUP_ATTR;
    }
}

ViStatus getSessionAttribute(Session& s, ViAttr attr, void* value) {
    switch (attr) {
        case VI_ATTR_TMO_VALUE:
            put<ViUInt32>(value, s.timeoutMs);
            return VI_SUCCESS;
        case VI_ATTR_TERMCHAR:
            put<ViUInt8>(value, s.termChar);
            return VI_SUCCESS;
        case VI_ATTR_TERMCHAR_EN:
            put<ViBoolean>(value, s.termCharEnabled);
            return VI_SUCCESS;
        case VI_ATTR_SEND_END_EN:
            put<ViBoolean>(value, s.sendEnd);
            return VI_SUCCESS;
        case VI_ATTR_SUPPRESS_END_EN:
            put<ViBoolean>(value, s.suppressEnd);
            return VI_SUCCESS;
        case VI_ATTR_TCPIP_NODELAY:
            put<ViBoolean>(value, s.noDelay);
            return VI_SUCCESS;
        case VI_ATTR_TCPIP_KEEPALIVE:
            put<ViBoolean>(value, s.keepAlive);
            return VI_SUCCESS;
        case VI_ATTR_TCPIP_PORT:
            put<ViUInt16>(value, s.name.port);
            return VI_SUCCESS;
        case VI_ATTR_TCPIP_ADDR:
            copyText(static_cast<ViChar*>(value), s.name.host);
            return VI_SUCCESS;
        case VI_ATTR_RSRC_NAME:
            copyText(static_cast<ViChar*>(value), s.name.canonical());
            return VI_SUCCESS;
        default:
            return VI_ERROR_NSUP_ATTR;
    }
}

}  // namespace

ViStatus viSetAttribute(ViObject vi, ViAttr attrName, ViAttrState attrValue) {
    Registry& registry = Registry::instance();
    if (auto session = registry.find<Session>(vi)) return setSessionAttribute(*session, attrName, attrValue);
    if (registry.find<Manager>(vi) || registry.find<FindList>(vi)) return VI_ERROR_NSUP_ATTR;
    return VI_ERROR_INV_OBJECT;
}

ViStatus viGetAttribute(ViObject vi, ViAttr attrName, void* attrValue) {
    Registry& registry = Registry::instance();
    auto session = registry.find<Session>(vi);
    auto list = session ? nullptr : registry.find<FindList>(vi);
    if (!session && !list && !registry.find<Manager>(vi)) return VI_ERROR_INV_OBJECT;
    if (attrValue == nullptr) return kErrorInvParameter;
    if (session) return getSessionAttribute(*session, attrName, attrValue);
    if (list) return list->attribute(attrName, attrValue);
    return VI_ERROR_NSUP_ATTR;
}
