# Sourced by documents/first-boot.sh, in the order the documents run: README section 6, the service,
# its journal, the GPIO device unopenable under it, and the drop-in to a file.

install_package
typed 60 "$project" "$(line 1 service)" || fail "enabling the service"
[ "$(systemctl is-enabled rangefinder)" = enabled ] || fail "the service is not enabled"
unit_runs rangefinder "rangefinder 1 50 none"
typed 6 "$project" "$(line 2 service)" || stopped || fail "journalctl -f"
[ "$(grep -cE 'rangefinder\[[0-9]+\]: (-1|[0-9]+)$' "$last.out")" -ge 5 ] || fail "journalctl -f did not follow the readings"
say "service: enabled and started, its readings followed in the journal; it runs as a dynamic user" \
    "with the gpio group alone, at FIFO 50, without network"

# The GPIO device unopenable: the program says so and ends, systemd tries again every 5 s,
# and the service recovers by itself once the device opens.
chmod 0600 /dev/gpiomem
since=$(date '+%Y-%m-%d %H:%M:%S')
systemctl restart rangefinder
told() {
    journalctl -u rangefinder --since "$since" -o short-unix --no-pager |
        grep -F 'rangefinder: cannot open the GPIO: Permission denied (' | awk '{ print $1 }'
}
twice() { [ "$(told | wc -l)" -ge 2 ]; }
wait_for 20 twice || fail "with the GPIO device unopenable the service did not fail twice"
interval=$(told | awk 'NR == 1 { first = $1 } NR == 2 { printf "%.1f", $1 - first }')
awk -v s="$interval" 'BEGIN { exit !(s >= 5 && s < 7) }' || fail "it was started again after $interval s, not 5"
chmod 0660 /dev/gpiomem
since=$(date '+%Y-%m-%d %H:%M:%S')
reads_again() { [ "$(journal_readings rangefinder "$since")" -ge 3 ]; }
wait_for 15 reads_again || fail "the service did not recover once the GPIO device could be opened"
say "service: with the GPIO device unopenable it says why, starts again ${interval} s later, and recovers"

log=/var/log/rangefinder.log
edit_the_service service-to-a-file
logged() { [ -f "$log" ] && [ "$(grep -cEx -- '-1|[0-9]+' "$log")" -ge 3 ]; }
wait_for 10 logged || fail "no readings in $log"
[ "$(stat -c '%U:%G %a' "$log")" = "root:root 600" ] || fail "$log is $(stat -c '%U:%G %a' "$log")"
! typed 10 "$project" "tail -n 1 $log" || fail "$log is readable without sudo"
typed 6 "$project" "$(block read-the-log)" || stopped || fail "sudo tail -f"
readings "$near" "$far" || fail "sudo tail -f $log did not show readings alone"
typed 60 "$project" "$(block revert)" || fail "reverting the drop-in"
[ ! -e /etc/systemd/system/rangefinder.service.d/override.conf ] &&
    [ "$(systemctl show -P StandardOutput rangefinder)" = journal ] || fail "systemctl revert left the drop-in"
since=$(date '+%Y-%m-%d %H:%M:%S')
wait_for 10 reads_again || fail "no readings in the journal after the drop-in was taken away"
say "service-to-a-file: the drop-in sends the readings to $log, root's alone, read with sudo; reverted"
