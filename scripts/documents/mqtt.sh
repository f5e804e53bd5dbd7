# Sourced by documents/first-boot.sh, in the order the documents run: docs/using-the-readings.md,
# rangefinder-mqtt and Home Assistant, with the broker of Home Assistant's machine on another
# host, wanting a login over TLS. The service is left running, for test-documents.sh to restart
# that broker, and enabled, for documents/rebooted.sh.

. scripts/documents/publisher.sh

configure_publisher

systemctl -q is-active rangefinder || fail "rangefinder.service does not run before the publisher starts"
typed 60 "$project" "$(line 1 mqtt-enable)" || fail "enabling rangefinder-mqtt"
[ "$(systemctl is-enabled rangefinder-mqtt)" = enabled ] || fail "rangefinder-mqtt is not enabled"
! systemctl -q is-active rangefinder || fail "starting rangefinder-mqtt did not stop rangefinder.service"
unit_runs rangefinder-mqtt "rangefinder-mqtt 0 0 some" "rangefinder 1 50 some"
typed 6 "$project" "$(line 2 mqtt-enable)" || stopped || fail "journalctl -u rangefinder-mqtt -f"
grep -q "rangefinder-mqtt\[[0-9]*\]: rangefinder-mqtt: connected to $(broker_name):8883$" "$last.out" ||
    fail "the journal does not say the publisher connected"
say "mqtt-enable: enabled and started, it stops rangefinder.service, connects as its journal" \
    "says, and runs rangefinder at FIFO 50 and itself at normal priority, as a dynamic user with" \
    "the gpio group alone"

publishing "$(dpkg-query -W -f='${Version}' rangefinder)"
rating=$(rating rangefinder-mqtt)
documented=$(documented_rating rangefinder-mqtt)
[ "$rating" = "$documented" ] || fail "systemd-analyze security rates the publisher's unit $rating, docs/ say $documented"
password_hidden "$password"
say "the broker keeps the discovery config, with only keys Home Assistant keeps, and online; the" \
    "state topic carries readings; rated $rating; the password is in no command line," \
    "environment, systemctl show or cat, journal, or file but the service's file and systemd's copy"

# With the defaults, an object that stands still costs a message a heartbeat (60 s): after the
# first and its repeat 2 s later, 65 s bring one more at the most.
mkdir -p /etc/systemd/system/rangefinder-mqtt.service.d
printf '[Service]\nEnvironment=RANGEFINDER_SIM_CM=100\n' >/etc/systemd/system/rangefinder-mqtt.service.d/placed.conf
systemctl daemon-reload
systemctl restart rangefinder-mqtt
heard "$state" 2 70 && [ "$(sort -u "$last.out")" = 100 ] || fail "the object placed at 100 cm is not published"
new_log
mosquitto_sub "${remote[@]}" -t "$state" -W 65 >"$last.out" 2>"$last.err" || true
[ "$(wc -l <"$last.out")" -le 1 ] && ! grep -vqx 100 "$last.out" ||
    fail "with the object placed at 100 cm, 65 s brought these messages: $(xargs <"$last.out")"
say "with the object placed still at 100 cm, the publisher sends it, and then $(wc -l <"$last.out")" \
    "message in 65 s"

# The garage's and the tank's lines: the object at 100 cm is there, and the tank 53 % full.
edit_the_config mqtt-garage mqtt-tank
host=$(hostname -s)
new_log
# Its own file, for each command typed has a log of its own.
states=$last.out
stdbuf -oL mosquitto_sub "${remote[@]}" -v -t "rangefinder/$host/+" >"$states" 2>"$last.err" &
listener=$!
wait_for 10 grep -q "^rangefinder/$host/availability " "$states" || fail "cannot subscribe to the states"
typed 60 "$project" "$(block mqtt-restart)" || fail "restarting the publisher"
placed_states() {
    local state
    for state in "distance 100" "presence ON" "level 53"; do
        grep -qx "rangefinder/$host/$state" "$states" || return 1
    done
}
wait_for 30 placed_states || fail "with the garage's and the tank's lines, the states are not 100, ON and 53: $(xargs <"$states")"
kill "$listener"
version=$(dpkg-query -W -f='${Version}' rangefinder)
for entity in distance presence level; do
    discovery_config "$version" "$host" "$(cat /etc/machine-id)" "$entity" <<<"$(retained "$(config_topic "$entity")")" >/dev/null ||
        fail "no discovery config of the $entity that Home Assistant keeps"
