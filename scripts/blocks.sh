# Sourced by the scripts that run what the documents show: recipe NAME [FILE] prints the code
# block that follows the line "<!-- recipe: NAME -->" in FILE (README.md), and fails when there
# is none.
recipe() {
    awk -v mark="<!-- recipe: $1 -->" '
        $0 == mark { found = 1; next }
        found && /^```/ { if (inside) { done = 1; exit } inside = 1; next }
        inside { print }
        END { exit !done }' "${2:-README.md}" || {
        echo "recipe: no block marked '$1' in ${2:-README.md}" >&2
        return 1
    }
}
