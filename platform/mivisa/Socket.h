// Plain TCP helpers: a bounded connect and bounded waits on a non-blocking socket.
#pragma once

#include <cstdint>
#include <string>

#include "Deadline.h"
#include "base/VisaConstants.h"

namespace mivisa {

// Resolves and connects before the deadline. Returns a non-blocking socket with TCP_NODELAY and
// keep-alive set, or -1 with `status` VI_ERROR_TMO (out of time) or VI_ERROR_RSRC_NFOUND (refused,
// unreachable or unknown host).
int connectTcp(const std::string& host, uint16_t port, const Deadline& deadline, ViStatus& status);

enum class Wait { Ready, Timeout };
// Waits for the socket to become readable (or writable). A closed or failed socket counts as ready, so
// the following recv/send reports it at once.
Wait waitReadable(int fd, const Deadline& deadline);
Wait waitWritable(int fd, const Deadline& deadline);

void setBoolOption(int fd, int level, int option, bool on);

// Keep-alive with short intervals: a peer that has vanished (its host gone, a cable pulled) ends a wait on
// the socket within kDeadPeerMs, however long the session's own timeout, while a live peer that takes its
// time answers the probes from its kernel and is left alone.
constexpr int kKeepAliveIdleS = 10;
constexpr int kKeepAliveIntervalS = 5;
constexpr int kKeepAliveProbes = 3;
constexpr unsigned kDeadPeerMs = 1000u * (kKeepAliveIdleS + kKeepAliveIntervalS * kKeepAliveProbes);
void setKeepAlive(int fd, bool on);

}  // namespace mivisa
