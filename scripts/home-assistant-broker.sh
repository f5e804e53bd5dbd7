# Sourced by test-documents.sh: the MQTT broker of Home Assistant's machine, on another host of
# each Pi's network (the far end of its link, 10.77.INDEX.1), as its owners run it: Debian's
# mosquitto, wanting a login over TLS, with a certificate of a CA of its own for the name the
# document gives it, and keeping no message across a restart; on a second port it wants the
# client's certificate too, which its CA signed for the Pi as pi.crt and pi.key.
. scripts/documents/broker-login.sh

# broker_up FOLDER INDEX RELEASE: makes the broker's CA, certificate and logins in FOLDER, for
# the Pi made of a RELEASE root, and starts it, listening on 10.77.INDEX.1:8883, and on 8884 for
# clients with a certificate.
broker_up() {
    local folder=$1 name user password key
    # Here, where the documents are.
    name=$(broker_name)
    user=$(broker_user)
    password=$(owner_password "$3")
    key=(-newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes)
    mkdir -p "$folder"
    (
        cd "$folder"
        openssl req -x509 "${key[@]}" -keyout ca.key -out ca.crt -days 2 -subj /CN=home-assistant-ca
        openssl req "${key[@]}" -keyout broker.key -out broker.csr -subj "/CN=$name"
        printf 'subjectAltName=DNS:%s\n' "$name" >broker.ext
        openssl x509 -req -in broker.csr -CA ca.crt -CAkey ca.key -CAcreateserial -out broker.crt \
            -days 2 -extfile broker.ext
        openssl req "${key[@]}" -keyout pi.key -out pi.csr -subj /CN=pi
        openssl x509 -req -in pi.csr -CA ca.crt -CAkey ca.key -CAcreateserial -out pi.crt -days 2
        : >passwords
        mosquitto_passwd -b passwords "$user" "$password"
        mosquitto_passwd -b passwords "$watcher" "$watcher_password"
    ) >"$folder/making.log" 2>&1 || { cat "$folder/making.log" >&2; return 1; }
    # Run as root, mosquitto reads its files as its own user.
    chmod 0755 "$folder"
    chmod 0644 "$folder"/*
    cat >"$folder/broker.conf" <<CONF
per_listener_settings false
allow_anonymous false
password_file $folder/passwords
persistence false
listener 8883 10.77.$2.1
cafile $folder/ca.crt
certfile $folder/broker.crt
keyfile $folder/broker.key
listener 8884 10.77.$2.1
cafile $folder/ca.crt
certfile $folder/broker.crt
keyfile $folder/broker.key
require_certificate true
CONF
    broker_start "$folder"
}

# broker_start FOLDER: starts the broker of FOLDER, once it has been made, and waits until it
# listens.
broker_start() {
    mosquitto -c "$1/broker.conf" >>"$1/broker.log" 2>&1 &
    echo $! >"$1/pid"
    disown $!
    local tries
    for tries in $(seq 50); do
        ! grep -q 'running' "$1/broker.log" 2>/dev/null || return 0
        sleep 0.1
    done
    cat "$1/broker.log" >&2
    return 1
}

# broker_restart FOLDER: kills the broker, so that it loses every retained message and every
# connection, and starts it again after 3 s.
broker_restart() {
    kill -KILL "$(cat "$1/pid")"
    tail --pid="$(cat "$1/pid")" -f /dev/null
    sleep 3
    : >"$1/broker.log"
    broker_start "$1"
}

broker_down() { [ ! -f "$1/pid" ] || kill -KILL "$(cat "$1/pid")" 2>/dev/null || true; }
