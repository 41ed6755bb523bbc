# Debian sid's own CPython 3.14 and 3.15 (binary packages only: their sources
# cannot be had), in a chroot on x86_64 and unpacked for qemu on arm64 (sourced by tools/wheels).

sid_versions="3.14 3.15"

# sid_mounts ROOT: what is mounted at or below ROOT, deepest first.
sid_mounts() {
  findmnt -rn -o TARGET | awk -v root="$1" 'index($0, root "/") == 1 || $0 == root' | sort -r
}

# sid_unmount ROOT: unmounts everything below ROOT; a root is only ever removed after this.
sid_unmount() {
  local target
  # A target listed twice has two mounts stacked on it: each pass takes one.
  for target in $(sid_mounts "$1"); do umount -l "$target" 2>/dev/null || true; done
  [ -z "$(sid_mounts "$1")" ] || { echo "still mounted below $1" >&2; return 1; }
}

# sid_root: the x86_64 sid root with python3.14 and python3.15 (headers and venv
# included), made once by debootstrap; prints its directory.
sid_root() {
  local dir=$work/sid-amd64 sroot
  sroot=$dir/root
  if [ ! -e "$sroot/ready" ]; then
    "$root/tools/apt-ensure" debootstrap >&2
    sid_unmount "$sroot"
    remove_tree "$sroot"
    echo "making a Debian sid root with CPython $sid_versions (about 2 minutes)" >&2
    debootstrap --variant=minbase sid "$sroot" "$(debian_archive)" > "$dir.log" 2>&1 || { tail -n 20 "$dir.log" >&2; return 1; }
    # sid's index is past its Valid-Until date on the mirror.
    echo 'Acquire::Check-Valid-Until "false";' > "$sroot/etc/apt/apt.conf.d/90tariffsieve"
    # pip inside reaches the index as the host does: its resolver and its local certificates.
    cp /etc/resolv.conf "$sroot/etc/resolv.conf"
    mkdir -p "$sroot/usr/local/share/ca-certificates"
    cp -r /usr/local/share/ca-certificates/. "$sroot/usr/local/share/ca-certificates/" 2>/dev/null || true
    local packages=(ca-certificates tzdata) version
    for version in $sid_versions; do packages+=("python$version" "python$version-venv" "python$version-dev"); done
    sid_run "$sroot" apt-get update -qq >> "$dir.log" 2>&1 &&
      sid_run "$sroot" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${packages[@]}" \
        >> "$dir.log" 2>&1 || { tail -n 20 "$dir.log" >&2; return 1; }
    touch "$sroot/ready"
  fi
  echo "$sroot"
}

# sid_run ROOT COMMAND...: COMMAND in the chroot ROOT, in the caller's folder,
# with /proc, /dev and this checkout (at its own path) mounted for that command
# alone, and a clean environment.
sid_run() {
  local sroot=$1 status=0
  shift
  sid_unmount "$sroot"
  mkdir -p "$sroot/proc" "$sroot/dev" "$sroot$root"
  mount -t proc proc "$sroot/proc"
  mount --rbind /dev "$sroot/dev"
  mount --make-rslave "$sroot/dev"
  mount --bind "$root" "$sroot$root"
  chroot "$sroot" /usr/bin/env -i PATH=/usr/local/bin:/usr/bin:/bin HOME=/root LANG=C.UTF-8 \
    PIP_CERT=/etc/ssl/certs/ca-certificates.crt PIP_DISABLE_PIP_VERSION_CHECK=1 \
    ZIG_GLOBAL_CACHE_DIR="$ZIG_GLOBAL_CACHE_DIR" TARIFFSIEVE_ZIG="${TARIFFSIEVE_ZIG:-}" \
    /bin/sh -c 'cd "$0" && exec "$@"' "$PWD" "$@" || status=$?
  sid_unmount "$sroot"
  return $status
}

# sid_arm64_root: sid's arm64 python3.14 unpacked into a root of its own for
# qemu (no chroot: the host cannot run its shell); prints that root.
sid_arm64_root() {
  local dir=$work/sid-arm64
  if [ ! -e "$dir/root/ready" ]; then
    "$root/tools/apt-ensure" qemu-user-static >&2
    rm -rf "$dir/root"
    unpack_packages "$dir/apt" arm64 sid "$dir/root" python3.14 libpython3.14-stdlib libstdc++6 ca-certificates >&2
    # sid ships its files under /usr alone; the loader is asked for by its /lib path.
    local link
    for link in bin lib sbin; do [ -e "$dir/root/$link" ] || ln -s "usr/$link" "$dir/root/$link"; done
    # Debian compiles the standard library when it installs, dpkg -x does not,
    # and under qemu the interpreter cannot write its caches there: without
    # this each process started under qemu compiles what it imports anew.
    sid_run "$(sid_root)" /usr/bin/python3.14 -m compileall -q -j 2 -s "$dir/root" -p / "$dir/root/usr/lib/python3.14" >/dev/null || true
    touch "$dir/root/ready"
  fi
  echo "$dir/root"
}

# sid_pyconfig: a folder of nothing but sid's pyconfig.h for each CPython and
# target architecture, where sid's python3.X/pyconfig.h looks for them
# (<x86_64-linux-gnu/python3.X/pyconfig.h>); zig searches no system folder.
# Prints the folder, as seen from the chroot too.
sid_pyconfig() {
  local dir=$work/sid-pyconfig sroot version deb
  if [ ! -e "$dir/ready" ]; then
    sroot=$(sid_root)
    rm -rf "$dir" && mkdir -p "$dir/include" "$dir/arm64"
    private_apt "$dir/apt" arm64 sid deb
    for version in $sid_versions; do
      mkdir -p "$dir/include/x86_64-linux-gnu/python$version" "$dir/include/aarch64-linux-gnu/python$version"
      cp "$sroot/usr/include/x86_64-linux-gnu/python$version/pyconfig.h" "$dir/include/x86_64-linux-gnu/python$version/"
      (cd "$dir/arm64" && apt-get "${APT_OPTS[@]}" download -qq "libpython$version-dev" >/dev/null)
    done
    for deb in "$dir"/arm64/*.deb; do dpkg-deb -x "$deb" "$dir/arm64/root"; done
    for version in $sid_versions; do
      cp "$dir/arm64/root/usr/include/aarch64-linux-gnu/python$version/pyconfig.h" "$dir/include/aarch64-linux-gnu/python$version/"
    done
    touch "$dir/ready"
  fi
  echo "$dir/include"
}
