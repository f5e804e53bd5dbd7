# Sourced by documents/first-boot.sh, in the order the documents run: docs/using-the-readings.md,
# rangefinder-mqtt and Home Assistant, with the broker of Home Assistant's machine on another
# host, wanting a login over TLS. The service is left running, for test-documents.sh to restart
# that broker, and enabled, for documents/rebooted.sh.

# The owner's password: what the owner types in place of the document's example.
password=$(owner_password "$(. /etc/os-release && echo "$VERSION_CODENAME")")

# edit_the_config: the owner opens the file with the document's command, in a terminal, and
# types the block's lines, with their own password, into it. The editor stands in for the owner
# at the keyboard; it holds no password, but works it out as the owner knows it.
edit_the_config() {
    block mqtt-conf >/run/typed
    cat >/usr/local/bin/nano <<EDITOR
#!/bin/bash
$(declare -f owner_password)
. /etc/os-release
while IFS= read -r line; do
    [[ \$line != password=* ]] || line="password=\$(owner_password "\$VERSION_CODENAME")"
    printf '%s\n' "\$line"
done </run/typed >>"\${!#}"
EDITOR
    chmod 755 /usr/local/bin/nano
    keyboard=true typed 60 . "script -qec $(printf '%q' "$(block mqtt-edit)") /dev/null" ||
        fail "editing /etc/rangefinder/mqtt.conf"
    rm /usr/local/bin/nano
}

typed 60 . "$(block mqtt-ca)" || fail "installing the CA's certificate"
edit_the_config
[ "$(stat -c '%U %a' /etc/rangefinder/mqtt.conf)" = "root 600" ] ||
    fail "/etc/rangefinder/mqtt.conf is $(stat -c '%U %a' /etc/rangefinder/mqtt.conf)"
say "mqtt-ca, mqtt-edit, mqtt-conf: the CA's certificate in place, the file written, root's alone"

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

host=$(hostname -s)
id=$(cat /etc/machine-id)
config=$(sensor_config)
[ "${config%% *}" = "homeassistant/sensor/rangefinder_$id/config" ] ||
    fail "a subscriber to homeassistant/# got no retained config for this Pi: '$config'"
read -r state availability unique < <(discovery_config "$(dpkg-query -W -f='${Version}' rangefinder)" \
    "$host" "$id" <<<"${config#* }") || fail "the retained discovery config is not as Home Assistant keeps it"
heard "$state" 3 && readings "$near" "$far" || fail "the config's state topic $state carries no readings"
wait_for 5 has_retained "$availability" online || fail "availability is not online while it runs"
rating=$(systemd-analyze security --no-pager rangefinder-mqtt | sed -n 's/.*Overall exposure level for [^:]*: \([0-9.]*\).*/\1/p')
documented=$(sed -n 's/.*`systemd-analyze security rangefinder-mqtt` rates it \([0-9.]*\),.*/\1/p' docs/using-the-readings.md)
[ "$rating" = "$documented" ] || fail "systemd-analyze security rates the publisher's unit $rating, docs/ say $documented"
password_hidden "$password"
say "the broker keeps the discovery config, with only keys Home Assistant keeps, and online; the" \
    "state topic carries readings; rated $rating; the password is in no command line," \
    "environment, systemctl show or cat, journal, or file but the service's file and systemd's copy"

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
