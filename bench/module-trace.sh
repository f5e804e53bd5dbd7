#!/usr/bin/env bash
# Prints readings as rangefinder does, one every 306 ms (its pause, and an echo of 100 cm): an
# object standing still, its readings wavering between 100 and 101 cm, among them a -1, a missed
# echo read as nothing in range (655 cm) and a stray one read short (3 to 7 cm) about one time in
# forty each, and two false readings in a row one time in forty, each false reading or pair with
# at least four true ones after it, for TRACE_STILL_S seconds; then
# one 30 cm further, for TRACE_STEP_S; then -1 for TRACE_UNPLUGGED_S, the module unplugged. The
# same readings every time. When the step and the unplugging begin goes to the file TRACE_MARKS,
# in seconds since the epoch. With TRACE_MISSING_S set, only this instead: 100, 100, -1 over and
# over for that many seconds, a module that misses one echo in three, each reading's time and
# value going to TRACE_MARKS.
set -eu
RANDOM=1
# readings CM SECONDS [FALSE]: readings about CM for SECONDS, with false ones if FALSE is given.
readings() {
    local until=$((SECONDS + $2)) cm again=0 quiet=0
    while [ "$SECONDS" -lt "$until" ]; do
        cm=$(($1 + RANDOM % 2))
        if [ "$again" -ne 0 ]; then
            cm=$again
            again=0
        elif [ "$quiet" -gt 0 ]; then
            quiet=$((quiet - 1))
        elif [ $# -gt 2 ]; then
            case $((RANDOM % 80)) in
            0 | 1) cm=-1 ;;
            2 | 3) cm=655 quiet=4 ;;
            4 | 5) cm=$((3 + RANDOM % 5)) quiet=4 ;;
            6) cm=655 again=655 quiet=4 ;;
            7) cm=$((3 + RANDOM % 5)) again=$((3 + RANDOM % 5)) quiet=4 ;;
            esac
        fi
        [ "$1" -ge 0 ] || cm=-1
        echo "$cm"
        sleep 0.306
    done
}
if [ -n "${TRACE_MISSING_S:-}" ]; then
    until=$((SECONDS + TRACE_MISSING_S))
    while [ "$SECONDS" -lt "$until" ]; do
        for cm in 100 100 -1; do
            echo "$cm"
            echo "$EPOCHREALTIME $cm" >>"$TRACE_MARKS"
            sleep 0.306
        done
    done
    exit 0
fi
readings 100 "$TRACE_STILL_S" false
echo "step $EPOCHREALTIME" >>"$TRACE_MARKS"
readings 130 "$TRACE_STEP_S"
echo "unplugged $EPOCHREALTIME" >>"$TRACE_MARKS"
readings -1 "$TRACE_UNPLUGGED_S"
