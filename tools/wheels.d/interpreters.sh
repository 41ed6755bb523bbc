# The interpreters that build the wheels (sourced by tools/wheels).

# build_interpreter X.Y: pyenv's newest CPython X.Y, or the free-threaded 3.13
# built here for X.Y = 3.13t.
build_interpreter() {
  local found
  if [ "$1" = 3.13t ]; then
    free_threaded_cpython
    return
  fi
  found=$(ls -d /root/.pyenv/versions/"$1".* 2>/dev/null | sort -V | tail -n 1)
  [ -n "$found" ] && [ -x "$found/bin/python3" ] || { echo "no CPython $1 installed" >&2; return 1; }
  echo "$found/bin/python3"
}

# The free-threaded CPython 3.13, built once from Debian 13's pristine source;
# prints its interpreter.
free_threaded_cpython() {
  local dir=$work/cpython-3.13t source
  if [ ! -x "$dir/python/bin/python3.13t" ]; then
    "$root/tools/apt-ensure" build-essential zlib1g-dev libssl-dev libffi-dev >&2
    source=$(cpython_source "$work/cpython-3.13-source")
    rm -rf "$dir/build" && mkdir -p "$dir/build"
    echo "building free-threaded CPython 3.13 (about 5 minutes)" >&2
    (cd "$dir/build" && "$source/configure" -q --disable-gil --prefix="$dir/python" --with-ensurepip=install --disable-test-modules \
      && make -s -j2 && make -s install) > "$dir/build.log" 2>&1 || { tail -n 30 "$dir/build.log" >&2; return 1; }
  fi
  echo "$dir/python/bin/python3.13t"
}

# The musl CPython 3.13 for x86_64, built once with musl-gcc from the same
# source, against a zlib of its own; it runs with Debian 13's musl (1.2.5) as its
# loader, since NumPy's musllinux wheels need musl 1.2.4. Prints its interpreter.
musl_cpython_x86_64() {
  local dir=$work/cpython-3.13-musl-x86_64 source zlib
  if [ ! -x "$dir/python/bin/python3.13" ]; then
    "$root/tools/apt-ensure" musl-tools >&2
    source=$(cpython_source "$work/cpython-3.13-source")
    unpack_packages "$dir/apt" amd64 trixie "$dir/musl" musl >&2
    rm -rf "$dir/build" "$dir/zlib" && mkdir -p "$dir/build" "$dir/zlib" "$dir/bin"
    # configure asks the compiler for its target; musl-gcc answers for glibc.
    printf '#!/bin/sh\n[ "$1" = --print-multiarch ] && { echo x86_64-linux-musl; exit 0; }\nexec musl-gcc "$@"\n' > "$dir/bin/cc"
    chmod +x "$dir/bin/cc"
    echo "building CPython 3.13 for musl (about 5 minutes)" >&2
    zlib=$(zlib_source "$dir/zlib-source")
    (cd "$zlib" && CC="$dir/bin/cc" CFLAGS="-O2 -fPIC" ./configure --static --prefix="$dir/zlib" && make -s -j2 && make -s install) \
      > "$dir/build.log" 2>&1 || { tail -n 30 "$dir/build.log" >&2; return 1; }
    (cd "$dir/build" && PKG_CONFIG_LIBDIR="$dir/zlib/lib/pkgconfig" CC="$dir/bin/cc" CPPFLAGS="-I$dir/zlib/include" LDFLAGS="-L$dir/zlib/lib" \
      "$source/configure" -q --prefix="$dir/python" --with-ensurepip=install --disable-test-modules && make -s -j2 && make -s install) \
      >> "$dir/build.log" 2>&1 || { tail -n 30 "$dir/build.log" >&2; return 1; }
    patchelf --set-interpreter "$dir/musl/usr/lib/x86_64-linux-musl/libc.so" "$dir/python/bin/python3.13"
  fi
  echo "$dir/python/bin/python3.13"
}

# zlib_source DIR: Debian's zlib source, unpacked; prints its directory.
zlib_source() {
  local dir=$1 tarball
  if [ ! -d "$dir/src" ]; then
    private_apt "$dir/apt" amd64 bookworm deb-src
    mkdir -p "$dir/download"
    (cd "$dir/download" && apt-get "${APT_OPTS[@]}" source --download-only -qq zlib >/dev/null)
    tarball=$(ls "$dir"/download/zlib_*.orig.tar.* | head -n 1)
    mkdir -p "$dir/src.new"
    tar -xf "$tarball" -C "$dir/src.new" --strip-components=1
    mv "$dir/src.new" "$dir/src"
  fi
  echo "$dir/src"
}

# Debian 12's own arm64 CPython 3.11, unpacked into a root of its own and run
# by qemu; prints that root.
arm64_debian_root() {
  local dir=$work/debian12-arm64
  if [ ! -e "$dir/root/ready" ]; then
    "$root/tools/apt-ensure" qemu-user-static >&2
    rm -rf "$dir/root"
    # NumPy, which the tests use, needs libstdc++; the module itself does not.
    unpack_packages "$dir/apt" arm64 bookworm "$dir/root" python3.11 libpython3.11-stdlib libstdc++6 ca-certificates >&2
    touch "$dir/root/ready"
  fi
  echo "$dir/root"
}

