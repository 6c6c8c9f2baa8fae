#include "util/Log.h"

namespace trv::log {
Q_LOGGING_CATEGORY(facade, "trelvan.facade")
Q_LOGGING_CATEGORY(visa, "trelvan.visa")
Q_LOGGING_CATEGORY(pxa, "trelvan.pxa")
Q_LOGGING_CATEGORY(sk, "trelvan.sk")
Q_LOGGING_CATEGORY(harogic, "trelvan.harogic")
}  // namespace trv::log
