#include "facade/Shielded.h"

#include <QString>

#include "util/Log.h"

namespace trv::facade {

void logSwallowed(const char* entryPoint) noexcept {
    try {
        QString what = QStringLiteral("an exception of no standard type");
        try {
            throw;
        } catch (const std::exception& e) {
            what = QString::fromLocal8Bit(e.what());
        } catch (...) {
        }
        TRELVAN_LOG(facade) << "Swallowed from the backend in " << entryPoint << ": " << what;
    } catch (...) {
        // The log itself failed (out of memory): nothing more can be said.
    }
}

}  // namespace trv::facade
