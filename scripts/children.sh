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

# at_once COMMAND ITEM...: runs COMMAND ITEM N for each ITEM, the Nth from 1, all at once in the
# background; each stops at its first failing command, which it names, and then runs
# `after_failure ITEM` where the script has one. Fails, naming those that failed, when any did.
# Call it on its own, not in a test such as `at_once ... || ...`: there bash would let a
# failing command pass within it.
at_once() {
    local command=$1 index failed=()
    shift
    local items=("$@")
    for index in "${!items[@]}"; do
        (
            set -E
            trap 'echo "${items[$index]}: stopped, at: $BASH_COMMAND" >&2
                  ! declare -F after_failure >/dev/null || after_failure "${items[$index]}"' ERR
            "$command" "${items[$index]}" "$((index + 1))"
        ) &
        children+=($!)
    done
    for index in "${!children[@]}"; do
        wait "${children[$index]}" || failed+=("${items[$index]}")
    done
    children=()
    [ ${#failed[@]} -eq 0 ] || { echo "$(basename "$0" .sh): FAILED on ${failed[*]}" >&2; return 1; }
}
