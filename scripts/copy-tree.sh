# Sourced by the scripts that check a changed copy of the project: copy_tree DEST copies the
# files git tracks, and new ones it does not ignore, into DEST.
copy_tree() {
    rm -rf "$1"
    mkdir -p "$1"
    git ls-files -z --cached --others --exclude-standard | xargs -0 cp --parents -t "$1"
}
