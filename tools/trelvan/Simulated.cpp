#include "Simulated.h"

#include <dlfcn.h>

#include <QString>

namespace cli {

bool isSimulated(const DeviceData& d) {
    const QString address = QString::fromLatin1(d.address, int(qstrnlen(d.address, sizeof d.address)));
    if (!address.startsWith(QLatin1String("USB::"))) return false;
    bool ok = false;
    const int number = address.mid(5).toInt(&ok);
    // Looked up at run time: the library in use may be the vendor's, which has no such function.
    using Query = int (*)(int);
    const auto query = reinterpret_cast<Query>(dlsym(RTLD_DEFAULT, "HtraSim_IsSimulated"));
    return ok && query != nullptr && query(number) != 0;
}

}  // namespace cli
