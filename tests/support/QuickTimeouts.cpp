#include "QuickTimeouts.h"

namespace support {

namespace {

ViStatus (*realSetAttribute)(ViObject, ViAttr, ViAttrState) = nullptr;
ViStatus (*realOpen)(ViSession, ViRsrc, ViAccessMode, ViUInt32, ViSession*) = nullptr;

ViStatus quickSetAttribute(ViObject vi, ViAttr attribute, ViAttrState value) {
    if (attribute == VI_ATTR_TMO_VALUE) {
        switch (value) {
            case 1000: value = kExchangeMs; break;
            case 2000: value = kSkMs; break;
            case 20000: value = kSkLongMs; break;
            case TRELVAN_TMO_RELAXED: value = kRelaxedMs; break;
            default: break;
        }
    }
    return realSetAttribute(vi, attribute, value);
}

ViStatus quickOpen(ViSession rm, ViRsrc name, ViAccessMode mode, ViUInt32 timeout, ViSession* vi) {
    return realOpen(rm, name, mode, timeout == 5000 ? kOpenMs : timeout, vi);
}

}  // namespace

void useQuickTimeouts(DynamicVisa& visa) {
    if (visa.viSetAttribute != &quickSetAttribute) {
        realSetAttribute = visa.viSetAttribute;
        visa.viSetAttribute = &quickSetAttribute;
    }
    if (visa.viOpen != &quickOpen) {
        realOpen = visa.viOpen;
        visa.viOpen = &quickOpen;
    }
}

}  // namespace support
