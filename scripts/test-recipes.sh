#!/usr/bin/env bash
# Runs the recipes of the README's "Using the readings" as they are written there, taken from
# the README itself, against the simulator: one reading, the first distance, a CSV log, MQTT
# through a real broker on the loopback address to a real subscriber, the Home Assistant
# sensor (as YAML only), and Python. Every wait is bounded, and whatever it starts it stops.
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/need-packages.sh
. scripts/recipe.sh
need_packages cmake g++ ninja-build mosquitto mosquitto-clients python3 python3-yaml
build=build/recipes
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DRANGEFINDER_BACKEND=sim \
    -DRANGEFINDER_TESTS=OFF >/dev/null
cmake --build "$build" >/dev/null
export PATH=$PWD/$build:$PATH RANGEFINDER_SIM_CM=100
work=$(mktemp -d)
. scripts/children.sh
fail() { echo "test-recipes: $*" >&2; exit 1; }
passed=0
pass() { echo "test-recipes: $*"; passed=$((passed + 1)); }

# The simulator runs in real time, so a stall of this machine across an edge of an echo makes
# that reading -1, as on a busy Pi: what is checked allows for it. Where a distance must come,
# the wait for it is bounded, never the number of -1 before it.

# run SECONDS NAME [OPTION...]: the recipe's commands in bash, with the options after them, in
# $work, ended with their whole process group after SECONDS if they are still going; their
# output, less the simulator's notice.
run() {
    local seconds=$1 commands
    commands=$(recipe "$2")
    shift 2
    (cd "$work" && timeout "$seconds" bash -c "$commands $*" 2>/dev/null) || [ $? -eq 124 ]
}

# first LINE COMMAND...: whether COMMAND, which bounds its own time, prints LINE.
first() {
    local line=$1
    shift
    [ "$("$@" | grep -m 1 -x -- "$line" || true)" = "$line" ]
}

[[ $(run 10 one-reading) =~ ^(100|-1)$ ]] || fail "one-reading did not print one reading"
pass "one-reading prints one reading"
[ "$(RANGEFINDER_SIM_CM=absent run 2 first-distance)" = "" ] ||
    fail "first-distance printed something with no module"
[ "$(run 10 first-distance)" = 100 ] || fail "first-distance did not print 100"
pass "first-distance prints the first distance, and nothing with no module"

run 2 csv >/dev/null
[ -s "$work/distances.csv" ] || fail "csv wrote nothing"
grep -Evx '[0-9]{4}-[0-9]{2}-[0-9]{2} [0-9]{2}:[0-9]{2}:[0-9]{2},(100|-1)' "$work/distances.csv" &&
    fail "csv wrote lines that are not a time and a reading"
pass "csv logs $(wc -l <"$work/distances.csv") lines of a time and a reading"

# The broker on a free port of its own, which mosquitto_pub and mosquitto_sub take from their
# own default-options files, so that the README's commands run unchanged.
listening() { (exec 3<>"/dev/tcp/127.0.0.1/$1") 2>/dev/null; }
port=$((20000 + $$ % 10000))
for _ in $(seq 100); do
    listening "$port" || break
    port=$((port + 1))
done
export XDG_CONFIG_HOME=$work/config
mkdir -p "$XDG_CONFIG_HOME"
for client in mosquitto_pub mosquitto_sub; do
    printf -- '-h 127.0.0.1\n-p %s\n' "$port" >"$XDG_CONFIG_HOME/$client"
done
printf 'listener %s 127.0.0.1\nallow_anonymous true\n' "$port" >"$work/broker.conf"
mosquitto -c "$work/broker.conf" 2>"$work/broker.log" &
broker=$!
children+=("$broker")
for _ in $(seq 50); do
    ! listening "$port" || break
    sleep 0.1
done
kill -0 "$broker" 2>/dev/null && listening "$port" ||
    fail "the broker did not listen on port $port: $(cat "$work/broker.log")"
publish=$(recipe mqtt)
(cd "$work" && exec timeout 30 bash -c "$publish" 2>"$work/mqtt.log") &
children+=($!)
first 100 run 20 mqtt-watch -W 20 || fail "the subscriber received no 100: $(cat "$work/mqtt.log")"
stop_children
pass "mqtt publishes each reading through a broker to mosquitto_sub"

recipe home-assistant | /usr/bin/python3 -c 'import sys, yaml; yaml.safe_load(sys.stdin)' ||
    fail "home-assistant is not valid YAML"
pass "home-assistant is valid YAML"

recipe python >"$work/distance.py"
python() { (cd "$work" && PYTHONUNBUFFERED=1 timeout 10 /usr/bin/python3 distance.py 2>/dev/null) || true; }
first '100 cm' python || fail "python printed no '100 cm'"
RANGEFINDER_SIM_CM=absent first 'no reading' python || fail "python printed no 'no reading'"
pass "python reads the stream line by line, -1 as no reading"
echo "test-recipes: $passed passed, 0 failed"
