#!/usr/bin/env bash
# documents/rebooted.sh: run by test-documents.sh, as root, once documents/first-boot.sh has run and
# the system has been booted again under another host name and machine ID, with the service
# still enabled with its MQTT drop-in. The service starts at boot, after the broker, as another
# sensor with topics of its own; then the owner takes the drop-in away and the sensor out of
# Home Assistant, as docs/using-the-readings.md says.
set -euo pipefail
cd "$(dirname "$0")/../.."
. scripts/documents/owner.sh
{ read -r first_config; read -r first_unique; read -r first_state; read -r first_availability; } </var/tmp/first-boot

wait_for 20 systemctl -q is-active rangefinder || fail "the service did not start at boot: $(systemctl is-active rangefinder)"
[ "$(systemctl show -P NRestarts rangefinder)" -eq 0 ] || fail "the service had to start again at boot"
host=$(hostname -s)
id=$(cat /etc/machine-id)
config_topic=homeassistant/sensor/rangefinder_$id/config
config=$(mosquitto_sub -t "$config_topic" -C 1 -W 5 2>/dev/null || true)
read -r state availability unique < <(discovery_config "$(dpkg-query -W -f='${Version}' rangefinder)" \
    "$host" "$id" <<<"$config") || fail "booted again, this Pi has no discovery config of its own"
[ "$config_topic" != "${first_config%% *}" ] && [ "$unique" != "$first_unique" ] && [ "$state" != "$first_state" ] &&
    [ "$availability" != "$first_availability" ] || fail "booted as another Pi, the topics or the unique ID are the same"
heard "$state" 3 && readings "$near" "$far" ||
    fail "booted again, the state topic $state carries no readings"
wait_for 5 has_retained "$availability" online || fail "booted again, availability is not online"
say "service-to-mqtt: booted again as $host, the service starts after the broker as a sensor with" \
    "its own config topic, unique ID ($unique) and topics"

typed 60 rangefinder "$(block revert)" || fail "reverting the drop-in"
typed 30 . "$(block home-assistant-remove)" || fail "removing the sensor"
[ -z "$(mosquitto_sub -t "$config_topic" -C 1 -W 2 2>/dev/null || true)" ] || fail "the sensor's retained config is still there"
[ -z "$(mosquitto_sub -t "$availability" -C 1 -W 2 2>/dev/null || true)" ] || fail "the sensor's retained availability is still there"
say "home-assistant-remove: with the drop-in taken away, the sensor's config and availability are gone"
nothing_left