# Debian 11's own amd64 CPython 3.9 (glibc 2.31, an older libstdc++), unpacked
# into a root of its own for chroot; prints that root.
debian11_root() {
  local dir=$work/debian11-amd64
  if [ ! -e "$dir/root/ready" ]; then
    remove_tree "$dir/root"
    unpack_packages "$dir/apt" amd64 bullseye "$dir/root" python3.9 python3.9-venv python3-pip python3-venv libstdc++6 >&2
    touch "$dir/root/ready"
  fi
  echo "$dir/root"
}

# qemu_launcher DIR QEMU SYSROOT PYTHON: DIR becomes a virtual environment whose
# bin/python runs SYSROOT's PYTHON under qemu and reports itself as
# sys.executable, so that tests starting sys.executable run it too.
qemu_launcher() {
  local dir=$1 qemu=$2 sysroot=$3 python=$4 version
  version=$(basename "$python" | sed 's/^python//')
  rm -rf "$dir" && mkdir -p "$dir/bin"
  printf 'home = %s\ninclude-system-site-packages = false\nversion = %s\n' "$(dirname "$sysroot$python")" "$version" > "$dir/pyvenv.cfg"
  printf '#!/bin/sh\nexec %s -L %s -0 "$0" %s "$@"\n' "$qemu" "$sysroot" "$sysroot$python" > "$dir/bin/python"
  chmod +x "$dir/bin/python"
  ln -s python "$dir/bin/python3"
}

# The musl CPython 3.13 for aarch64, cross-built once with zig (the x86_64 musl
# build of the same release serves as the build interpreter) and run by qemu
# with Debian 13's musl; prints its interpreter.
musl_cpython_aarch64() {
  local dir=$work/cpython-3.13-musl-aarch64 source build_python zlib tool zigcc
  if [ ! -x "$dir/python/bin/python3.13" ]; then
    build_python=$(musl_cpython_x86_64)
    source=$(cpython_source "$work/cpython-3.13-source")
    unpack_packages "$dir/apt" arm64 trixie "$dir/musl" musl >&2
    rm -rf "$dir/build" "$dir/zlib" "$dir/python" && mkdir -p "$dir/build" "$dir/zlib" "$dir/bin"
    zigcc="\"$TARIFFSIEVE_ZIG\" cc -target aarch64-linux-musl -mcpu=baseline"
    # configure asks the compiler for its target; zig's clang knows none.
    printf '#!/bin/sh\n[ "$1" = --print-multiarch ] && { echo aarch64-linux-musl; exit 0; }\nexec %s -dynamic -Wno-date-time "$@"\n' "$zigcc" > "$dir/bin/cc"
    # clang's own stdarg.h hides the mark configure recognises musl by.
    printf '#!/bin/sh\nexec %s -E -D__DEFINED_va_list "$@"\n' "$zigcc" > "$dir/bin/cpp"
    for tool in ar ranlib; do printf '#!/bin/sh\nexec "%s" %s "$@"\n' "$TARIFFSIEVE_ZIG" "$tool" > "$dir/bin/$tool"; done
    chmod +x "$dir"/bin/*
    echo "cross-building CPython 3.13 for aarch64 musl (about 10 minutes)" >&2
    zlib=$(zlib_source "$dir/zlib-source")
    rm -rf "$dir/zlib-build" && cp -r "$zlib" "$dir/zlib-build"
    (cd "$dir/zlib-build" && CC="$dir/bin/cc" AR="$dir/bin/ar" RANLIB="$dir/bin/ranlib" CFLAGS="-O2 -fPIC" \
      ./configure --static --prefix="$dir/zlib" && make -s -j2 libz.a && make -s install) \
      > "$dir/build.log" 2>&1 || { tail -n 30 "$dir/build.log" >&2; return 1; }
    (cd "$dir/build" && PKG_CONFIG_LIBDIR="$dir/zlib/lib/pkgconfig" CC="$dir/bin/cc" CPP="$dir/bin/cpp" AR="$dir/bin/ar" \
      RANLIB="$dir/bin/ranlib" CPPFLAGS="-I$dir/zlib/include" LDFLAGS="-L$dir/zlib/lib" \
      ac_cv_file__dev_ptmx=yes ac_cv_file__dev_ptc=no ac_cv_buggy_getaddrinfo=no \
      "$source/configure" -q --host=aarch64-linux-musl --build=x86_64-linux-gnu --with-build-python="$build_python" \
        --prefix="$dir/python" --with-ensurepip=no --disable-test-modules && make -s -j2 && make -s install) \
      >> "$dir/build.log" 2>&1 || { tail -n 30 "$dir/build.log" >&2; return 1; }
    patchelf --set-interpreter "$dir/musl/usr/lib/aarch64-linux-musl/libc.so" "$dir/python/bin/python3.13"
  fi
  echo "$dir/python/bin/python3.13"
}
