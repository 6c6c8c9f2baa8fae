#include "FindList.h"

#include "Locks.h"
#include "Manager.h"

namespace mivisa {

bool FindList::next(std::string& name) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (next_ >= found_.size()) return false;
    name = found_[next_++].name;
    return true;
}

ViStatus FindList::attribute(ViAttr attr, void* value) {
    FoundResource current;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (next_ == 0) return VI_ERROR_NSUP_ATTR;
        current = found_[next_ - 1];
    }
    auto text = [value](bool has, const std::string& s) {
        if (!has) return VI_ERROR_NSUP_ATTR;
        copyText(static_cast<ViChar*>(value), s);
        return VI_SUCCESS;
    };
    switch (attr) {
        case VI_ATTR_RSRC_NAME:
            return text(true, current.name);
        case VI_ATTR_MANF_NAME:
            return text(current.hasManufacturer, current.manufacturer);
        case VI_ATTR_MODEL_NAME:
            return text(current.hasModel, current.model);
        case VI_ATTR_USB_SERIAL_NUM:
            return text(current.hasSerial, current.serial);
        case TRELVAN_ATTR_BUSY: {
            const ViBoolean busy = current.busy || Locks::instance().isOpen(current.key) ? 1 : 0;
            *static_cast<ViBoolean*>(value) = busy;
            return VI_SUCCESS;
        }
        default:
            return VI_ERROR_NSUP_ATTR;
    }
}

}  // namespace mivisa
