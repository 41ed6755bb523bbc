# Mount safety for the tools that chroot (sourced by tools/ha-test and
# tools/wheels). A chroot needs the host's /dev bound into it: while that
# bind stands, rm -rf of the tree (or git clean -xdf) deletes the host's
# device nodes. Two rules keep that from happening: every mount is made in a
# mount namespace of the run's own, so that it ends with the run however the
# run ends (an EXIT trap does not run after SIGKILL), and no tree is removed
# while anything is mounted inside it.

# private_mount_namespace SCRIPT [ARGUMENT]...: as root, starts SCRIPT again
# (exec: same process, same process group) in a mount namespace of its own
# whose mounts propagate nowhere, unless this process already is that start.
# The marker holds the PID, which exec keeps and a child does not share, so a
# tool started by one already inside gets a namespace of its own as well.
private_mount_namespace() {
  [ "${TARIFFSIEVE_PRIVATE_MOUNTS:-}" = "$$" ] && return 0
  exec env TARIFFSIEVE_PRIVATE_MOUNTS=$$ unshare --mount --propagation private -- "$@"
}

# mounts_below DIR: the mount points at or below DIR that this process sees.
mounts_below() {
  local dir
  dir=$(realpath -m -- "$1")
  findmnt -rn -o TARGET | awk -v dir="$dir" '$0 == dir || index($0, dir "/") == 1'
}

# remove_tree DIR...: rm -rf DIR..., refused (status 1, nothing removed) when
# anything is mounted inside one of them.
remove_tree() {
  local dir found
  for dir in "$@"; do
    found=$(mounts_below "$dir")
    if [ -n "$found" ]; then
      echo "$(basename "$0"): refusing to remove $dir: mounted inside it:" $found "(umount -l those first)" >&2
      return 1
    fi
  done
  rm -rf -- "$@"
}
