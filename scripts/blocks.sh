# Sourced by the scripts that run what the documents show. Every fenced block of README.md and
# docs/*.md follows a marker line, "<!-- run: NAME -->" for a block the checks run, or
# "<!-- not run: WHY -->" for one they cannot, so that no command can be shown and go unrun.

documents() { printf '%s\n' README.md docs/*.md; }

# block NAME: prints the block marked "run: NAME", from whichever document has it, and fails
# when none has. With BLOCKS_TAKEN set, notes NAME in that file as run.
block() {
    local file
    for file in $(documents); do
        if awk -v mark="<!-- run: $1 -->" '
            $0 == mark { found = 1; next }
            found && /^```/ { if (inside) { done = 1; exit } inside = 1; next }
            inside { print }
            END { exit !done }' "$file"; then
            [ -z "${BLOCKS_TAKEN:-}" ] || echo "$1" >>"$BLOCKS_TAKEN"
            return 0
        fi
    done
    echo "blocks: no block marked 'run: $1' in $(documents | xargs)" >&2
    return 1
}

# marked_blocks: the names of the blocks marked to run, one a line; fails, naming the place,
# for a block with no marker and for a name marked twice.
marked_blocks() {
    documents | xargs awk '
        FNR == 1 { inside = 0; before = "" }
        /^```/ {
            if (!inside) {
                if (before ~ /^<!-- run: [a-z0-9-]+ -->$/) {
                    name = before
                    sub(/^<!-- run: /, "", name)
                    sub(/ -->$/, "", name)
                    if (name in seen) { print FILENAME ":" FNR ": \"" name "\" is marked twice" > "/dev/stderr"; bad = 1 }
                    seen[name] = 1
                    print name
                } else if (before !~ /^<!-- not run: .+ -->$/) {
                    print FILENAME ":" FNR ": a block with no \"run:\" or \"not run:\" marker" > "/dev/stderr"
                    bad = 1
                }
            }
            inside = !inside
            next
        }
        !inside && NF { before = $0 }
        END { exit bad }'
}

# blocks_of_release: the names of the blocks of the release's own, which test-release.sh runs
# on the emulated Pis and test-documents.sh does not.
blocks_of_release() { marked_blocks | grep -E '^release(-|$)' | sort -u; }
