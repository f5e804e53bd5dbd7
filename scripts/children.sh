# Sourced by the scripts that start processes in the background, after they set `work` to a
# folder of their own: each such process's pid goes into `children`, and however the script
# ends, they end and the folder goes. A shell without job control leaves them deaf to Ctrl-C,
# hence the traps.
children=()
stop_children() {
    [ ${#children[@]} -eq 0 ] || kill "${children[@]}" 2>/dev/null || true
    wait "${children[@]}" 2>/dev/null || true
    children=()
}
trap 'stop_children; rm -rf "$work"' EXIT
trap 'exit 130' INT TERM
