# Sourced by booted-root.sh and documents/release.sh: what systemd cannot do in a system booted
# under qemu's user-mode emulation, which no Pi lacks, and drop-ins that leave it out, as tried
# here with qemu 10.0:
# - systemd 252 and 257 cannot hand a unit credentials (LoadCredential=, ImportCredential=):
#   "Failed to set up credentials: Invalid argument", status 243/CREDENTIALS;
# - systemd 257 cannot give a unit a mount namespace (ProtectSystem=, PrivateTmp=,
#   DynamicUser= and the rest): "Failed to set up mount namespacing: Invalid argument", status
#   226/NAMESPACE. systemd 252 can.

# without_credentials: the lines of a [Service] drop-in that take a unit's credentials away.
without_credentials() { printf '%s\n' LoadCredential= ImportCredential=; }

# without_mount_namespace: the lines of a [Service] drop-in that take away every setting of a
# unit's that needs a mount namespace of its own.
without_mount_namespace() {
    printf '%s\n' DynamicUser=no PrivateTmp=no PrivateDevices=no PrivateMounts=no ProtectSystem=no \
        ProtectHome=no ProtectProc=default ProcSubset=all ProtectKernelTunables=no ProtectKernelModules=no \
        ProtectKernelLogs=no ProtectControlGroups=no ReadWritePaths= ReadOnlyPaths= InaccessiblePaths= \
        BindPaths= BindReadOnlyPaths= TemporaryFileSystem=
}

# Every setting without_mount_namespace takes away, as an extended regular expression.
mount_namespace_settings="^($(without_mount_namespace | sed 's/=.*//' | paste -sd '|'))="
