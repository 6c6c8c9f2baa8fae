// Resource search: every configured entry that matches is probed at once, each probe bounded in time,
// and the ones that answered become the find list.
#pragma once

#include <cstdint>
#include <vector>

#include "FindExpr.h"
#include "FindList.h"
#include "ResourceList.h"

namespace mivisa {

// How long one probe (connect and, when needed, "*IDN?") may take: 1000 ms, or MIVISA_PROBE_TIMEOUT_MS.
uint32_t probeTimeoutMs();

// The reachable entries among `entries` that match, in configuration order.
std::vector<FoundResource> discover(const std::vector<ResourceEntry>& entries, const FindExpr& expr);

}  // namespace mivisa
