# Sourced by documents/first-boot.sh, in the order the documents run: docs/using-the-readings.md, the
# service's MQTT drop-in, left in place for documents/rebooted.sh.

edit_the_service service-to-mqtt
host=$(hostname -s)
id=$(cat /etc/machine-id)
config=$(mosquitto_sub -v -t 'homeassistant/#' -C 1 -W 5 2>/dev/null || true)
[ "${config%% *}" = "homeassistant/sensor/rangefinder_$id/config" ] ||
    fail "a subscriber to homeassistant/# got no retained config for this Pi: '$config'"
read -r state availability unique < <(discovery_config "$(dpkg-query -W -f='${Version}' rangefinder)" \
    "$host" "$id" <<<"${config#* }") || fail "the retained discovery config is not as Home Assistant documents it"
heard "$state" 3 && readings "$near" "$far" ||
    fail "the config's state topic $state carries no readings"
wait_for 5 has_retained "$availability" online || fail "availability is not online while it runs"
unit_runs rangefinder "bash 1 50 some" "rangefinder 1 50 some" "mosquitto_pub 0 0 some"
rating=$(systemd-analyze security --no-pager rangefinder | sed -n 's/.*Overall exposure level for [^:]*: \([0-9.]*\).*/\1/p')
documented=$(sed -n 's/.*rates the unit with this drop-in \([0-9.]*\),.*/\1/p' docs/using-the-readings.md)
[ "$rating" = "$documented" ] || fail "systemd-analyze security rates the unit with the drop-in $rating, docs/ say $documented"
say "service-to-mqtt: the retained discovery config holds Home Assistant's keys, its state topic" \
    "carries the readings, availability is online; rangefinder at FIFO 50, mosquitto_pub at" \
    "normal priority, each as the dynamic user with the gpio group alone; rated $rating"

systemctl stop rangefinder
wait_for 5 has_retained "$availability" offline || fail "availability is not offline once the service stops"
systemctl start rangefinder
wait_for 10 has_retained "$availability" online || fail "availability is not online once the service starts again"
# The broker's last will alone: rangefinder held, so that the pipeline does not end yet.
unit_runs rangefinder "bash 1 50 some" "rangefinder 1 50 some" "mosquitto_pub 0 0 some"
program=$(unit_pids rangefinder /usr/bin/rangefinder)
kill -STOP "$program"
kill -KILL "$(unit_pids rangefinder /usr/bin/mosquitto_pub)"
wait_for 5 has_retained "$availability" offline || fail "the broker did not send the last will"
[ "$(systemctl is-active rangefinder)" = active ] || fail "the service ended before the last will was seen"
kill -CONT "$program"
restarted() { [ "$(systemctl show -P NRestarts rangefinder)" -ge 1 ] && has_retained "$availability" online; }
wait_for 15 restarted || fail "availability is not online again once systemd has restarted the pipeline"
say "service-to-mqtt: availability offline once stopped, offline by the last will when" \
    "mosquitto_pub is killed, online again when systemd has started it again"
printf '%s\n' "$config" "$unique" "$state" "$availability" >/var/tmp/first-boot
nothing_left
