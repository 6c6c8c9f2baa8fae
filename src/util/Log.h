// The library's one way into the Qt log: a category per subsystem, so a host filters the library's lines
// with QT_LOGGING_RULES ("trelvan.*=false" silences them all, "trelvan.sk.debug=true" turns one back on).
#pragma once

#include <QLoggingCategory>

namespace trv::log {
Q_DECLARE_LOGGING_CATEGORY(facade)
Q_DECLARE_LOGGING_CATEGORY(visa)
Q_DECLARE_LOGGING_CATEGORY(pxa)
Q_DECLARE_LOGGING_CATEGORY(sk)
Q_DECLARE_LOGGING_CATEGORY(harogic)
}  // namespace trv::log

// A line of `category`, as is: no quotes, no separators added.
#define TRELVAN_LOG(category) qCDebug(trv::log::category).noquote().nospace()
