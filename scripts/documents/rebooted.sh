#!/usr/bin/env bash
# documents/rebooted.sh: run by test-documents.sh, as root, once documents/first-boot.sh has run and
# the system has been booted again under another host name and machine ID, with the publisher's
# service still enabled. It starts at boot, as another sensor with topics of its own; then the
# owner takes the sensor out of Home Assistant, as docs/using-the-readings.md says.
set -euo pipefail
cd "$(dirname "$0")/../.."
. scripts/documents/owner.sh
{ read -r first_config; read -r first_unique; read -r first_state; read -r first_availability; } </var/tmp/first-boot

wait_for 20 systemctl -q is-active rangefinder-mqtt ||
    fail "the publisher did not start at boot: $(systemctl is-active rangefinder-mqtt)"
[ "$(systemctl show -P NRestarts rangefinder-mqtt)" -eq 0 ] || fail "the publisher had to start again at boot"
unit_runs rangefinder-mqtt "rangefinder-mqtt 0 0 some" "rangefinder 1 50 some"
host=$(hostname -s)
id=$(cat /etc/machine-id)
config=$(retained "$(config_topic distance)")
read -r state availability unique < <(discovery_config "$(dpkg-query -W -f='${Version}' rangefinder)" \
    "$host" "$id" <<<"$config") || fail "booted again, this Pi has no discovery config of its own"
[ "$(config_topic distance)" != "${first_config%% *}" ] && [ "$unique" != "$first_unique" ] && [ "$state" != "$first_state" ] &&
    [ "$availability" != "$first_availability" ] || fail "booted as another Pi, the topics or the unique ID are the same"
heard "$state" 3 && readings "$near" "$far" || fail "booted again, the state topic $state carries no readings"
wait_for 5 has_retained "$availability" online || fail "booted again, availability is not online"
say "booted again as $host, the publisher starts as a sensor with its own config topic, unique ID" \
    "($unique) and topics"

typed 60 "$project" "$(block home-assistant-remove)" || fail "removing the sensor"
! systemctl -q is-active rangefinder-mqtt && [ "$(systemctl is-enabled rangefinder-mqtt || true)" = disabled ] ||
    fail "the publisher still runs, or is still enabled"
for entity in distance presence level; do
    [ -z "$(retained "$(config_topic "$entity")")" ] || fail "the $entity's retained config is still there"
done
left=$(retained "$availability")
[ -z "$left" ] || fail "the sensor's retained availability is still there: $left"
say "home-assistant-remove: the publisher stopped and disabled, the configs of the distance, the" \
    "presence and the level, and the availability, gone"
nothing_left
