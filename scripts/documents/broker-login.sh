# Sourced by test-documents.sh, which runs the broker of Home Assistant's machine, and by the
# scripts of documents/, in the Pi: the logins that broker knows.

# The name the Pi knows that machine by, and the login the owner gives this Pi, are the
# document's own; the password is the owner's, typed in place of the document's example, and
# stands nowhere else, so that any file or process holding it is found out.
broker_name() { block mqtt-conf | sed -n 's/^broker=//p'; }
broker_user() { block mqtt-conf | sed -n 's/^username=//p'; }
# owner_password RELEASE: the password of the Pi made of a fresh RELEASE root.
owner_password() { printf 'the %s Pi # its own  password\n' "$1"; }
# A login of the test's own, to look at what is published.
watcher=watcher watcher_password=looking
