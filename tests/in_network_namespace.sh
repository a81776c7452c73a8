#!/bin/sh
# Runs a test program in a network namespace of its own with only loopback up, so that tests can listen
# on the game link's fixed port side by side without touching the host's network. Where the system
# refuses unprivileged namespaces the program runs on the host's loopback instead, and says so.
if unshare -rn true 2>/dev/null; then
  exec unshare -rn sh -c 'ip link set lo up && exec "$0" "$@"' "$@"
fi
echo "in_network_namespace: this system allows no network namespace here; running on the host's loopback" >&2
exec "$@"
