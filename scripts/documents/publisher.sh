# Sourced by documents/mqtt.sh and documents/release.sh: the owner sets up rangefinder-mqtt as
# docs/using-the-readings.md says, and what is looked at of what it publishes.

# The owner's password: what the owner types in place of the document's example.
password=$(owner_password "$(. /etc/os-release && echo "$VERSION_CODENAME")")

# edit_the_config [BLOCK...]: the owner opens the file with the document's command, in a
# terminal, and types the lines of the blocks (mqtt-conf where none is given), with their own
# password, into it. The editor stands in for the owner at the keyboard; it holds no password,
# but works it out as the owner knows it.
edit_the_config() {
    local name
    : >/run/typed
    for name in "${@:-mqtt-conf}"; do
        block "$name" >>/run/typed
    done
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

# configure_publisher: the CA's certificate in place and the file written, as the document says.
configure_publisher() {
    typed 60 . "$(block mqtt-ca)" || fail "installing the CA's certificate"
    edit_the_config
    [ "$(stat -c '%U %a' /etc/rangefinder/mqtt.conf)" = "root 600" ] ||
        fail "/etc/rangefinder/mqtt.conf is $(stat -c '%U %a' /etc/rangefinder/mqtt.conf)"
    say "mqtt-ca, mqtt-edit, mqtt-conf: the CA's certificate in place, the file written, root's alone"
}

# publishing VERSION: the broker keeps a discovery config of this Pi's, as Home Assistant keeps it,
# from the publisher of VERSION (within 30 s, for one just started), and online, and its state
# topic carries readings; sets config ("TOPIC CONFIG"), state, availability and unique (its ID).
publishing() {
    local host id
    host=$(hostname -s)
    id=$(cat /etc/machine-id)
    of_version() {
        config=$(sensor_config)
        [ "${config%% *}" = "homeassistant/sensor/rangefinder_$id/config" ] &&
            read -r state availability unique < <(discovery_config "$1" "$host" "$id" <<<"${config#* }" 2>/dev/null)
    }
    wait_for 30 of_version "$1" || {
        discovery_config "$1" "$host" "$id" <<<"${config#* }" >&2 || true
        systemctl status --no-pager rangefinder-mqtt >&2 || true
        fail "the broker keeps no discovery config of version $1 for this Pi, as Home Assistant keeps it: '$config'"
    }
    heard "$state" 3 && readings "$near" "$far" || fail "the config's state topic $state carries no readings"
    wait_for 5 has_retained "$availability" online || fail "availability is not online while it runs"
}

# rating [OPTION...] UNIT: how systemd-analyze security rates UNIT (a unit loaded, or a file with
# --offline=yes); documented_rating UNIT: what the README (rangefinder) or
# docs/using-the-readings.md (rangefinder-mqtt) says it is rated.
rating() {
    systemd-analyze security --no-pager "$@" | sed -n 's/.*Overall exposure level for [^:]*: \([0-9.]*\).*/\1/p'
}
documented_rating() {
    case $1 in
    rangefinder) tr '\n' ' ' <README.md | sed -n 's/.*`systemd-analyze security --offline=yes` rates its file \([0-9.]*\),.*/\1/p' ;;
    rangefinder-mqtt) tr '\n' ' ' <docs/using-the-readings.md |
        sed -n 's/.*`systemd-analyze security rangefinder-mqtt` rates it \([0-9.]*\),.*/\1/p' ;;
    esac
}
