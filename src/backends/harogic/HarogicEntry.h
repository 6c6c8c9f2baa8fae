// What the backend table needs of the Harogic backend.
#pragma once

#include "backends/Backends.h"

namespace trv::harogic {
// The attached devices, found by a probe object that touches no open device.
void enumerate(QVector<DeviceData>* found);
analyzerInterface* make(Init init);
// The backend's own list; the device library's IF overload code reads "Overload!".
QVector<Error> errorList(const Init& facade, analyzerInterface* backend);
void disconnect(analyzerInterface* backend);
}  // namespace trv::harogic
