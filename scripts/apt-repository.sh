# Sourced by release.sh: the release's apt repository, whose packages follow it once installed.
# The key is taken into a keyring of gpg's in a folder of its own (gnupg_home), used there and
# taken away with it; never into root's own keyring.

# What the owner's apt knows the repository's key by, and where the package puts the source.
keyring_name=rangefinder-archive-keyring.gpg
public_key_name=rangefinder-archive-key.asc

# take_key KIND FILE HOME: imports FILE, an ASCII-armoured OpenPGP key (KIND signing, a secret
# key, or public), into the gpg home HOME and sets key_fingerprint; fails, saying what is wrong
# with it: missing, unreadable, no key, more than one, or a signing key not secret and a public
# key that is.
take_key() {
    local kind=$1 file=$2 home=$3 listing secrets publics
    [ -e "$file" ] || { echo "release: the $kind key $file: No such file or directory" >&2; return 1; }
    [ -f "$file" ] && [ -r "$file" ] || { echo "release: the $kind key $file cannot be read" >&2; return 1; }
    listing=$(gpg --homedir "$home" --batch --with-colons --import-options show-only --import <"$file" 2>/dev/null) || true
    secrets=$(grep -c '^sec:' <<<"$listing" || true)
    publics=$(grep -c '^pub:' <<<"$listing" || true)
    case $kind:$secrets:$publics in
    signing:1:0 | public:0:1) ;;
    *:0:0) echo "release: the $kind key $file holds no OpenPGP key" >&2; return 1 ;;
    signing:0:*) echo "release: the signing key $file is not secret: give it as gpg --export-secret-keys --armor writes it" >&2; return 1 ;;
    public:[1-9]*) echo "release: the public key $file holds a secret key: give the public key alone" >&2; return 1 ;;
    *) echo "release: the $kind key $file holds more than one key" >&2; return 1 ;;
    esac
    key_fingerprint=$(awk -F: '$1 == "fpr" { print $10; exit }' <<<"$listing")
    gpg --homedir "$home" --batch --quiet --import <"$file" 2>/dev/null ||
        { echo "release: gpg cannot take the $kind key $file" >&2; return 1; }
}

# export_key HOME ARMOURED KEYRING: the public key alone, as the owner checks it (ARMOURED) and as
# apt reads it (KEYRING), the same bytes whichever of its keys it was taken from.
export_key() {
    gpg --homedir "$1" --batch --armor --export --export-options export-minimal "$key_fingerprint" >"$2"
    gpg --homedir "$1" --batch --export --export-options export-minimal "$key_fingerprint" >"$3"
}

# write_release DIST DATE: the index of the packages in DIST, apt's flat repository of one folder:
# Packages, Packages.gz and Release, dated DATE (the changelog's newest entry), with the sums of
# the other two. Packages is written by the root's apt-ftparchive (in_root).
write_release() {
    local dist=$1 index
    in_root sh -c 'cd /build/dist && apt-ftparchive packages .' >"$dist/Packages"
    gzip -9n <"$dist/Packages" >"$dist/Packages.gz"
    {
        echo "Origin: rangefinder"
        echo "Label: rangefinder"
        echo "Date: $(LC_ALL=C date -u -R -d "$2")"
        echo "Architectures: ${architectures[*]}"
        echo "Description: rangefinder's releases for Raspberry Pi OS"
        echo "SHA256:"
        for index in Packages Packages.gz; do
            echo " $(sha256sum <"$dist/$index" | cut -d' ' -f1) $(stat -c %s "$dist/$index") $index"
        done
    } >"$dist/Release"
}

# sign_release DIST HOME: InRelease and Release.gpg, signed with the secret key in HOME.
sign_release() {
    local signing=(gpg --homedir "$2" --batch --yes --pinentry-mode error --local-user "$key_fingerprint" --digest-algo SHA512)
    "${signing[@]}" --clearsign --output "$1/InRelease" "$1/Release" &&
        "${signing[@]}" --armor --detach-sign --output "$1/Release.gpg" "$1/Release" ||
        { echo "release: gpg cannot sign with the key $key_fingerprint (one with a passphrase cannot be used)" >&2; return 1; }
}
