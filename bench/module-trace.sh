#!/usr/bin/env bash
# Prints readings as rangefinder does, one every 306 ms (its pause, and an echo of 100 cm): an
# object standing still, its readings wavering between 100 and 101 cm with a -1 about one time
# in forty, for TRACE_STILL_S seconds; then one 30 cm further, for TRACE_STEP_S; then -1 for
# TRACE_UNPLUGGED_S, the module unplugged. The same readings every time. When the step and the
# unplugging begin goes to the file TRACE_MARKS, in seconds since the epoch.
set -eu
RANDOM=1
# reading CM SECONDS: readings about CM, for SECONDS.
readings() {
    local until=$((SECONDS + $2)) cm
    while [ "$SECONDS" -lt "$until" ]; do
        cm=$(($1 + RANDOM % 2))
        [ $((RANDOM % 40)) -ne 0 ] || cm=-1
        [ "$1" -ge 0 ] || cm=-1
        echo "$cm"
        sleep 0.306
    done
}
readings 100 "$TRACE_STILL_S"
echo "step $EPOCHREALTIME" >>"$TRACE_MARKS"
readings 130 "$TRACE_STEP_S"
echo "unplugged $EPOCHREALTIME" >>"$TRACE_MARKS"
readings -1 "$TRACE_UNPLUGGED_S"
