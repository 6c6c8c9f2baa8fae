#!/bin/sh
# Runs a command inside a private network and mount namespace with only a loopback, its own D-Bus system
# bus and Avahi daemon: SoapySDRServer needs those, and its multicast then cannot leave the machine.
# Exits 77 (skipped) where such a namespace cannot be made.
if [ "$1" != "--inside" ]; then
  for p in unshare ip dbus-daemon avahi-daemon SoapySDRServer; do
    command -v "$p" >/dev/null || { echo "SKIPPED: $p is not installed"; exit 77; }
  done
  unshare --net --mount true 2>/dev/null ||
    { echo "SKIPPED: no private network namespace here (unshare --net --mount needs root)"; exit 77; }
  exec unshare --net --mount "$0" --inside "$@"
fi
shift
set -e
ip link set lo up
# A private /run holds the bus and the daemon's files; unshare made the mounts private to us.
mount -t tmpfs tmpfs /run
mkdir -p /run/dbus /run/avahi-daemon
dbus=$(dbus-daemon --system --fork --nopidfile --print-pid)
avahi-daemon --no-drop-root --no-chroot --daemonize
for _ in $(seq 50); do [ -s /run/avahi-daemon/pid ] && break; sleep 0.1; done
avahi=$(cat /run/avahi-daemon/pid)
trap 'kill "$avahi" "$dbus"' EXIT
"$@"
