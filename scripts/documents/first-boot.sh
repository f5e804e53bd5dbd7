#!/usr/bin/env bash
# documents/first-boot.sh: run by test-documents.sh, as root, in a freshly made Debian system booted
# under systemd, from the project as its first user cloned it. That user types every block of
# the README and docs/*.md as written, in the documents' order, but that section 8 builds the
# simulator before section 7's recipes read it; after each block, what the user would look at
# is checked: exit statuses, readings alone on standard output, the service's state, and the
# user, groups, scheduling and network of every process it runs. Each block run is noted in
# /var/tmp/blocks-taken. The parts it runs, in order, are the files beside it.
set -euo pipefail
cd "$(dirname "$0")/../.."
. scripts/documents/owner.sh
: >"$BLOCKS_TAKEN"

. scripts/documents/installing.sh
. scripts/documents/service.sh
. scripts/documents/simulator.sh
. scripts/documents/cross-building.sh
. scripts/documents/mqtt.sh
