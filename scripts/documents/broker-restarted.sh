#!/usr/bin/env bash
# documents/broker-restarted.sh: run by test-documents.sh, as root, once documents/first-boot.sh
# has run and the broker of Home Assistant's machine has been killed, losing every retained
# message, and started again 3 s later. The publisher comes back by itself, as its journal says
# once, and sends its config and availability again.
set -euo pipefail
cd "$(dirname "$0")/../.."
. scripts/documents/owner.sh
{ read -r config; read -r _; read -r state; read -r availability; } </var/tmp/first-boot
since=$(cat /var/tmp/broker-restarted)

back() { [ -n "$(retained "${config%% *}")" ] && has_retained "$availability" online; }
wait_for 35 back || fail "35 s after the broker started again, the config or online is not back"
heard "$state" 3 && readings "$near" "$far" || fail "the state topic carries no readings since the broker came back"
said=$(journalctl -u rangefinder-mqtt --since "$since" -o cat --no-pager)
[ "$(grep -c 'lost the connection' <<<"$said")" -eq 1 ] && [ "$(grep -c 'cannot connect' <<<"$said")" -eq 0 ] &&
    grep -A1 'lost the connection' <<<"$said" | grep -q "connected to $(broker_name):8883" ||
    fail "the journal does not say once that the connection was lost, and then that it was back:"$'\n'"$said"
[ "$(systemctl show -P NRestarts rangefinder-mqtt)" -eq 1 ] || fail "the publisher was started again for the broker's restart"
say "the broker restarted: the config, online and the readings are back; the journal says once that" \
    "the connection was lost, and that it was back"