done
rm -r /etc/systemd/system/rangefinder-mqtt.service.d
systemctl daemon-reload
systemctl restart rangefinder-mqtt
say "mqtt-garage, mqtt-tank, mqtt-restart: the broker keeps the distance's, the presence's and the" \
    "level's configs, and the object placed at 100 cm is published as 100, ON and 53"

# A client certificate, for the broker's port that wants one: the file as it was is put back after.
cp -p /etc/rangefinder/mqtt.conf /run/mqtt.conf.before
typed 60 . "$(block mqtt-client-certificate)" || fail "installing the client's certificate"
edit_the_config mqtt-certificate-conf
echo port=8884 >>/etc/rangefinder/mqtt.conf
since=$(date '+%Y-%m-%d %H:%M:%S')
typed 60 "$project" "$(block mqtt-restart)" || fail "restarting the publisher"
journal_connected() { journalctl -q -u rangefinder-mqtt --since "$since" | grep -q "connected to $(broker_name):8884$"; }
wait_for 20 journal_connected || fail "the publisher did not connect with its certificate: $(journalctl -q -u rangefinder-mqtt --since "$since" | tail -n 3)"
[ "$(stat -c '%U %a' /etc/rangefinder/pi.key)" = "root 600" ] && ! runuser -u nobody -- cat /etc/rangefinder/pi.key >/dev/null 2>&1 ||
    fail "the client's key can be read by others than root"
mv /run/mqtt.conf.before /etc/rangefinder/mqtt.conf
systemctl restart rangefinder-mqtt
say "mqtt-client-certificate, mqtt-certificate-conf: the key root's alone, the publisher connects" \
    "to the broker's port that wants a client certificate"

systemctl start rangefinder
! systemctl -q is-active rangefinder-mqtt || fail "starting rangefinder.service did not stop rangefinder-mqtt"
wait_for 5 has_retained "$availability" offline || fail "availability is not offline once the publisher stops"
typed 60 "$project" "$(block mqtt-from-drop-in)" || fail "moving from the drop-in"
[ "$(systemctl is-enabled rangefinder || true)" = disabled ] && ! systemctl -q is-active rangefinder ||
    fail "rangefinder.service is still enabled or running"
unit_runs rangefinder-mqtt "rangefinder-mqtt 0 0 some" "rangefinder 1 50 some"
wait_for 10 has_retained "$availability" online || fail "availability is not online once the publisher starts again"
say "mqtt-from-drop-in: rangefinder.service stopped and disabled, the publisher enabled and online"

# The broker's last will alone: its session lost without a goodbye.
kill -KILL "$(unit_pids rangefinder-mqtt /usr/bin/rangefinder-mqtt)"
wait_for 5 has_retained "$availability" offline || fail "the broker did not send the last will"
restarted() { [ "$(systemctl show -P NRestarts rangefinder-mqtt)" -ge 1 ] && has_retained "$availability" online; }
wait_for 15 restarted || fail "availability is not online again once systemd has restarted the publisher"
unit_runs rangefinder-mqtt "rangefinder-mqtt 0 0 some" "rangefinder 1 50 some"
say "availability offline when stopped, offline by the last will when the publisher is killed," \
    "online again when systemd has started it again"
printf '%s\n' "$config" "$unique" "$state" "$availability" >/var/tmp/first-boot
date '+%Y-%m-%d %H:%M:%S' >/var/tmp/broker-restarted
nothing_left
