# Sourced by the scripts of documents/, which run as root in a booted system: the first user at
# the keyboard, typing the documents' blocks, each noted in $BLOCKS_TAKEN as it is taken, and
# what is looked at after.
. scripts/blocks.sh
. scripts/documents/broker-login.sh
. scripts/documents/looking.sh
export BLOCKS_TAKEN=/var/tmp/blocks-taken

# The user who cloned the project, into a folder of the home, as test-documents.sh has it.
owner=$(stat -c %U .)
project=$(basename "$PWD")
logs=/var/tmp/documents
mkdir -p "$logs"
chmod 0777 "$logs"
last=
calls=0

say() { echo "$(hostname): $*"; }

# fail WHAT: stops the run, saying WHAT and showing the output of the last command typed.
fail() {
    {
        echo "$(hostname): FAILED: $*"
        if [ -n "$last" ]; then
            echo "--- the last command typed, and its standard output and error (the end of each):"
            cat "$last.command"
            tail -n 40 "$last.out"
            tail -n 40 "$last.err"
        fi
    } >&2
    exit 1
}

# typed SECONDS DIR COMMANDS: runs COMMANDS as the owner types them into a login shell, in DIR
# of the owner's home, stopping at the first that fails; after SECONDS, Ctrl-C (SIGINT to them
# all), then SIGKILL 10 s later. Standard output and error go to $last.out and $last.err; the
# status is that of COMMANDS, or 124 when they were stopped.
typed() {
    new_log
    as_owner "$@"
}

# new_log: a new $last, for the next command typed; `typed` starts with it, and a command typed
# in the background starts with it before `as_owner`.
new_log() {
    calls=$((calls + 1))
    last=$logs/$calls
}

# The owner answers yes to whatever is asked, as to apt's "Do you want to continue?", unless
# `keyboard` names another command for what is typed (`keyboard=true` for nothing). The time
# limit is kept inside the login, which is a session of its own, so that its Ctrl-C reaches
# every process the commands started.
as_owner() {
    local seconds=$1 dir=$2
    shift 2
    printf '%s\n' "$*" >"$last.command"
    runuser -l "$owner" -c "timeout -s INT -k 10 $seconds bash -c $(printf '%q' "set -e; cd ~/$dir; $*")" \
        < <(${keyboard:-yes}) >"$last.out" 2>"$last.err"
}

# stopped: whether the command just typed ran until it was stopped, as one that follows
# something does: typed ... || stopped || fail ...
stopped() { [ $? -eq 124 ]; }

# line N NAME: line N of the block NAME; lines N,M NAME: those lines.
line() { block "$2" | sed -n "$1p"; }
lines() { block "$3" | sed -n "$1,$2p"; }

# first N COMMANDS: COMMANDS, ended once they have printed N lines (their reader gone), however
# they end, a comment included.
first() { printf '{ %s\n} | head -n %s' "$2" "$1"; }

# edit_the_service DROP-IN: the owner makes the drop-in with README's two commands, in a
# terminal, as `systemctl edit` needs, typing nothing but into the editor. The editor it opens
# stands in for the owner at the keyboard: it adds the lines of the block where systemctl says
# the drop-in's contents go, in the file it is given last (systemd 257 gives the line to start
# at first).
edit_the_service() {
    cat >/usr/local/bin/editor <<'EDITOR'
#!/bin/bash
sed -i '/^### Anything between here and the comment below will become the/r /run/typed' "${!#}"
EDITOR
    chmod 755 /usr/local/bin/editor
    block "$1" >/run/typed
    keyboard=true typed 60 "$project" "script -qec $(printf '%q' "$(line 1 edit-the-service)") /dev/null" &&
        typed 60 "$project" "$(line 2 edit-the-service)" || fail "making the drop-in $1"
    grep -qxF -f /run/typed /etc/systemd/system/rangefinder.service.d/override.conf ||
        fail "the drop-in $1 was not made: $(cat /etc/systemd/system/rangefinder.service.d/override.conf)"
}
