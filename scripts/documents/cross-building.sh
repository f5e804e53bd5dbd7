# Sourced by documents/first-boot.sh, in the order the documents run: docs/developing.md, cross-building
# for the Pi and copying to it.

# The Pi that docs/developing.md copies from and to: its files are /srv/raspberrypi.local, and
# what is copied to it lands in /var/tmp/raspberrypi.local.
pi=/var/tmp/raspberrypi.local
mkdir -p "$pi/home/pi" /var/tmp/scp
chown "$owner:" "$pi/home/pi"
cat >/var/tmp/scp/scp <<'SCP'
#!/bin/bash
set -e
to=${*: -1}
for from in "${@:1:$#-1}"; do
    case $from in pi@raspberrypi.local:*) from=/srv/raspberrypi.local/${from#*:} ;; esac
    case $to in pi@raspberrypi.local:*) to=/var/tmp/raspberrypi.local/home/pi/${to#*:} ;; esac
    cp -L "$from" "$to"
done
SCP
chmod 755 /var/tmp/scp/scp
# arm: whether FILE is an ARM program or library (its ELF machine is 40).
arm() { [ "$(od -An -tu2 -j18 -N2 "$1" | tr -d ' ')" = 40 ]; }
cross() { typed 900 "$project" "export PATH=/var/tmp/scp:\$PATH; $1"; }
cross "$(block copy-wiringpi)" && arm "/home/$owner/$project/pi-wiringpi/lib/libwiringPi.so" &&
    [ -f "/home/$owner/$project/pi-wiringpi/include/wiringPi.h" ] || fail "copying wiringPi from the Pi"
cross "$(block cross-package)" || fail "making the armhf package"
received=$(ls "$pi"/home/pi/rangefinder_*_armhf.deb)
[ "$(dpkg-deb -f "$received" Architecture)" = armhf ] || fail "the package copied to the Pi is not armhf"
rm "$received"
cross "$(block cross-program)" && arm "$pi/home/pi/rangefinder" || fail "the program copied to the Pi is not an ARM program"
say "cross-package, cross-program: the armhf package and the ARM program, built against the Pi's" \
    "wiringPi, reach the Pi"
