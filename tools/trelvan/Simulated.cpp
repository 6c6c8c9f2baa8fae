#include "Simulated.h"

#include <dlfcn.h>

#include <trelvan/Backend.h>

#include <QString>

namespace cli {

bool isSimulated(const DeviceData& d) {
    if (instrumentFacts(d).backend != "Harogic") return false;
    const QString address = QString::fromLatin1(d.address, int(qstrnlen(d.address, sizeof d.address)));
    bool ok = false;
    const int number = address.section(QLatin1String("::"), -1).toInt(&ok);
    // Looked up at run time: the library in use may be the vendor's, which has no such function.
    using Query = int (*)(int);
    const auto query = reinterpret_cast<Query>(dlsym(RTLD_DEFAULT, "HtraSim_IsSimulated"));
    return ok && query != nullptr && query(number) != 0;
}

}  // namespace cli
